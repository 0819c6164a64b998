#pragma once

// Independent readers of what quondel writes, shared by the tests and the fuzzers.
#include <cstddef>
#include <cstdint>
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

// The pixels of the LZW image data that starts at `at` (sub-blocks of 1 to 255 bytes, then
// the terminator) with minimum code size `code_size`: growing widths, a table that may stay
// full, clear codes anywhere; nothing but fill bits may follow the end code. An empty string,
// else the fault. `widenings` gets the codes read since the last clear at each widening,
// `clears` the clear codes' places in the code stream. `plain` data must hold one code per
// pixel, all as wide as the first.
std::string decode_lzw(const Bytes &gif, size_t at, int code_size, Bytes &pixels,
                       std::vector<size_t> *widenings = nullptr,
                       std::vector<size_t> *clears = nullptr, bool plain = false);
// The image data's start in a one-image GIF as quondel writes it.
size_t image_data_start(const Bytes &gif);

// What a player sees of an animation: "loop " when it loops for ever, then per frame
// "left,top,wxh/delay" ("-" without a graphic control), "*" where entry 0 is transparent; and
// the screen after each frame, composited (0xFF000000 where nothing was drawn yet).
using Canvas = std::vector<uint32_t>;
struct Played {
    std::string frames;
    std::vector<int> delays;
    std::vector<Canvas> pictures;
    Canvas table;
    bool transparent = false;
};
// False when giflib cannot read it, or a frame is disposed of otherwise than not at all.
bool play(const std::string &file, Played &p);
