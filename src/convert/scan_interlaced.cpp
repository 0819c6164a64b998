#include "convert/scan_interlaced.h"

#include "common/status.h"
#include "encode/encoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace {

constexpr size_t HUGE_PAGE = size_t{2} << 20;

constexpr unsigned PASS_FIRST_ROW[5] = {0, 0, 4, 2, 1};
constexpr unsigned PASS_STEP[5] = {0, 8, 8, 4, 2};

// Rows are gathered into longer runs for the encoder, which starts and ends each run
// with a few single codes.
constexpr size_t GATHER_SIZE = 1 << 15;

void put_run(FILE *out, const unsigned char *bytes, size_t count, const CelImage &image) {
    if (image.depth == 8)
        put_byte_pixels(out, bytes, count);
    else
        put_nibble_pixels(out, bytes, 2 * count);
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
    // Large areas in huge pages where the system offers them: thousands of page faults
    // fewer, which is most of what holding the area costs.
    void *area = nullptr;
    if (posix_memalign(&area, size >= HUGE_PAGE ? HUGE_PAGE : sizeof(void *), size) != 0)
        return STATUS_NO_MEMORY;
    *pixels = static_cast<unsigned char *>(area);
#ifdef MADV_HUGEPAGE
    if (size >= HUGE_PAGE) madvise(area, size, MADV_HUGEPAGE);
#endif
    const size_t got = fread(*pixels, 1, size, input);
    // The part a short input leaves unread goes out as index 0.
    std::memset(*pixels + got, 0, size - got);
    if (!ferror(input)) return STATUS_OK;
    free(*pixels);
    *pixels = nullptr;
    return STATUS_READ_ERROR;
}

int scan_interlaced(FILE *out, const unsigned char *pixels, const CelImage &image) {
    const size_t stride = row_stride(image);
    if (stride == 0) return STATUS_OK; // no pixels, and no buffer either
    // An odd-width 4-bit row ends in an unused nibble, so such rows go one by one.
    const bool whole_bytes = image.depth == 8 || image.width % 2 == 0;
    unsigned char gathered[GATHER_SIZE];
    size_t held = 0;
    for (InterlaceCursor cursor = FIRST_INTERLACED_ROW; cursor.row < image.height;
         advance_interlaced_row(cursor, image.height)) {
        const unsigned char *row = pixels + cursor.row * stride;
        if (!whole_bytes) {
            put_nibble_pixels(out, row, image.width);
        } else if (held + stride <= GATHER_SIZE) {
            memcpy(gathered + held, row, stride);
            held += stride;
            continue;
        } else {
            put_run(out, gathered, held, image);
            held = 0;
            if (stride > GATHER_SIZE) {
                put_run(out, row, stride, image);
            } else {
                memcpy(gathered, row, stride);
                held = stride;
            }
        }
        if (ferror(out)) return STATUS_WRITE_ERROR;
    }
    put_run(out, gathered, held, image);
    return ferror(out) ? STATUS_WRITE_ERROR : STATUS_OK;
}
