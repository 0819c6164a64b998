#pragma once

// Independent readers of what quondel writes, shared by the tests and the fuzzers.
#include <cstddef>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// giflib's reading of a one-image GIF.
struct Decoded {
    // Screen width and height, left, top, width, height, interlaced, transparent index (or -1).
    std::vector<int> frame;
    Bytes colours; // the global colour table
    Bytes pixels;  // one byte per pixel, rows in picture order
};
bool decode_gif(const std::string &path, Decoded &decoded);

// Where a cel's image data starts in its GIF.
inline size_t cel_data_start(int depth) {
    return 32 + (size_t{3} << depth);
}

// The pixel codes of the image data that starts at `at` (sub-blocks of 1 to 255 bytes, then
// the terminator), and where the clear codes stand in the code stream; an empty string, else
// the fault. Every code must be depth + 1 bits, and nothing but fill bits may follow the end.
// The same for any LZW image data with minimum code size `code_size`: growing widths, a
// table that may stay full, clear codes anywhere. `widenings` gets the codes read since the
// last clear at each widening.
std::string decode_lzw(const Bytes &gif, size_t at, int code_size, Bytes &pixels,
                       std::vector<size_t> *widenings = nullptr);
// The image data's start and code size in a one-image GIF as quondel writes it.
size_t image_data_start(const Bytes &gif);

std::string read_pixels(const Bytes &gif, size_t at, int depth, Bytes &pixels,
                        std::vector<size_t> *clears = nullptr);
