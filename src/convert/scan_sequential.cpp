#include "convert/scan_sequential.h"

#include "common/status.h"
#include "encode/encoder.h"

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
int scan_bytes(FILE *input, FILE *out) {
    unsigned char bytes[CHUNK];
    size_t got;
    do {
        got = fread(bytes, 1, BYTE_CHUNK, input);
        put_byte_pixels(out, bytes, got);
    } while (got == BYTE_CHUNK && !ferror(out));
    return stream_status(input, out);
}

// Passes a chunk of rows on, leaving out the unused low nibble that ends an odd-width row.
void put_nibble_chunk(FILE *out, const unsigned char *bytes, size_t count, const CelImage &image,
                      size_t &row_bytes_left) {
    if (image.width % 2 == 0) {
        put_nibble_pixels(out, bytes, 2 * count);
        return;
    }
    for (size_t at = 0; at < count;) {
        const size_t take = std::min(count - at, row_bytes_left);
        row_bytes_left -= take;
        put_nibble_pixels(out, bytes + at, 2 * take - (row_bytes_left == 0 ? 1 : 0));
        at += take;
        if (row_bytes_left == 0) row_bytes_left = row_stride(image);
    }
}

// Reads only the declared rows; bytes after the last row stay unread.
int scan_nibbles(FILE *input, FILE *out, const CelImage &image) {
    unsigned char bytes[CHUNK];
    uint64_t remaining = uint64_t{row_stride(image)} * image.height;
    size_t row_bytes_left = row_stride(image);
    while (remaining > 0 && !ferror(out)) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(remaining, CHUNK));
        const size_t got = fread(bytes, 1, want, input);
        put_nibble_chunk(out, bytes, got, image, row_bytes_left);
        if (got < want) break;
        remaining -= got;
    }
    return stream_status(input, out);
}

} // namespace

int scan_sequential(FILE *input, FILE *out, const CelImage &image) {
    return image.depth == 8 ? scan_bytes(input, out) : scan_nibbles(input, out, image);
}
