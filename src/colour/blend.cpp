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
        under[i] = blend_colour(colour, under[i], p, t);
    }
}
