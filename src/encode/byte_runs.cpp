// Runs of 8-bit pixels: eight codes of 9 bits at a time, and whole layout periods in one go.
#include "encode/words.h"

#include <algorithm>

namespace {

// Eight codes of 9 bits end on a byte boundary, so wherever bit_count is 0 the stream stands
// at the start of such a group, and whole groups pack without a carry.
constexpr size_t GROUP_CODES = 8;
constexpr int NINE_BIT_GROUP_BYTES = 9;
constexpr int PERIOD_CODES = 2040;
constexpr size_t PERIOD_BYTES = PERIOD_CODES / GROUP_CODES * NINE_BIT_GROUP_BYTES;

// Moves byte i of v up by i bits, giving each pixel its own 9-bit field; the top bits of
// the last field fall off the word.
uint64_t spread_to_nines(uint64_t v) {
    v += (v & 0xFFFFFFFF00000000) * 15; // fields 4 to 7 up by 4
    v += (v & 0xFFF00000FFFF0000) * 3;  // fields 2, 3, 6 and 7 up by 2
    v += v & 0xC00FF003FC00FF00;        // odd fields up by 1
    return v;
}

#ifdef QUONDEL_BMI2
// The same in one instruction: deposit the bits into the eight bits of every 9-bit field.
__attribute__((target("bmi2"))) uint64_t deposit_to_nines(uint64_t v) {
    return _pdep_u64(v, 0xBFDFEFF7FBFDFEFF);
}
#endif

// Eight pixels into 9 bytes.
template <uint64_t (*SPREAD)(uint64_t)>
void pack_nines(const unsigned char *pixels, unsigned char *at) {
    const uint64_t v = load_le64(pixels);
    store_le64(at, SPREAD(v));
    at[8] = static_cast<unsigned char>(v >> 57);
}

// Seven pixels with the clear code in field `slot` into 9 bytes; reads 8 pixel bytes.
template <uint64_t (*SPREAD)(uint64_t)>
void pack_nines_with_clear(const unsigned char *pixels, int slot, unsigned char *at) {
    const uint64_t v = load_le64(pixels);
    const uint64_t below = (uint64_t{1} << (8 * slot)) - 1;
    const uint64_t fields = (v & below) | ((v << 8) & (~below << 8));
    uint64_t low = SPREAD(fields);
    uint64_t high = fields >> 57;
    const int clear_bit = 9 * slot + 8; // the clear code is 256: its low 8 bits are 0
    if (clear_bit < 64)
        low |= uint64_t{1} << clear_bit;
    else
        high |= uint64_t{1} << (clear_bit - 64);
    store_le64(at, low);
    at[8] = static_cast<unsigned char>(high);
}

// At 8 bits the whole layout repeats every 2,040 codes: eight clear periods of 255 codes fill
// 2,295 bytes, nine full sub-blocks. The stream starts such a period, and a run that stands at
// the start of one packs it in one go and writes it with one call.
bool at_period_start(const EncoderState &e) {
    return e.block_length == 0 && e.bit_count == 0 && e.codes_since_clear == 1;
}

// One period of pixels. The groups between two clear codes pack
// without a check; each clear code sits in a group of its own.
template <uint64_t (*SPREAD)(uint64_t)> void put_period(FILE *out, const unsigned char *pixels) {
    const int clear_every = encoder_state.clear_threshold + 1; // the clear code and 254 pixels
    unsigned char data[PERIOD_BYTES];
    unsigned char *at = data;
    constexpr int GROUP = static_cast<int>(GROUP_CODES);
    int code = 0, next_clear = encoder_state.clear_threshold - 1;
    for (; code < PERIOD_CODES; next_clear += clear_every) {
        const int groups = (next_clear - code) / GROUP;
#pragma GCC unroll 4
        for (int group = 0; group < groups; ++group)
            pack_nines<SPREAD>(pixels + GROUP_CODES * group, at + NINE_BIT_GROUP_BYTES * group);
        pixels += GROUP_CODES * groups;
        at += NINE_BIT_GROUP_BYTES * groups;
        code += GROUP * groups;
        // The last clear code ends the period: its group must not read beyond it.
        unsigned char last[GROUP_CODES] = {};
        const unsigned char *source = pixels;
        if (code + GROUP == PERIOD_CODES)
            source = static_cast<unsigned char *>(memcpy(last, pixels, GROUP - 1));
        pack_nines_with_clear<SPREAD>(source, next_clear - code, at);
        pixels += GROUP - 1;
        at += NINE_BIT_GROUP_BYTES;
        code += GROUP;
    }
    write_sub_blocks(out, data, PERIOD_BYTES);
}

void put_period_portable(FILE *out, const unsigned char *pixels) {
    put_period<spread_to_nines>(out, pixels);
}

#ifdef QUONDEL_BMI2
// Built for BMI2 as a whole, so that the deposit is inlined into the loop.
__attribute__((target("bmi2"), flatten)) void put_period_bmi2(FILE *out,
                                                              const unsigned char *pixels) {
    put_period<deposit_to_nines>(out, pixels);
}
#endif

void (*put_byte_period)(FILE *, const unsigned char *) = put_period_portable;

} // namespace

