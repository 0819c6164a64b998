#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// GIF image data without compression: every pixel is its own LZW code, and a clear
// code comes often enough that a decoder never widens its codes.
struct EncoderState {
    int clear_code;           // 1 << pixel depth
    int clear_threshold;      // clear_code - 2
    int codes_since_clear;    // 1 after a reset, so the first clear comes one code early
    uint32_t bit_accumulator; // pending bits, oldest in the low positions
    int bit_count;            // valid bits in bit_accumulator, 0 to 7 between calls
    unsigned char block[256]; // the data sub-block being filled, at most 255 bytes used
    int block_length;         // bytes held in block, 0 to 254 between calls
};

extern EncoderState encoder_state;

constexpr int MAX_SUB_BLOCK = 255;
// Pixels in one repetition of the whole layout at 8 and at 4 bits: runs of whole ones
// pack fastest.
constexpr size_t BYTE_PERIOD_PIXELS = 2032;
constexpr size_t NIBBLE_PERIOD_PIXELS = 1904;

// Whether runs may use the processor's bit-deposit instruction (BMI2) where it has one; on
// by default. Returns whether they now do. Both ways give the same bytes.
bool use_simd(bool wanted);
// Whether BMI2's bit deposit (pdep) is fast on a processor: on Intel's every processor with
// BMI2 (Haswell on), on AMD's from Zen 3 (family 0x19) on. Earlier AMD processors run it
// in microcode, at hundreds of cycles, many times slower than the portable path.
bool deposit_is_fast(const Processor &processor);

void reset_encoder();
// Everything an image needs before its first code: a reset, its clear code and threshold.
void start_image_data(int pixel_depth);
void flush_block(FILE *out);
// Sub-blocks of 255 bytes (the last one shorter) for `length` bytes of image data; one write.
void write_sub_blocks(FILE *out, const unsigned char *data, size_t length);
void finish_image_data(FILE *out, int end_code, int code_width);

// Runs of pixels: the same bytes as put_code for each pixel in turn, eight or more codes
// at a time. 8-bit pixels take a byte each; 4-bit pixels share a byte, high nibble first.
void put_byte_pixels(FILE *out, const unsigned char *pixels, size_t count);
void put_nibble_pixels(FILE *out, const unsigned char *bytes, size_t count);

inline void put_byte(FILE *out, unsigned char byte) {
    encoder_state.block[encoder_state.block_length++] = byte;
    if (encoder_state.block_length == MAX_SUB_BLOCK) flush_block(out);
}

inline void put_bits(FILE *out, uint32_t value, int code_width) {
    EncoderState &e = encoder_state;
    e.bit_accumulator |= value << e.bit_count;
    e.bit_count += code_width;
    while (e.bit_count >= 8) {
        put_byte(out, static_cast<unsigned char>(e.bit_accumulator));
        e.bit_accumulator >>= 8;
        e.bit_count -= 8;
    }
}

inline void put_code(FILE *out, uint32_t code, int code_width) {
    EncoderState &e = encoder_state;
    if (e.codes_since_clear >= e.clear_threshold) {
        put_bits(out, static_cast<uint32_t>(e.clear_code), code_width);
        e.codes_since_clear = 0;
    }
    put_bits(out, code, code_width);
    ++e.codes_since_clear;
}
