#pragma once

#include <cstdint>
#include <cstdio>

constexpr int CEL_HEADER_SIZE = 32;

// The first 32 bytes of every KiSS file, as read.
struct CelHeader {
    unsigned char bytes[CEL_HEADER_SIZE];
};

// What a cel header says about its image.
struct CelImage {
    int depth; // 4 or 8
    unsigned width;
    unsigned height;
    unsigned x_offset;
    unsigned y_offset;
};

enum class KissKind { palette, cel, other };

// STATUS_OK, STATUS_SHORT_HEADER or STATUS_READ_ERROR.
int read_cel_header(FILE *input, CelHeader &header);
KissKind classify_header(const CelHeader &header);
CelImage decode_cel_image(const CelHeader &header);

// Bytes per row of pixel data: two pixels share a byte at depth 4.
inline uint32_t row_stride(const CelImage &image) {
    return image.depth == 8 ? image.width : (image.width + 1) / 2;
}
