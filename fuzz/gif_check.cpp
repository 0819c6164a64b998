#include "gif_check.h"

#include <cstring>

namespace {

unsigned word_at(const std::vector<unsigned char> &b, size_t at) {
    return b[at] | b[at + 1] << 8;
}

std::string check_head(const std::vector<unsigned char> &gif, const ExpectedImage &im, size_t &at) {
    const size_t table = size_t{3} << im.depth;
    if (gif.size() < 13 + table + 8 + 10 + 1)
        return "too short for the blocks before the image data";
    if (std::memcmp(gif.data(), "GIF89a", 6) != 0) return "header";
    if (word_at(gif, 6) != ((im.x + im.width) & 0xFFFF) ||
        word_at(gif, 8) != ((im.y + im.height) & 0xFFFF))
        return "screen size";
    if (gif[10] != (im.depth == 8 ? 0xF7 : 0xB3) || gif[11] != 0 || gif[12] != 0)
        return "screen flags";
    at = 13 + table;
    static const unsigned char control[8] = {0x21, 0xF9, 0x04, 0x01, 0, 0, 0, 0};
    if (std::memcmp(&gif[at], control, 8) != 0) return "graphic control extension";
    at += 8;
    if (gif[at] != 0x2C || word_at(gif, at + 1) != im.x || word_at(gif, at + 3) != im.y ||
        word_at(gif, at + 5) != im.width || word_at(gif, at + 7) != im.height ||
        gif[at + 9] != (im.interlace ? 0x40 : 0))
        return "image descriptor";
    at += 10;
    if (gif[at++] != im.depth) return "code size";
    return "";
}

std::string join_sub_blocks(const std::vector<unsigned char> &gif, size_t &at,
                            std::vector<unsigned char> &data) {
    for (;;) {
        if (at >= gif.size()) return "image data runs past the end";
        const size_t length = gif[at++];
        if (length == 0) break;
        if (at + length > gif.size()) return "sub-block runs past the end";
        data.insert(data.end(), gif.begin() + at, gif.begin() + at + length);
        at += length;
    }
    if (at + 1 != gif.size() || gif[at] != 0x3B) return "trailer";
    return "";
}

// Every code width bits, the clear code at its cadence only, the end code last.
std::string check_codes(const std::vector<unsigned char> &data, int depth,
                        std::vector<int> *codes) {
    const int width = depth + 1, clear = 1 << depth, end = clear + 1;
    size_t bit = 0, since_clear = 1;
    for (;;) {
        if (bit + width > data.size() * 8) return "no end code";
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
        if (code > end) return "code above the end code";
        if (code == end) break;
        const bool clear_due = since_clear >= size_t(clear - 2);
        if ((code == clear) != clear_due) return "clear code off its cadence";
        if (code == clear) {
            since_clear = 0;
            continue;
        }
        codes->push_back(code);
        ++since_clear;
    }
    if ((bit + 7) / 8 != data.size()) return "bytes after the end code";
    return "";
}

} // namespace

std::string check_gif(const std::vector<unsigned char> &gif, const ExpectedImage &image,
                      std::vector<int> *codes) {
    size_t at = 0;
    std::vector<unsigned char> data;
    std::string fault = check_head(gif, image, at);
    if (fault.empty()) fault = join_sub_blocks(gif, at, data);
    if (fault.empty()) fault = check_codes(data, image.depth, codes);
    return fault;
}
