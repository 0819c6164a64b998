#pragma once

// The LZW string table as the encoder searches it, and the code count a decoder keeps.
#include <cstdint>
#include <cstring>

constexpr int LZW_MAX_CODES = 4096; // codes of at most 12 bits
constexpr int LZW_MAX_WIDTH = 12;
constexpr int LZW_SLOTS = 8192;            // a hash at most half full, small enough to stay in L1
constexpr uint32_t LZW_EMPTY = 0xFFFFFFFF; // no entry: prefix 4095 never gets a child

// Strings are (prefix code, pixel) pairs; each slot holds (prefix << 8 | pixel) << 12 | code.
struct LzwTable {
    uint32_t slots[LZW_SLOTS];
};

inline void clear_table(LzwTable &table) {
    memset(table.slots, 0xFF, sizeof table.slots);
}

inline uint32_t slot_of(uint32_t key) {
    return (key * 2654435761u) >> 19;
}

// The code of the prefix's string followed by `pixel`, or -1.
inline int find_code(const LzwTable &table, uint32_t prefix, uint32_t pixel) {
    const uint32_t key = prefix << 8 | pixel;
    for (uint32_t at = slot_of(key);; at = (at + 1) & (LZW_SLOTS - 1)) {
        const uint32_t slot = table.slots[at];
        if (slot == LZW_EMPTY) return -1;
        if (slot >> 12 == key) return static_cast<int>(slot & 4095);
    }
}

inline void add_code(LzwTable &table, uint32_t prefix, uint32_t pixel, int code) {
    const uint32_t key = prefix << 8 | pixel;
    uint32_t at = slot_of(key);
    while (table.slots[at] != LZW_EMPTY)
        at = (at + 1) & (LZW_SLOTS - 1);
    table.slots[at] = key << 12 | static_cast<uint32_t>(code);
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