bool choose_byte_runs(bool simd) {
    put_byte_period = choose_path(simd, put_period_portable, BMI2_PATH(put_period_bmi2));
    return put_byte_period != put_period_portable;
}

void put_byte_pixels(FILE *out, const unsigned char *pixels, size_t count) {
    EncoderState &e = encoder_state;
    for (; count > 0 && e.bit_count != 0; --count)
        put_code(out, *pixels++, 9);
    while (count >= GROUP_CODES) {
        for (; at_period_start(e) && count >= BYTE_PERIOD_PIXELS; count -= BYTE_PERIOD_PIXELS) {
            put_byte_period(out, pixels);
            pixels += BYTE_PERIOD_PIXELS;
        }
        // Whole groups that come before the next clear code and fit the sub-block.
        const int before_clear = std::max(e.clear_threshold - e.codes_since_clear, 0);
        const size_t groups =
            std::min({count / GROUP_CODES, static_cast<size_t>(before_clear) / GROUP_CODES,
                      static_cast<size_t>(MAX_SUB_BLOCK - e.block_length) / NINE_BIT_GROUP_BYTES});
        unsigned char *at = e.block + e.block_length;
        for (size_t g = 0; g < groups; ++g)
            pack_nines<spread_to_nines>(pixels + GROUP_CODES * g, at + NINE_BIT_GROUP_BYTES * g);
        pixels += GROUP_CODES * groups;
        count -= GROUP_CODES * groups;
        e.codes_since_clear += static_cast<int>(GROUP_CODES * groups);
        e.block_length += static_cast<int>(NINE_BIT_GROUP_BYTES * groups);
        if (e.block_length == MAX_SUB_BLOCK) flush_block(out);
        if (count < GROUP_CODES) break;
        // The next group holds a clear code or crosses the end of the sub-block.
        unsigned char group[NINE_BIT_GROUP_BYTES];
        const int slot = e.clear_threshold - e.codes_since_clear;
        if (slot < static_cast<int>(GROUP_CODES)) {
            pack_nines_with_clear<spread_to_nines>(pixels, slot, group);
            pixels += GROUP_CODES - 1;
            count -= GROUP_CODES - 1;
            e.codes_since_clear = static_cast<int>(GROUP_CODES) - 1 - slot;
        } else {
            pack_nines<spread_to_nines>(pixels, group);
            pixels += GROUP_CODES;
            count -= GROUP_CODES;
            e.codes_since_clear += static_cast<int>(GROUP_CODES);
        }
        put_bytes(out, group, NINE_BIT_GROUP_BYTES);
    }
    for (; count > 0; --count)
        put_code(out, *pixels++, 9);
}
