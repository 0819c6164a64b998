#include "encode/encoder.h"

#include <algorithm>
#include <cstring>

// x86-64 compilers that can build one function for BMI2 and ask the processor for it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(QUONDEL_NO_SIMD)
#define QUONDEL_BMI2 1
#include <immintrin.h>
#endif

EncoderState encoder_state{};

namespace {

// Eight codes of 9 or of 5 bits end on a byte boundary, so wherever bit_count is 0 the
// stream stands at the start of such a group, and whole groups pack without a carry.
constexpr size_t GROUP_CODES = 8;
constexpr int NINE_BIT_GROUP_BYTES = 9;
constexpr int PERIOD_CODES = 2040;
constexpr size_t PERIOD_BYTES = PERIOD_CODES / GROUP_CODES * NINE_BIT_GROUP_BYTES;
constexpr size_t PERIOD_BLOCKS = PERIOD_BYTES / MAX_SUB_BLOCK;

// At 4 bits the layout repeats every 8 clear-code periods: each is the clear code and 14
// pixels, 75 bits, so 8 of them are 75 bytes. A unit starts where a clear code is due on
// a byte boundary.
constexpr size_t UNIT_PIXELS = 112;
constexpr int UNIT_BYTES = 75;
constexpr size_t UNIT_READ = 114; // the unit's last 8-byte load reaches one byte further
constexpr int UNIT_WRITE = 80;    // nor does the last 8-byte store stop at byte 75
constexpr size_t NIBBLE_PERIOD_UNITS = 17;
constexpr size_t NIBBLE_PERIOD_BYTES = NIBBLE_PERIOD_UNITS * UNIT_BYTES;

// Little-endian words: one load or store where the host is little-endian, bytes elsewhere.
uint64_t load_le64(const unsigned char *p) {
    uint64_t v = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    memcpy(&v, p, 8);
#else
    for (int i = 7; i >= 0; --i)
        v = v << 8 | p[i];
#endif
    return v;
}

void store_le64(unsigned char *p, uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    memcpy(p, &v, 8);
#else
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
#endif
}

// Appends bytes to the sub-blocks; the stream must stand on a byte boundary.
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

// The fast paths in use: portable, or built for BMI2 as a whole, so that the deposits are
// inlined into their loops.
struct FastPaths {
    void (*byte_period)(FILE *, const unsigned char *);
    void (*nibble_period)(FILE *, const unsigned char *, size_t);
};

void put_period_portable(FILE *out, const unsigned char *pixels) {
    put_period<spread_to_nines>(out, pixels);
}

void put_nibble_period_portable(FILE *out, const unsigned char *bytes, size_t first) {
    put_nibble_period<false>(out, bytes, first);
}

#ifdef QUONDEL_BMI2
__attribute__((target("bmi2"), flatten)) void put_period_bmi2(FILE *out,
                                                              const unsigned char *pixels) {
    put_period<deposit_to_nines>(out, pixels);
}

__attribute__((target("bmi2"), flatten)) void
put_nibble_period_bmi2(FILE *out, const unsigned char *bytes, size_t first) {
    put_nibble_period<true>(out, bytes, first);
}
#endif

FastPaths choose_fast_paths(bool use_simd) {
#ifdef QUONDEL_BMI2
    __builtin_cpu_init(); // this may run before main
    if (use_simd && __builtin_cpu_supports("bmi2"))
        return FastPaths{put_period_bmi2, put_nibble_period_bmi2};
#endif
    (void)use_simd;
    return FastPaths{put_period_portable, put_nibble_period_portable};
}

FastPaths fast_paths = choose_fast_paths(true);

unsigned nibble_at(const unsigned char *bytes, size_t i) {
    return (bytes[i / 2] >> ((~i & 1) * 4)) & 15;
}

} // namespace

bool use_simd(bool wanted) {
    fast_paths = choose_fast_paths(wanted);
    return fast_paths.byte_period != put_period_portable;
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
    unsigned char staged[PERIOD_BLOCKS * (MAX_SUB_BLOCK + 1)];
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

void put_byte_pixels(FILE *out, const unsigned char *pixels, size_t count) {
    EncoderState &e = encoder_state;
    for (; count > 0 && e.bit_count != 0; --count)
        put_code(out, *pixels++, 9);
    while (count >= GROUP_CODES) {
        for (; at_period_start(e) && count >= BYTE_PERIOD_PIXELS; count -= BYTE_PERIOD_PIXELS) {
            fast_paths.byte_period(out, pixels);
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
            fast_paths.nibble_period(out, bytes, i);
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
