#pragma once

// Independent readers of what quondel writes, shared by the tests and the fuzzers.
#include <cstddef>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// giflib's reading of a one-image GIF.
struct Decoded {
    std::vector<int> frame; // screen width and height, left, top, width, height, interlaced
    int transparent;        // -1 for none
    Bytes colours;          // the global colour table
    Bytes pixels;           // one byte per pixel, rows in picture order
};
bool decode_gif(const std::string &path, Decoded &decoded);

// One byte per pixel from a cel's 4- or 8-bit rows.
Bytes unpack_pixels(const Bytes &packed, int depth, unsigned width, unsigned height);
// Where a cel's image data starts in its GIF.
inline size_t cel_data_start(int depth) {
    return 32 + (size_t{3} << depth);
}

// Every code of the image data that starts at `at` (sub-blocks of 1 to 255 bytes, then the
// terminator), clear codes included, up to the end code; an empty string, else the fault.
// The codes must keep depth + 1 bits, with nothing after the end code but fill bits.
std::string read_codes(const Bytes &gif, size_t at, int depth, std::vector<int> &codes);
