#include "convert/frame_pixels.h"

#include "encode/lzw.h"

#include <algorithm>

namespace {

constexpr size_t EXACT_PARSE_PIXELS = size_t{1} << 16;

} // namespace

int frame_code_size(const unsigned char *pixels, size_t count) {
    unsigned char highest = 0;
    for (size_t i = 0; i < count; ++i)
        highest = std::max(highest, pixels[i]);
    return lzw_code_size(table_bits_for(highest));
}

uint64_t estimate_frame_bits(const unsigned char *pixels, size_t count, LzwTable &table,
                             std::vector<uint16_t> &codes) {
    const int code_size = frame_code_size(pixels, count);
    const size_t needed = std::min<size_t>(LZW_MAX_CODES, (size_t{1} << code_size) + 2 + count);
    if (table.code_size != code_size || table.child.size() < needed << code_size)
        start_table(table, code_size, count);
    // The table cleared as it fills, where the encoder plans its clears: within a few percent
    // of its size at a fraction of its time (a table kept full would be far off). Large
    // frames take greedy codes too; small ones the encoder's lookahead, which the ways to write
    // a clock's hand differ by.
    LzwChoices greedy = LZW_CHOICES;
    greedy.shorter_tries = 0;
    greedy.candidates_per_life = 0;
    const LzwChoices &parse = count <= EXACT_PARSE_PIXELS ? LZW_CHOICES : greedy;
    std::vector<size_t> ends = plan_clears(pixels, count, code_size, greedy, &table);
    ends.push_back(count);
    const uint64_t between = (uint64_t{1} << code_size) - 2;
    uint64_t bits = 0;
    for (size_t k = 0, begin = 0; k < ends.size(); begin = ends[k++]) {
        const size_t length = ends[k] - begin;
        // Plain codes: one a pixel, a clear code before they would widen.
        const uint64_t plain = (length + length / between) * static_cast<uint64_t>(code_size + 1);
        bits += std::min(parse_segment(pixels + begin, length, parse, table, codes), plain);
        bits += k > 0 ? LZW_MAX_WIDTH : 0; // the clear code before
    }
    return bits;
}

void hide_mixed_stretches(const unsigned char *entries, const unsigned char *hidden, size_t count,
                          unsigned char *out) {
    for (size_t at = 0; at < count;) {
        if (hidden[at] == entries[at]) { // changed
            out[at] = entries[at];
            ++at;
            continue;
        }
        size_t end = at + 1;
        bool mixed = false;
        for (; end < count && hidden[end] != entries[end]; ++end)
            mixed |= entries[end] != entries[at];
        for (size_t i = at; i < end; ++i)
            out[i] = mixed ? 0 : entries[i];
        at = end;
    }
}
