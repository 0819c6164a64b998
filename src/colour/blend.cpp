#include "colour/blend.h"

void blend_row(uint32_t *under, const unsigned char *rgba, size_t count, int translucency) {
    const uint32_t t = static_cast<uint32_t>(translucency);
    for (size_t i = 0; i < count; ++i, rgba += 4) {
        const uint32_t p = rgba[3];
        const uint32_t colour = uint32_t{rgba[0]} << 16 | uint32_t{rgba[1]} << 8 | rgba[2];
        if (p == 0 || t == 255) continue;
        if (p == 255 && t == 0) { // opaque: most pixels of most cels
            under[i] = colour;
            continue;
        }
        const uint32_t b = under[i];
        under[i] = blend_channel(colour >> 16, b >> 16 & 0xFF, p, t) << 16 |
                   blend_channel(colour >> 8 & 0xFF, b >> 8 & 0xFF, p, t) << 8 |
                   blend_channel(colour & 0xFF, b & 0xFF, p, t);
    }
}
