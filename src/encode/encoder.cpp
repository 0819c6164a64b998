#include "encode/encoder.h"

#include "encode/words.h"

#include <algorithm>
#include <cstring>

EncoderState encoder_state{};

namespace {

constexpr size_t MOST_SUB_BLOCKS = 9; // the most one call writes: a whole 8-bit period

// BMI2 where the processor has it, from the start.
const bool simd_chosen = use_simd(true);

} // namespace

bool deposit_is_fast(const Processor &processor) {
    if (!processor.bmi2) return false;
    if (std::strcmp(processor.vendor, "GenuineIntel") == 0) return true;
    return std::strcmp(processor.vendor, "AuthenticAMD") == 0 && processor.family >= 0x19;
}

bool use_simd(bool wanted) {
    const bool bytes = choose_byte_runs(wanted);
    return choose_nibble_runs(wanted) && bytes;
}

void put_bytes(FILE *out, const unsigned char *bytes, size_t count) {
    EncoderState &e = encoder_state;
    while (count > 0) {
        const size_t take = std::min(count, static_cast<size_t>(MAX_SUB_BLOCK - e.block_length));
        memcpy(e.block + e.block_length, bytes, take);
        e.block_length += static_cast<int>(take);
        bytes += take;
        count -= take;
        if (e.block_length == MAX_SUB_BLOCK) flush_block(out);
    }
}

void reset_encoder() {
    encoder_state.bit_accumulator = 0;
    encoder_state.bit_count = 0;
    encoder_state.block_length = 0;
    encoder_state.codes_since_clear = 1;
}

void start_image_data(int pixel_depth) {
    reset_encoder();
    encoder_state.clear_code = 1 << pixel_depth;
    encoder_state.clear_threshold = encoder_state.clear_code - 2;
}

void write_sub_blocks(FILE *out, const unsigned char *data, size_t length) {
    unsigned char staged[MOST_SUB_BLOCKS * (MAX_SUB_BLOCK + 1)];
    size_t at = 0;
    do { // a length byte before every 255 bytes or fewer; a lone 0 for no data
        if (at + MAX_SUB_BLOCK + 1 > sizeof staged) {
            fwrite(staged, 1, at, out);
            at = 0;
        }
        const size_t take = std::min(length, static_cast<size_t>(MAX_SUB_BLOCK));
        staged[at] = static_cast<unsigned char>(take);
        memcpy(staged + at + 1, data, take);
        at += take + 1;
        data += take;
        length -= take;
    } while (length > 0);
    // One stream, one thread: the stream's lock buys nothing here.
#ifdef __GLIBC__
    fwrite_unlocked(staged, 1, at, out);
#else
    fwrite(staged, 1, at, out);
#endif
}

void flush_block(FILE *out) {
    write_sub_blocks(out, encoder_state.block, static_cast<size_t>(encoder_state.block_length));
    encoder_state.block_length = 0;
}

void finish_image_data(FILE *out, int end_code, int code_width) {
    // The end code never gets a clear code in front of it, even when one is due.
    put_bits(out, static_cast<uint32_t>(end_code), code_width);
    put_bits(out, 0, 7); // pushes out a partly filled byte; the bits left over are dropped
    encoder_state.bit_accumulator = 0;
    encoder_state.bit_count = 0;
    if (encoder_state.block_length > 0) flush_block(out);
    putc(0, out);
}
