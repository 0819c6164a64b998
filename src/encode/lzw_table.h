#pragma once

// The LZW string table as the encoder searches it, and the code count a decoder keeps.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

constexpr int LZW_MAX_CODES = 4096; // codes of at most 12 bits
constexpr int LZW_MAX_WIDTH = 12;

// Strings are (prefix code, pixel) pairs: a direct table of each code's children, 0 where there
// is none (no string's code is 0). One load a pixel, and clearing undoes only what was added.
struct LzwTable {
    std::vector<uint16_t> child; // [prefix << code_size | pixel]
    std::vector<uint32_t> added; // the entries set since the last clear
    int code_size;
};

// For images of at most `pixels` pixels: a short image has few codes, and a small table.
inline void start_table(LzwTable &table, int code_size, size_t pixels = LZW_MAX_CODES) {
    const size_t codes = std::min<size_t>(LZW_MAX_CODES, (size_t{1} << code_size) + 2 + pixels);
    table.child.assign(codes << code_size, 0);
    table.added.clear();
    table.added.reserve(LZW_MAX_CODES);
    table.code_size = code_size;
}

inline void clear_table(LzwTable &table) {
    for (const uint32_t at : table.added)
        table.child[at] = 0;
    table.added.clear();
}

// The code of the prefix's string followed by `pixel`, or 0.
inline uint32_t find_code(const LzwTable &table, uint32_t prefix, uint32_t pixel) {
    return table.child[prefix << table.code_size | pixel];
}

// Follows the table from `code` along pixels[at, end): where the match stops, with `code`
// the string's code there. The loop every parse spends its time in.
inline size_t extend_match(const LzwTable &table, uint32_t &code, const unsigned char *pixels,
                           size_t at, size_t end) {
    const uint16_t *child = table.child.data();
    const int shift = table.code_size;
    uint32_t c = code;
    for (; at < end; ++at) {
        const uint32_t next = child[c << shift | pixels[at]];
        if (next == 0) break;
        c = next;
    }
    code = c;
    return at;
}

inline void add_code(LzwTable &table, uint32_t prefix, uint32_t pixel, int code) {
    const uint32_t at = prefix << table.code_size | pixel;
    table.child[at] = static_cast<uint16_t>(code);
    table.added.push_back(at);
}

// What a decoder counts since the last clear: the next free code and the width of the next
// code it reads. Every code written counts, whether or not the encoder could add a string.
struct CodeCount {
    int next;
    int width;
};

inline CodeCount first_count(int code_size) {
    return CodeCount{(1 << code_size) + 2, code_size + 1};
}

inline void count_code(CodeCount &count) {
    if (count.next >= LZW_MAX_CODES) return; // full: no more codes, 12 bits
    ++count.next;
    if (count.next > (1 << count.width) && count.width < LZW_MAX_WIDTH) ++count.width;
}

inline bool table_full(const CodeCount &count) {
    return count.next >= LZW_MAX_CODES;
}
