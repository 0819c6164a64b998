// Parsing pixels into LZW codes: the longest match, and a lookahead that takes a shorter one
// when the match after it then reaches further.
#include "encode/lzw.h"
#include "encode/lzw_table.h"

#include <algorithm>
#include <memory>

namespace {

// The longest string in the table that starts the `limit` pixels (at least 1): its length,
// with path[k] the code of its first k + 1 pixels.
int longest_match(const LzwTable &table, const unsigned char *pixels, size_t limit,
                  uint16_t *path) {
    uint32_t code = pixels[0];
    path[0] = static_cast<uint16_t>(code);
    size_t length = 1;
    for (; length < limit; ++length) {
        const int next = find_code(table, code, pixels[length]);
        if (next < 0) break;
        code = static_cast<uint32_t>(next);
        path[length] = static_cast<uint16_t>(code);
    }
    return static_cast<int>(length);
}

int match_length(const LzwTable &table, const unsigned char *pixels, size_t limit) {
    uint32_t code = pixels[0];
    size_t length = 1;
    for (int next; length < limit && (next = find_code(table, code, pixels[length])) >= 0; ++length)
        code = static_cast<uint32_t>(next);
    return static_cast<int>(length);
}

// How many pixels the next code takes at `at`: the longest match, or a shorter one whose
// following match reaches at least `margin` pixels further than the longest's does.
int choose_length(const LzwTable &table, const unsigned char *pixels, size_t left, int longest,
                  int tries, int margin) {
    if (tries <= 0 || longest < 2 || static_cast<size_t>(longest) >= left) return longest;
    const int greedy_reach = longest + match_length(table, pixels + longest, left - longest);
    int best = greedy_reach + std::max(margin, 1) - 1, take = longest;
    for (int length = longest - 1; length >= std::max(1, longest - tries); --length) {
        const int reach = length + match_length(table, pixels + length, left - length);
        if (reach > best) best = reach, take = length;
    }
    return take;
}

} // namespace

uint64_t parse_segment(const unsigned char *pixels, size_t count, int code_size,
                       const LzwChoices &choices, std::vector<uint16_t> &codes) {
    std::unique_ptr<LzwTable> table(new LzwTable);
    clear_table(*table);
    std::unique_ptr<uint16_t[]> path(new uint16_t[LZW_MAX_CODES + 1]);
    CodeCount counted = first_count(code_size);
    uint64_t bits = 0;
    codes.clear();
    for (size_t at = 0; at < count;) {
        const int longest = longest_match(*table, pixels + at, count - at, path.get());
        const int margin = table_full(counted) ? choices.margin_full : choices.margin_growing;
        const int take =
            choose_length(*table, pixels + at, count - at, longest, choices.shorter_tries, margin);
        const uint16_t code = path[take - 1];
        codes.push_back(code);
        bits += static_cast<uint64_t>(counted.width);
        // A shorter match's string plus the next pixel is already in the table.
        if (at + take < count && !table_full(counted) && take == longest)
            add_code(*table, code, pixels[at + take], counted.next);
        count_code(counted);
        at += static_cast<size_t>(take);
    }
    return bits;
}
