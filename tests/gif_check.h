#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Independent readers of what quondel writes, shared by the tests and the fuzzer. Each returns
// an empty string when the bytes are as they must be, else what is wrong.

// What a cel header declares, as the checker needs it.
struct ExpectedImage {
    int depth;
    unsigned width, height, x, y;
    int interlace;
};

// Image data: sub-blocks of 1 to 255 bytes, then the terminator, starting at `at`; on success
// `at` is just past the terminator and `pixels` holds the pixel codes. Every code must be
// depth + 1 bits wide, clear codes only where due, the end code last and nothing after it.
// `clear_positions` (if given) receives where in the code stream the clear codes stand.
std::string read_image_data(const std::vector<unsigned char> &bytes, size_t &at, int depth,
                            std::vector<int> &pixels,
                            std::vector<size_t> *clear_positions = nullptr);

// A whole quondel GIF against the cel it came from.
std::string check_gif(const std::vector<unsigned char> &gif, const ExpectedImage &image,
                      std::vector<int> &pixels);
