// Runs of 4-bit pixels: units of eight clear periods, and whole layout periods in one go.
#include "encode/words.h"

#include <algorithm>

namespace {

// At 4 bits the layout repeats every 8 clear-code periods: each is the clear code and 14
// pixels, 75 bits, so 8 of them are 75 bytes. A unit starts where a clear code is due on
// a byte boundary.
constexpr size_t UNIT_PIXELS = 112;
constexpr int UNIT_BYTES = 75;
constexpr size_t UNIT_READ = 114; // the unit's last 8-byte load reaches one byte further
constexpr int UNIT_WRITE = 80;    // nor does the last 8-byte store stop at byte 75
constexpr size_t NIBBLE_PERIOD_UNITS = 17;
constexpr size_t NIBBLE_PERIOD_BYTES = NIBBLE_PERIOD_UNITS * UNIT_BYTES;

// Two pixel bytes, four pixels, as four 5-bit codes: 20 bits, high nibble first.
uint32_t nibble_codes[1 << 16];
bool nibble_codes_ready = false;

void build_nibble_codes() {
    uint32_t pair[256];
    for (uint32_t b = 0; b < 256; ++b)
        pair[b] = b >> 4 | (b & 15) << 5;
    for (uint32_t hi = 0; hi < 256; ++hi)
        for (uint32_t lo = 0; lo < 256; ++lo)
            nibble_codes[hi << 8 | lo] = pair[lo] | pair[hi] << 10;
    nibble_codes_ready = true;
}

// Eight bytes of pixel pairs; when the pixels start on a low nibble, the pairs are
// re-cut so that byte k holds the low nibble of byte k and the high nibble of byte k + 1.
template <bool ODD> uint64_t load_pixel_pairs(const unsigned char *bytes) {
    const uint64_t v = load_le64(bytes);
    if (!ODD) return v;
    return ((v << 4) & 0xF0F0F0F0F0F0F0F0) | ((v >> 12) & 0x0F0F0F0F0F0F0F0F);
}

#ifdef QUONDEL_BMI2
// Nibble k of w into bits 5k to 5k + 3, the first `fields` nibbles only.
template <int FIELDS> __attribute__((target("bmi2"))) uint64_t deposit_to_fives(uint64_t w) {
    return _pdep_u64(w, 0x7BDEF7BDEF >> (5 * (8 - FIELDS)));
}
#endif

// The codes of the 14 pixels from bytes on: eight in the first 40 bits, six in the next 30.
template <bool ODD, bool PDEP>
void unit_period_codes(const unsigned char *bytes, uint64_t &eight, uint64_t &six) {
#ifdef QUONDEL_BMI2
    if constexpr (PDEP) {
        // Nibble k of w is pixel k: the bytes' nibbles put in pixel order.
        const uint64_t v = load_le64(bytes);
        const uint64_t w = ODD ? (v & 0x0F0F0F0F0F0F0F0F) | ((v >> 8) & 0xF0F0F0F0F0F0F0F0)
                               : ((v >> 4) & 0x0F0F0F0F0F0F0F0F) | ((v & 0x0F0F0F0F0F0F0F0F) << 4);
        eight = deposit_to_fives<8>(w);
        six = deposit_to_fives<6>(w >> 32);
        return;
    }
#endif
    const uint64_t v = load_pixel_pairs<ODD>(bytes);
    eight = nibble_codes[v & 0xFFFF] | uint64_t{nibble_codes[(v >> 16) & 0xFFFF]} << 20;
    six = nibble_codes[(v >> 32) & 0xFFFF] | uint64_t{nibble_codes[(v >> 48) & 0xFF]} << 20;
}

// Period S of a unit: the clear code and 14 pixels, 75 bits from bit 75 * S on. The
// offsets are constants, and `carry` holds the bits of the byte that period S starts in.
template <bool ODD, bool PDEP, int S>
void pack_unit_from(const unsigned char *bytes, unsigned char *at, uint64_t carry) {
    if constexpr (S < 8) {
        constexpr int OFFSET = 75 * S % 8, BYTE = 75 * S / 8;
        constexpr int WHOLE1 = (OFFSET + 45) / 8, LEFT1 = (OFFSET + 45) % 8;
        constexpr int WHOLE2 = (LEFT1 + 30) / 8;
        uint64_t eight, six;
        unit_period_codes<ODD, PDEP>(bytes + 7 * S, eight, six);
        const uint64_t word1 = carry | (16 | eight << 5) << OFFSET;
        store_le64(at + BYTE, word1);
        const uint64_t word2 = word1 >> (8 * WHOLE1) | six << LEFT1;
        store_le64(at + BYTE + WHOLE1, word2);
        pack_unit_from<ODD, PDEP, S + 1>(bytes, at, word2 >> (8 * WHOLE2));
    }
}

// 112 pixels from pixel `first` on into UNIT_BYTES bytes (UNIT_WRITE are written).
template <bool PDEP> void pack_unit(const unsigned char *bytes, size_t first, unsigned char *at) {
    if (first & 1)
        pack_unit_from<true, PDEP, 0>(bytes + first / 2, at, 0);
    else
        pack_unit_from<false, PDEP, 0>(bytes + first / 2, at, 0);
}

// At 4 bits the layout repeats every 17 units, 1,275 bytes: five whole sub-blocks. From a
// unit start, the bytes the block holds, the period's units and the bytes of the next
// block's start go out as five sub-blocks in one write, and the last of them are held again.
template <bool PDEP> void put_nibble_period(FILE *out, const unsigned char *bytes, size_t first) {
    EncoderState &e = encoder_state;
    unsigned char joined[MAX_SUB_BLOCK + NIBBLE_PERIOD_BYTES + UNIT_WRITE];
    const size_t held = static_cast<size_t>(e.block_length);
    memcpy(joined, e.block, held);
    for (size_t unit = 0; unit < NIBBLE_PERIOD_UNITS; ++unit)
        pack_unit<PDEP>(bytes, first + UNIT_PIXELS * unit, joined + held + UNIT_BYTES * unit);
    write_sub_blocks(out, joined, NIBBLE_PERIOD_BYTES);
    memcpy(e.block, joined + NIBBLE_PERIOD_BYTES, held);
}

void put_nibble_period_portable(FILE *out, const unsigned char *bytes, size_t first) {
    put_nibble_period<false>(out, bytes, first);
}

#ifdef QUONDEL_BMI2
// Built for BMI2 as a whole, so that the deposits are inlined into the loop.
__attribute__((target("bmi2"), flatten)) void
put_nibble_period_bmi2(FILE *out, const unsigned char *bytes, size_t first) {
    put_nibble_period<true>(out, bytes, first);
}
#endif

void (*put_period)(FILE *, const unsigned char *, size_t) = put_nibble_period_portable;

unsigned nibble_at(const unsigned char *bytes, size_t i) {
    return (bytes[i / 2] >> ((~i & 1) * 4)) & 15;
}

} // namespace

