// Parsing pixels into LZW codes: the longest match, and a lookahead that takes a shorter one
// when the match after it then reaches further.
#include "encode/lzw.h"
#include "encode/lzw_table.h"

#include <algorithm>

namespace {

int match_length(const LzwTable &table, const unsigned char *pixels, size_t limit) {
    uint32_t code = pixels[0];
    return static_cast<int>(extend_match(table, code, pixels, 1, limit));
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

uint64_t parse_segment(const unsigned char *pixels, size_t count, const LzwChoices &choices,
                       LzwTable &table, std::vector<uint16_t> &codes) {
    clear_table(table);
    CodeCount counted = first_count(table.code_size);
    uint64_t bits = 0;
    codes.clear();
    for (size_t at = 0; at < count;) {
        uint32_t code = pixels[at];
        const int longest = static_cast<int>(extend_match(table, code, pixels, at + 1, count) - at);
        const int margin = table_full(counted) ? choices.margin_full : choices.margin_growing;
        const int take =
            choose_length(table, pixels + at, count - at, longest, choices.shorter_tries, margin);
        if (take < longest) {
            code = pixels[at];
            extend_match(table, code, pixels, at + 1, at + static_cast<size_t>(take));
        }
        codes.push_back(static_cast<uint16_t>(code));
        bits += static_cast<uint64_t>(counted.width);
        // A shorter match's string plus the next pixel is already in the table.
        if (at + take < count && !table_full(counted) && take == longest)
            add_code(table, code, pixels[at + take], counted.next);
        count_code(counted);
        at += static_cast<size_t>(take);
    }
    return bits;
}
