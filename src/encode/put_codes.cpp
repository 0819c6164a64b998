#include "encode/encoder.h"

#include <algorithm>

namespace {

// The encoder's hot state, held in locals for one run of codes.
struct Packer {
    uint64_t bits;
    int bit_count;
    int length;
    unsigned char *block;
};

void put_packed_byte(FILE *out, Packer &p, unsigned char byte) {
    p.block[p.length++] = byte;
    if (p.length == MAX_SUB_BLOCK) {
        putc(MAX_SUB_BLOCK, out);
        fwrite(p.block, 1, MAX_SUB_BLOCK, out);
        p.length = 0;
    }
}

// Moves whole bytes out of the accumulator until fewer than `keep` bits remain.
inline void drain_bytes(FILE *out, Packer &p, int keep) {
    while (p.bit_count >= keep) {
        put_packed_byte(out, p, static_cast<unsigned char>(p.bits));
        p.bits >>= 8;
        p.bit_count -= 8;
    }
}

// Four bytes at once while the sub-block has room for them, byte by byte near its end.
inline void drain_word(FILE *out, Packer &p) {
    if (p.length <= MAX_SUB_BLOCK - 4) {
        unsigned char *at = p.block + p.length;
        at[0] = static_cast<unsigned char>(p.bits);
        at[1] = static_cast<unsigned char>(p.bits >> 8);
        at[2] = static_cast<unsigned char>(p.bits >> 16);
        at[3] = static_cast<unsigned char>(p.bits >> 24);
        p.bits >>= 32;
        p.bit_count -= 32;
        p.length += 4;
        if (p.length == MAX_SUB_BLOCK) {
            p.length = 0;
            putc(MAX_SUB_BLOCK, out);
            fwrite(p.block, 1, MAX_SUB_BLOCK, out);
        }
        return;
    }
    drain_bytes(out, p, 8);
}

inline void pack_run(FILE *out, Packer &p, const unsigned char *codes, size_t count,
                     int code_width) {
    for (size_t i = 0; i < count; ++i) {
        p.bits |= static_cast<uint64_t>(codes[i]) << p.bit_count;
        p.bit_count += code_width;
        if (p.bit_count >= 32) drain_word(out, p);
    }
}

} // namespace

void put_codes(FILE *out, const unsigned char *codes, size_t count, int code_width) {
    EncoderState &e = encoder_state;
    Packer p{e.bit_accumulator, e.bit_count, e.block_length, e.block};
    const size_t threshold = static_cast<size_t>(e.clear_threshold);
    size_t since_clear = static_cast<size_t>(e.codes_since_clear);
    while (count > 0) {
        if (since_clear >= threshold) {
            p.bits |= static_cast<uint64_t>(e.clear_code) << p.bit_count;
            p.bit_count += code_width;
            since_clear = 0;
            if (p.bit_count >= 32) drain_word(out, p);
        }
        // Within a run no clear code is due, so the loop needs no check for one.
        const size_t run = std::min(count, std::max<size_t>(threshold - since_clear, 1));
        pack_run(out, p, codes, run, code_width);
        since_clear += run;
        codes += run;
        count -= run;
    }
    drain_bytes(out, p, 8);
    e.bit_accumulator = static_cast<uint32_t>(p.bits);
    e.bit_count = p.bit_count;
    e.block_length = p.length;
    e.codes_since_clear = static_cast<int>(since_clear);
}
