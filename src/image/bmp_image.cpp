// BMP image cels, our own reader (no library needed): uncompressed 1, 4, 8, 16, 24 and
// 32 bits per pixel, bottom-up or top-down, with bit-field masks; opaque unless a 32-bit
// picture carries an alpha mask.
#include "image/image.h"

#include "common/status.h"

namespace {

uint32_t u16(const unsigned char *p) {
    return p[0] | uint32_t{p[1]} << 8;
}

uint32_t u32(const unsigned char *p) {
    return u16(p) | u16(p + 2) << 16;
}

// A channel's value through its bit mask, scaled to 0..255.
unsigned channel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!(mask >> shift & 1))
        ++shift;
    const uint32_t top = mask >> shift;
    return static_cast<unsigned>((uint64_t{(pixel & mask) >> shift} * 255 + top / 2) / top);
}

struct Layout {
    int64_t width, height; // height negative: rows from the top
    unsigned bits;
    uint32_t masks[4]; // red, green, blue, alpha, for 16 and 32 bits
    uint64_t palette_at;
    unsigned palette_entry, palette_count; // bytes per entry (3 or 4), entries
    uint64_t pixels_at;
};

bool read_layout(const unsigned char *b, size_t size, Layout &l) {
    if (size < 26) return false;
    const uint32_t header = u32(b + 14);
    const uint64_t table_at = 14 + uint64_t{header};
    if (header == 12) { // the OS/2 form: 16-bit sizes, 3-byte palette entries
        l = Layout{u16(b + 18), u16(b + 20), u16(b + 24), {}, table_at, 3, 0, u32(b + 10)};
    } else {
        if (header < 40 || size < 54) return false;
        const uint32_t compression = u32(b + 30), used = u32(b + 46);
        l = Layout{static_cast<int32_t>(u32(b + 18)),
                   static_cast<int32_t>(u32(b + 22)),
                   u16(b + 28),
                   {},
                   table_at,
                   4,
                   used,
                   u32(b + 10)};
        if (compression == 3 || compression == 6) { // bit fields, after a 40-byte header
            const int count = compression == 6 || header >= 56 ? 4 : 3;
            if (size_t{54} + 4 * static_cast<size_t>(count) > size) return false;
            for (int c = 0; c < count; ++c)
                l.masks[c] = u32(b + 54 + 4 * c);
            if (header == 40) l.palette_at += 4 * count;
        } else if (compression != 0) {
            return false; // run-length and embedded JPEG or PNG pictures are not read
        } else if (l.bits == 16) {
            l.masks[0] = 0x7C00, l.masks[1] = 0x03E0, l.masks[2] = 0x001F;
        } else if (l.bits == 32) {
            l.masks[0] = 0xFF0000, l.masks[1] = 0xFF00, l.masks[2] = 0xFF;
        }
    }
    const bool indexed = l.bits == 1 || l.bits == 4 || l.bits == 8;
    if (!indexed && l.bits != 16 && l.bits != 24 && l.bits != 32) return false;
    if (indexed && (l.palette_count == 0 || l.palette_count > (1u << l.bits)))
        l.palette_count = 1u << l.bits;
    const uint64_t table_end =
        l.palette_at + (indexed ? uint64_t{l.palette_count} * l.palette_entry : 0);
    return table_end <= size;
}

} // namespace

int decode_bmp(const unsigned char *bytes, size_t size, RgbaImage &image) {
    Layout l;
    if (!read_layout(bytes, size, l)) return STATUS_NOT_DOLL_CEL;
    const uint64_t height = static_cast<uint64_t>(l.height < 0 ? -l.height : l.height);
    if (l.width <= 0) return STATUS_NOT_DOLL_CEL;
    const int status = size_image(static_cast<uint64_t>(l.width), height, image);
    if (status != STATUS_OK) return status;
    const uint64_t stride = (uint64_t(l.width) * l.bits + 31) / 32 * 4;
    if (l.pixels_at > size || stride * height > size - l.pixels_at) return STATUS_NOT_DOLL_CEL;
    for (uint64_t y = 0; y < height; ++y) {
        const unsigned char *row =
            bytes + l.pixels_at + stride * (l.height < 0 ? y : height - 1 - y);
        unsigned char *out = &image.rgba[y * image.width * 4];
        for (uint64_t x = 0; x < image.width; ++x, out += 4) {
            out[3] = 255;
            if (l.bits <= 8) {
                const unsigned shift = static_cast<unsigned>(8 - l.bits - x * l.bits % 8);
                const unsigned index = row[x * l.bits / 8] >> shift & ((1u << l.bits) - 1);
                if (index >= l.palette_count) { // beyond the table: black
                    out[0] = out[1] = out[2] = 0;
                    continue;
                }
                const unsigned char *bgr = bytes + l.palette_at + index * l.palette_entry;
                out[0] = bgr[2], out[1] = bgr[1], out[2] = bgr[0];
            } else if (l.bits == 24) {
                out[0] = row[x * 3 + 2], out[1] = row[x * 3 + 1], out[2] = row[x * 3];
            } else {
                const uint32_t pixel = l.bits == 16 ? u16(row + x * 2) : u32(row + x * 4);
                for (int c = 0; c < 3; ++c)
                    out[c] = static_cast<unsigned char>(channel(pixel, l.masks[c]));
                if (l.masks[3] != 0)
                    out[3] = static_cast<unsigned char>(channel(pixel, l.masks[3]));
            }
        }
    }
    return STATUS_OK;
}