bool choose_nibble_runs(bool simd) {
    put_period = choose_path(simd, put_nibble_period_portable, BMI2_PATH(put_nibble_period_bmi2));
    return put_period != put_nibble_period_portable;
}

void put_nibble_pixels(FILE *out, const unsigned char *bytes, size_t count) {
    if (!nibble_codes_ready) build_nibble_codes();
    EncoderState &e = encoder_state;
    size_t i = 0;
    while (i < count) {
        const bool unit_start = e.codes_since_clear == e.clear_threshold && e.bit_count == 0;
        if (!unit_start || count - i < UNIT_READ) {
            put_code(out, nibble_at(bytes, i++), 5);
            continue;
        }
        for (; count - i >= NIBBLE_PERIOD_UNITS * UNIT_PIXELS + UNIT_READ - UNIT_PIXELS;
             i += NIBBLE_PERIOD_UNITS * UNIT_PIXELS)
            put_period(out, bytes, i);
        if (count - i < UNIT_READ) continue;
        const size_t units_in_input = (count - i - UNIT_READ) / UNIT_PIXELS + 1;
        const int room = MAX_SUB_BLOCK + 1 - UNIT_WRITE - e.block_length;
        if (room < 0) { // the unit crosses the end of the sub-block
            unsigned char unit[UNIT_WRITE];
            pack_unit<false>(bytes, i, unit);
            put_bytes(out, unit, UNIT_BYTES);
            i += UNIT_PIXELS;
            continue;
        }
        const size_t units = std::min(units_in_input, static_cast<size_t>(room / UNIT_BYTES + 1));
        for (size_t u = 0; u < units; ++u, i += UNIT_PIXELS, e.block_length += UNIT_BYTES)
            pack_unit<false>(bytes, i, e.block + e.block_length);
    }
}
