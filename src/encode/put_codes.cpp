#include "encode/encoder.h"

#include <algorithm>

namespace {

// The encoder's hot state, held in locals for one run of codes. Between groups of codes
// bit_count stays below 32, so a group of up to 32 bits always fits the 64-bit accumulator.
struct Packer {
    uint64_t bits;
    int bit_count;
    int length;
    unsigned char *block;
};

void write_full_block(FILE *out, Packer &p) {
    write_sub_block(out, p.block, MAX_SUB_BLOCK);
    p.length = 0;
}

void drain_bytes(FILE *out, Packer &p) {
    while (p.bit_count >= 8) {
        p.block[p.length++] = static_cast<unsigned char>(p.bits);
        p.bits >>= 8;
        p.bit_count -= 8;
        if (p.length == MAX_SUB_BLOCK) write_full_block(out, p);
    }
}

// Four bytes at once while the sub-block has room for them, byte by byte near its end.
inline void drain_word(FILE *out, Packer &p) {
    if (p.length > MAX_SUB_BLOCK - 4) {
        drain_bytes(out, p);
        return;
    }
    unsigned char *at = p.block + p.length;
    at[0] = static_cast<unsigned char>(p.bits);
    at[1] = static_cast<unsigned char>(p.bits >> 8);
    at[2] = static_cast<unsigned char>(p.bits >> 16);
    at[3] = static_cast<unsigned char>(p.bits >> 24);
    p.bits >>= 32;
    p.bit_count -= 32;
    p.length += 4;
    if (p.length == MAX_SUB_BLOCK) write_full_block(out, p);
}

inline void pack_group(FILE *out, Packer &p, uint64_t group, int group_bits) {
    p.bits |= group << p.bit_count;
    p.bit_count += group_bits;
    if (p.bit_count >= 32) drain_word(out, p);
}

// Codes of WIDTH bits, GROUP of them joined before they meet the accumulator.
template <int WIDTH, int GROUP>
void pack_run(FILE *out, Packer &p, const unsigned char *codes, size_t count) {
    static_assert(WIDTH * GROUP <= 32, "a group must fit beside 31 pending bits");
    size_t i = 0;
    for (; i + GROUP <= count; i += GROUP) {
        uint64_t group = 0;
        for (int k = 0; k < GROUP; ++k)
            group |= uint64_t{codes[i + k]} << (k * WIDTH);
        pack_group(out, p, group, WIDTH * GROUP);
    }
    for (; i < count; ++i)
        pack_group(out, p, codes[i], WIDTH);
}

template <int WIDTH, int GROUP>
void pack_codes(FILE *out, const unsigned char *codes, size_t count) {
    EncoderState &e = encoder_state;
    Packer p{e.bit_accumulator, e.bit_count, e.block_length, e.block};
    const size_t threshold = static_cast<size_t>(std::max(e.clear_threshold, 1));
    size_t since_clear = static_cast<size_t>(e.codes_since_clear);
    while (count > 0) {
        if (since_clear >= threshold) {
            pack_group(out, p, static_cast<uint64_t>(e.clear_code), WIDTH);
            since_clear = 0;
        }
        // Within a run no clear code is due, so the loop needs no check for one.
        const size_t run = std::min(count, threshold - since_clear);
        pack_run<WIDTH, GROUP>(out, p, codes, run);
        since_clear += run;
        codes += run;
        count -= run;
    }
    drain_bytes(out, p);
    e.bit_accumulator = static_cast<uint32_t>(p.bits);
    e.bit_count = p.bit_count;
    e.block_length = p.length;
    e.codes_since_clear = static_cast<int>(since_clear);
}

} // namespace

void put_codes(FILE *out, const unsigned char *codes, size_t count, int code_width) {
    switch (code_width) {
    case 5:
        pack_codes<5, 6>(out, codes, count);
        break;
    case 9:
        pack_codes<9, 3>(out, codes, count);
        break;
    default: // no cel depth leads here; kept correct rather than fast
        for (size_t i = 0; i < count; ++i)
            put_code(out, codes[i], code_width);
        break;
    }
}
