#pragma once

#include <cstddef>

// Splits 4-bit pixel bytes into one code per pixel, left (high) nibble first.
// Writes 2 * count codes; a caller at the end of an odd-width row drops the last one.
inline size_t expand_nibbles(const unsigned char *bytes, size_t count, unsigned char *codes) {
    for (size_t i = 0; i < count; ++i) {
        codes[2 * i] = static_cast<unsigned char>(bytes[i] >> 4);
        codes[2 * i + 1] = static_cast<unsigned char>(bytes[i] & 0x0F);
    }
    return 2 * count;
}
