#pragma once

#include <cstddef>
#include <string>
#include <vector>

// What a cel header declares, as the checker needs it.
struct ExpectedImage {
    int depth;
    unsigned width, height, x, y;
    int interlace;
};

// Checks the block structure of a quondel GIF against the cel it came from; returns an
// empty string when it holds, else what is wrong. *codes receives the pixel codes.
std::string check_gif(const std::vector<unsigned char> &gif, const ExpectedImage &image,
                      std::vector<int> *codes);
