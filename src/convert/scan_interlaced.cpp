#include "convert/scan_interlaced.h"

#include "common/status.h"
#include "convert/nibbles.h"
#include "encode/encoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr unsigned PASS_FIRST_ROW[5] = {0, 0, 4, 2, 1};
constexpr unsigned PASS_STEP[5] = {0, 8, 8, 4, 2};

constexpr size_t ROW_SEGMENT = 1 << 12;

void put_nibble_row(FILE *out, const unsigned char *row, const CelImage &image) {
    unsigned char codes[2 * ROW_SEGMENT];
    size_t left = row_stride(image);
    while (left > 0) {
        const size_t take = std::min(left, ROW_SEGMENT);
        size_t count = expand_nibbles(row, take, codes);
        row += take;
        left -= take;
        if (left == 0) count -= image.width & 1; // the last byte's unused low nibble
        put_codes(out, codes, count, image.depth + 1);
    }
}

void put_row(FILE *out, const unsigned char *row, const CelImage &image) {
    if (image.depth == 8)
        put_codes(out, row, image.width, image.depth + 1);
    else
        put_nibble_row(out, row, image);
}

} // namespace

void advance_interlaced_row(InterlaceCursor &cursor, unsigned height) {
    cursor.row += cursor.step;
    while (cursor.row >= height && cursor.pass < 4) {
        ++cursor.pass;
        cursor.row = PASS_FIRST_ROW[cursor.pass];
        cursor.step = PASS_STEP[cursor.pass];
    }
}

int load_pixel_area(FILE *input, const CelImage &image, unsigned char **pixels) {
    *pixels = nullptr;
    // At most 65535 x 65535 bytes, which still fits 32 bits.
    const uint32_t size = row_stride(image) * uint32_t{image.height};
    if (size == 0) return STATUS_OK;
    // Zero-filled, so the part a short input leaves unread goes out as index 0.
    *pixels = static_cast<unsigned char *>(calloc(size, 1));
    if (*pixels == nullptr) return STATUS_NO_MEMORY;
    fread(*pixels, 1, size, input);
    if (!ferror(input)) return STATUS_OK;
    free(*pixels);
    *pixels = nullptr;
    return STATUS_READ_ERROR;
}

int scan_interlaced(FILE *out, const unsigned char *pixels, const CelImage &image) {
    const size_t stride = row_stride(image);
    for (InterlaceCursor cursor = FIRST_INTERLACED_ROW; cursor.row < image.height;
         advance_interlaced_row(cursor, image.height)) {
        put_row(out, pixels + cursor.row * stride, image);
        if (ferror(out)) return STATUS_WRITE_ERROR;
    }
    return STATUS_OK;
}
