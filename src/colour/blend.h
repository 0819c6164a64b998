#pragma once

#include <cstddef>
#include <cstdint>

// Laying one colour over another as a KiSS viewer does. Colours on a canvas are 0xRRGGBB;
// cel pixels are red, green, blue and straight (not premultiplied) alpha, a byte each.

// One channel: `c` with alpha `p` (0 clear to 255 opaque) in a cel of translucency `t`
// (0 opaque to 255 invisible) over `b`. Exactly (c * a + b * (255 - a)) / 255 with
// a = p * (255 - t) / 255, rounded half up once at the end.
inline uint32_t blend_channel(uint32_t c, uint32_t b, uint32_t p, uint32_t t) {
    const uint32_t a = p * (255 - t); // alpha scaled by 65025
    return (2 * (c * a + b * (65025 - a)) + 65025) / 130050;
}

// A whole colour 0xRRGGBB over another.
inline uint32_t blend_colour(uint32_t c, uint32_t b, uint32_t p, uint32_t t) {
    return blend_channel(c >> 16, b >> 16, p, t) << 16 |
           blend_channel(c >> 8 & 0xFF, b >> 8 & 0xFF, p, t) << 8 |
           blend_channel(c & 0xFF, b & 0xFF, p, t);
}

// Lays `count` pixels of red, green, blue and alpha over the canvas colours in `under`.
void blend_row(uint32_t *under, const unsigned char *rgba, size_t count, int translucency);
