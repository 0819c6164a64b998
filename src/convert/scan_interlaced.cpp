#include "convert/scan_interlaced.h"

#include "common/status.h"
#include "encode/encoder.h"
#include "encode/lzw.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned PASS_FIRST_ROW[5] = {0, 0, 4, 2, 1};
constexpr unsigned PASS_STEP[5] = {0, 8, 8, 4, 2};

// Rows are gathered into runs of whole layout periods (2,032 bytes at 8 bits, 952 at 4),
// so that the encoder takes every run on its fast path.
constexpr size_t GATHER_PERIODS = 16;

struct Gather {
    unsigned char bytes[GATHER_PERIODS * BYTE_PERIOD_PIXELS];
    size_t size; // a run: whole periods of this image's depth
    size_t held;
    LzwStream *lzw; // or null for the uncompressed codes
};

void put_run(FILE *out, const Gather &g, const unsigned char *bytes, size_t count,
             const CelImage &image) {
    put_pixels(out, g.lzw, image.depth, bytes, image.depth == 8 ? count : 2 * count);
}

void gather(FILE *out, Gather &g, const unsigned char *bytes, size_t count, const CelImage &image) {
    while (count > 0) {
        if (g.held == 0 && count >= g.size) { // whole runs need no copy
            const size_t runs = count / g.size * g.size;
            put_run(out, g, bytes, runs, image);
            bytes += runs;
            count -= runs;
            continue;
        }
        const size_t take = std::min(count, g.size - g.held);
        memcpy(g.bytes + g.held, bytes, take);
        g.held += take;
        bytes += take;
        count -= take;
        if (g.held < g.size) return;
        put_run(out, g, g.bytes, g.size, image);
        g.held = 0;
    }
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
    *pixels = reserve_pixel_area(size);
    if (*pixels == nullptr) return STATUS_NO_MEMORY;
    const size_t got = fread(*pixels, 1, size, input);
    // The part a short input leaves unread goes out as index 0.
    std::memset(*pixels + got, 0, size - got);
    if (!ferror(input)) return STATUS_OK;
    free(*pixels);
    *pixels = nullptr;
    return STATUS_READ_ERROR;
}

int scan_interlaced(FILE *out, const unsigned char *pixels, const CelImage &image, LzwStream *lzw) {
    return scan_pixel_area(out, pixels, image, 1, lzw);
}

int scan_pixel_area(FILE *out, const unsigned char *pixels, const CelImage &image, int interlace,
                    LzwStream *lzw) {
    const size_t stride = row_stride(image);
    if (stride == 0) return STATUS_OK; // no pixels, and no buffer either
    // An odd-width 4-bit row ends in an unused nibble, so such rows go one by one.
    const bool whole_bytes = image.depth == 8 || image.width % 2 == 0;
    const size_t period = image.depth == 8 ? BYTE_PERIOD_PIXELS : NIBBLE_PERIOD_PIXELS / 2;
    Gather g;
    g.size = GATHER_PERIODS * BYTE_PERIOD_PIXELS / period * period;
    g.held = 0;
    g.lzw = lzw;
    // In file order the cursor is a last pass that takes every row.
    for (InterlaceCursor cursor = interlace ? FIRST_INTERLACED_ROW : InterlaceCursor{0, 1, 4};
         cursor.row < image.height; advance_interlaced_row(cursor, image.height)) {
        const unsigned char *row = pixels + cursor.row * stride;
        if (whole_bytes)
            gather(out, g, row, stride, image);
        else
            put_pixels(out, lzw, 4, row, image.width);
        if (ferror(out)) return STATUS_WRITE_ERROR;
    }
    put_run(out, g, g.bytes, g.held, image);
    return ferror(out) ? STATUS_WRITE_ERROR : STATUS_OK;
}

unsigned highest_index(const unsigned char *pixels, const CelImage &image) {
    const size_t stride = row_stride(image);
    if (stride == 0) return 0; // no pixels, and no buffer either
    unsigned seen = 0;
    for (size_t y = 0; y < image.height; ++y) {
        const unsigned char *row = pixels + y * stride;
        if (image.depth == 8) {
            seen = std::max<unsigned>(seen, *std::max_element(row, row + stride));
            continue;
        }
        for (size_t x = 0; x < image.width; ++x)
            seen = std::max<unsigned>(seen, (row[x / 2] >> ((~x & 1) * 4)) & 15);
    }
    return seen;
}
