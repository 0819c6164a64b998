#include "kiss_writer.h"

#include <algorithm>
#include <cstdio>

Bytes kiss_file(unsigned char mark, int depth, unsigned width, unsigned height, unsigned x,
                unsigned y, const Bytes &body) {
    Bytes file = {'K', 'i', 'S', 'S', mark, static_cast<unsigned char>(depth), 0, 0};
    for (unsigned word : {width, height, x, y}) {
        file.push_back(static_cast<unsigned char>(word));
        file.push_back(static_cast<unsigned char>(word >> 8));
    }
    file.resize(32, 0);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

Bytes cel_file(int depth, unsigned width, unsigned height, const Bytes &pixels, unsigned x,
               unsigned y) {
    return kiss_file(0x20, depth, width, height, x, y, pixels);
}

Bytes cel32_file(unsigned width, unsigned height, const Bytes &bgra, unsigned x, unsigned y,
                 unsigned char mark) {
    return kiss_file(mark, 32, width, height, x, y, bgra);
}

Bytes old_cel_file(unsigned width, unsigned height, const Bytes &pixels) {
    Bytes file(4 + pixels.size());
    file[0] = static_cast<unsigned char>(width);
    file[1] = static_cast<unsigned char>(width >> 8);
    file[2] = static_cast<unsigned char>(height);
    file[3] = static_cast<unsigned char>(height >> 8);
    std::copy(pixels.begin(), pixels.end(), file.begin() + 4);
    return file;
}

Bytes pack_rows(int depth, unsigned width, const Bytes &pixels) {
    if (depth == 8 || width == 0) return pixels;
    const size_t stride = (width + 1) / 2;
    Bytes rows(pixels.size() / width * stride);
    for (size_t i = 0; i < pixels.size(); ++i)
        rows[i / width * stride + i % width / 2] |=
            static_cast<unsigned char>(pixels[i] << (i % width % 2 ? 0 : 4));
    return rows;
}

Bytes colours12(const Bytes &rgb4) {
    Bytes bytes;
    for (size_t i = 0; i + 2 < rgb4.size(); i += 3) {
        bytes.push_back(static_cast<unsigned char>(rgb4[i] << 4 | rgb4[i + 2]));
        bytes.push_back(rgb4[i + 1]);
    }
    return bytes;
}

Bytes palette_file(int bits, unsigned colours_per_group, const Bytes &rgb) {
    const unsigned groups = static_cast<unsigned>(rgb.size() / 3 / colours_per_group);
    return kiss_file(0x10, bits, colours_per_group, groups, 0, 0,
                     bits == 12 ? colours12(rgb) : rgb);
}

bool write_bytes(const std::string &path, const Bytes &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    // An empty vector may hold no buffer at all, which fwrite must not be given.
    const bool written =
        bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}
