#pragma once

#include <cstdint>
#include <vector>

// A cel in full colour, as every cel that is not drawn through a palette is drawn: 32-bit
// cels, and any picture a cel line may name.
struct RgbaCel {
    uint32_t width, height;
    int64_t x_offset, y_offset;      // its top-left pixel, from its object's position
    std::vector<unsigned char> rgba; // red, green, blue, straight alpha per pixel, row by row
};
