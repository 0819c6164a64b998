#include "convert/scan_sequential.h"

#include "common/status.h"
#include "encode/encoder.h"
#include "encode/lzw.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr size_t CHUNK = 1 << 16; // a whole buffer or more: stdio reads it straight into ours
// Whole layout periods, so that every chunk of 8-bit pixels starts where the encoder packs fastest.
constexpr size_t BYTE_CHUNK = CHUNK / BYTE_PERIOD_PIXELS * BYTE_PERIOD_PIXELS;

int stream_status(FILE *input, FILE *out) {
    if (ferror(input)) return STATUS_READ_ERROR;
    if (ferror(out)) return STATUS_WRITE_ERROR;
    return STATUS_OK;
}

// Every byte up to the end of the file is a pixel, however many the header declares.
int scan_bytes(FILE *input, FILE *out, LzwStream *lzw) {
    unsigned char bytes[CHUNK];
    size_t got;
    do {
        got = fread(bytes, 1, BYTE_CHUNK, input);
        put_pixels(out, lzw, 8, bytes, got);
    } while (got == BYTE_CHUNK && !ferror(out));
    return stream_status(input, out);
}

// Passes a chunk of rows on, leaving out the unused low nibble that ends an odd-width row.
void put_nibble_chunk(FILE *out, LzwStream *lzw, const unsigned char *bytes, size_t count,
                      const CelImage &image, size_t &row_bytes_left) {
    if (image.width % 2 == 0) {
        put_pixels(out, lzw, 4, bytes, 2 * count);
        return;
    }
    for (size_t at = 0; at < count;) {
        const size_t take = std::min(count - at, row_bytes_left);
        row_bytes_left -= take;
        put_pixels(out, lzw, 4, bytes + at, 2 * take - (row_bytes_left == 0 ? 1 : 0));
        at += take;
        if (row_bytes_left == 0) row_bytes_left = row_stride(image);
    }
}

// Reads only the declared rows; bytes after the last row stay unread.
int scan_nibbles(FILE *input, FILE *out, const CelImage &image, LzwStream *lzw) {
    unsigned char bytes[CHUNK];
    uint64_t remaining = uint64_t{row_stride(image)} * image.height;
    size_t row_bytes_left = row_stride(image);
    while (remaining > 0 && !ferror(out)) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(remaining, CHUNK));
        const size_t got = fread(bytes, 1, want, input);
        put_nibble_chunk(out, lzw, bytes, got, image, row_bytes_left);
        if (got < want) break;
        remaining -= got;
    }
    return stream_status(input, out);
}

} // namespace

int scan_sequential(FILE *input, FILE *out, const CelImage &image, LzwStream *lzw) {
    return image.depth == 8 ? scan_bytes(input, out, lzw) : scan_nibbles(input, out, image, lzw);
}

void survey_pixels(FILE *input, const CelImage &image, unsigned &highest, uint64_t &count) {
    const unsigned top = (1u << image.depth) - 1;
    highest = top;
    count = UINT64_MAX;
    const long start = ftell(input);
    if (start < 0) return; // a pipe, say: what is read could not be read again
    unsigned char bytes[CHUNK];
    const size_t stride = row_stride(image);
    uint64_t remaining = image.depth == 8 ? UINT64_MAX : uint64_t{stride} * image.height;
    uint64_t pixels = 0;
    unsigned seen = 0;
    size_t row_at = 0; // the byte's place in its row, for the unused nibble of odd widths
    bool whole = false;
    while (seen < top && !whole) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(remaining, CHUNK));
        const size_t got = want == 0 ? 0 : fread(bytes, 1, want, input);
        for (size_t i = 0; i < got; ++i) {
            unsigned value = bytes[i];
            if (image.depth == 4) {
                const bool pad = image.width % 2 == 1 && ++row_at == stride;
                if (row_at == stride) row_at = 0;
                value = pad ? value >> 4 : std::max(value >> 4, value & 15u);
            }
            seen = std::max(seen, value);
        }
        pixels += image.depth == 8 ? got : 2 * uint64_t{got};
        remaining -= got;
        whole = got == 0;
    }
    if (whole) highest = seen, count = pixels;
    if (ferror(input) || fseek(input, start, SEEK_SET) != 0) highest = top, count = UINT64_MAX;
    clearerr(input);
}
