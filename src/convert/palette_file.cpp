#include "convert/palette_file.h"

#include "common/status.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int TWELVE_BITS = 12;
constexpr unsigned OLD_GROUP_COLOURS = 16;

// A group size or count the header leaves at 0 (or makes absurd) falls back to what a
// short palette would give: the colours the file holds.
unsigned sane(unsigned value, unsigned fallback, unsigned limit) {
    return value == 0 ? fallback : value > limit ? limit : value;
}

} // namespace

PaletteLayout palette_layout(const KissFile &file) {
    if (file.header_bytes == CEL_HEADER_SIZE && std::memcmp(file.header.bytes, "KiSS", 4) == 0) {
        const unsigned char *b = file.header.bytes;
        const int bits = b[5] == TWELVE_BITS ? 12 : 24;
        const unsigned colours = sane(word_at(b, 8), 256, 256);
        return PaletteLayout{bits, colours, sane(word_at(b, 10), 1, 256), CEL_HEADER_SIZE};
    }
    const unsigned groups = file.size > 0 ? static_cast<unsigned>(file.size / 32) : 1;
    return PaletteLayout{12, OLD_GROUP_COLOURS, groups, 0};
}

unsigned decode_colours(const unsigned char *bytes, size_t size, int bits_per_colour,
                        unsigned count, Palette &palette) {
    const size_t colour_bytes = bits_per_colour == TWELVE_BITS ? 2 : 3;
    const unsigned held = static_cast<unsigned>(std::min<size_t>(size / colour_bytes, count));
    unsigned char *rgb = palette.rgb;
    for (unsigned i = 0; i < held; ++i, bytes += colour_bytes, rgb += 3) {
        if (colour_bytes == 3) {
            std::memcpy(rgb, bytes, 3);
            continue;
        }
        // RRRRBBBB 0000GGGG; times 17 stretches 0..15 over 0..255.
        rgb[0] = static_cast<unsigned char>((bytes[0] >> 4) * 17);
        rgb[1] = static_cast<unsigned char>((bytes[1] & 0x0F) * 17);
        rgb[2] = static_cast<unsigned char>((bytes[0] & 0x0F) * 17);
    }
    return held;
}

int load_palette(FILE *input, const KissFile &file, KissKind kind) {
    Palette &palette = run_state.palette;
    if (kind == KissKind::old_palette) {
        // The first group is the 32 bytes already read.
        decode_colours(file.header.bytes, CEL_HEADER_SIZE, 12, OLD_GROUP_COLOURS, palette);
        return STATUS_OK;
    }
    const PaletteLayout layout = palette_layout(file);
    unsigned char colours[sizeof palette.rgb];
    // 24-bit palettes load as many bytes as they hold, whatever the header's group size.
    const size_t want =
        layout.bits_per_colour == 24 ? sizeof colours : size_t{layout.colours_per_group} * 2;
    const size_t got = fread(colours, 1, want, input);
    // A half-read palette would silently recolour every cel after it.
    if (ferror(input)) return STATUS_READ_ERROR;
    if (layout.bits_per_colour == 24)
        std::memcpy(palette.rgb, colours, got); // a short palette changes only what it holds
    else
        decode_colours(colours, got, 12, layout.colours_per_group, palette);
    return STATUS_OK;
}
