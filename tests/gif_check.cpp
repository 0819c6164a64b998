#include "gif_check.h"

#include <cstring>

namespace {

using Bytes = std::vector<unsigned char>;

unsigned word_at(const Bytes &b, size_t at) {
    return b[at] | b[at + 1] << 8;
}

std::string check_head(const Bytes &gif, const ExpectedImage &im, size_t &at) {
    const size_t table = size_t{3} << im.depth;
    if (gif.size() < 13 + table + 8 + 10 + 1) return "too short for the blocks before the data";
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

std::string join_sub_blocks(const Bytes &bytes, size_t &at, Bytes &data) {
    for (;;) {
        if (at >= bytes.size()) return "image data runs past the end";
        const size_t length = bytes[at++];
        if (length == 0) return "";
        if (at + length > bytes.size()) return "sub-block runs past the end";
        data.insert(data.end(), bytes.begin() + at, bytes.begin() + at + length);
        at += length;
    }
}

std::string split_codes(const Bytes &data, int depth, std::vector<int> &pixels,
                        std::vector<size_t> *clear_positions) {
    const int width = depth + 1, clear = 1 << depth, end = clear + 1;
    size_t bit = 0, since_clear = 1;
    for (size_t position = 0;; ++position) {
        if (bit + width > data.size() * 8) return "no end code";
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
        if (code > end) return "code above the end code";
        if (code == end) break;
        if ((code == clear) != (since_clear >= size_t(clear - 2))) return "clear code off cadence";
        if (code == clear) {
            since_clear = 0;
            if (clear_positions) clear_positions->push_back(position);
            continue;
        }
        pixels.push_back(code);
        ++since_clear;
    }
    if ((bit + 7) / 8 != data.size()) return "bytes after the end code";
    return "";
}

} // namespace

std::string read_image_data(const Bytes &bytes, size_t &at, int depth, std::vector<int> &pixels,
                            std::vector<size_t> *clear_positions) {
    Bytes data;
    std::string fault = join_sub_blocks(bytes, at, data);
    return fault.empty() ? split_codes(data, depth, pixels, clear_positions) : fault;
}

std::string check_gif(const Bytes &gif, const ExpectedImage &image, std::vector<int> &pixels) {
    size_t at = 0;
    std::string fault = check_head(gif, image, at);
    if (fault.empty()) fault = read_image_data(gif, at, image.depth, pixels);
    if (fault.empty() && (at + 1 != gif.size() || gif[at] != 0x3B)) fault = "trailer";
    return fault;
}
