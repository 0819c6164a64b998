#include "doll/doll_picture.h"

#include "colour/blend.h"
#include "common/status.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The part of a cel that lands on the canvas, in the cel's own columns and rows (half-open);
// empty when it lies outside.
struct Window {
    int64_t x_begin, x_end, y_begin, y_end;
    bool empty() const { return x_begin >= x_end || y_begin >= y_end; }
};

Window visible_part(const Canvas &canvas, int64_t left, int64_t top, uint32_t width,
                    uint32_t height) {
    return Window{std::max<int64_t>(0, -left), std::min<int64_t>(width, canvas.width - left),
                  std::max<int64_t>(0, -top), std::min<int64_t>(height, canvas.height - top)};
}

unsigned index_at(const unsigned char *row, int64_t x, int depth) {
    if (depth == 8) return row[x];
    return x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
}

// Palette cels go row by row straight onto the canvas; index 0 is clear, every other index
// opaque (before the line's translucency).
int draw_palette_cel(const DollPlan &plan, const Canvas &canvas, const PlacedCel &placed,
                     EntryStream &input, const Window &part, int64_t left, int64_t top) {
    const CelImage &image = placed.cel.image;
    const int64_t stride = row_stride(image);
    uint32_t colour_of[256];
    for (unsigned i = 0; i < 256; ++i) {
        const unsigned char *rgb = plan.colours[placed.palette].rgb + i * 3;
        colour_of[i] = uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
    }
    const uint32_t t = static_cast<uint32_t>(placed.translucency);
    std::vector<unsigned char> row(static_cast<size_t>(stride));
    bool readable = seek_entry(input, placed.cel.pixels_at + part.y_begin * stride);
    for (int64_t y = part.y_begin; y < part.y_end && readable; ++y) {
        const size_t got = read_entry(input, row.data(), row.size());
        std::memset(row.data() + got, 0, row.size() - got); // rows the file lacks are clear
        readable = got == row.size();
        uint32_t *under = canvas.colours + (top + y) * int64_t{canvas.width} + left;
        for (int64_t x = part.x_begin; x < part.x_end; ++x) {
            const unsigned index = index_at(row.data(), x, image.depth);
            if (index == 0) continue;
            under[x] = t == 0 ? colour_of[index] : blend_colour(colour_of[index], under[x], 255, t);
        }
    }
    return entry_failed(input) ? STATUS_READ_ERROR : STATUS_OK;
}

// The visible part of a 32-bit cel (blue, green, red, alpha) as an RGBA cel; pixels the file
// lacks are clear, and only what it holds is allocated.
int read_cel32_part(const PlacedCel &placed, EntryStream &input, const Window &part, RgbaCel &cel) {
    const CelImage &image = placed.cel.image;
    const int64_t stride = row_stride(image);
    cel.width = static_cast<uint32_t>(part.x_end - part.x_begin);
    cel.height = static_cast<uint32_t>(part.y_end - part.y_begin);
    cel.x_offset = image.x_offset + part.x_begin;
    cel.y_offset = image.y_offset + part.y_begin;
    cel.rgba.clear();
    bool readable = seek_entry(input, placed.cel.pixels_at + part.y_begin * stride);
    std::vector<unsigned char> row(static_cast<size_t>(stride));
    for (int64_t y = part.y_begin; y < part.y_end && readable; ++y) {
        const size_t got = read_entry(input, row.data(), row.size());
        std::memset(row.data() + got, 0, row.size() - got);
        readable = got == row.size();
        const size_t at = cel.rgba.size();
        cel.rgba.resize(at + size_t{cel.width} * 4);
        unsigned char *out = &cel.rgba[at];
        for (int64_t x = part.x_begin; x < part.x_end; ++x, out += 4) {
            const unsigned char *bgra = &row[static_cast<size_t>(x) * 4];
            out[0] = bgra[2], out[1] = bgra[1], out[2] = bgra[0], out[3] = bgra[3];
        }
    }
    cel.height = static_cast<uint32_t>(cel.rgba.size() / 4 / std::max<uint32_t>(cel.width, 1));
    return entry_failed(input) ? STATUS_READ_ERROR : STATUS_OK;
}

// Opens the cel only when some of it lands on the canvas.
int draw_cel(const DollPlan &plan, const Canvas &canvas, const PlacedCel &placed) {
    const CelImage &image = placed.cel.image;
    const int64_t left = placed.x + image.x_offset, top = placed.y + image.y_offset;
    const Window part = visible_part(canvas, left, top, image.width, image.height);
    if (part.empty() || placed.translucency >= 255) return STATUS_OK;
    if (placed.cel.kind == KissKind::other) { // an image cel, decoded while planning
        draw_rgba_cel(canvas, plan.pictures[placed.cel.picture], placed.x, placed.y,
                      placed.translucency);
        return STATUS_OK;
    }
    EntryStream input;
    int status = open_doll_file(plan.files, placed.file, input);
    if (status != STATUS_OK) return status;
    if (placed.cel.kind == KissKind::cel32) {
        RgbaCel cel;
        status = read_cel32_part(placed, input, part, cel);
        if (status == STATUS_OK)
            draw_rgba_cel(canvas, cel, placed.x, placed.y, placed.translucency);
    } else {
        status = draw_palette_cel(plan, canvas, placed, input, part, left, top);
    }
    close_entry(input);
    return status;
}

} // namespace

void draw_rgba_cel(const Canvas &canvas, const RgbaCel &cel, int64_t x, int64_t y,
                   int translucency) {
    const int64_t left = x + cel.x_offset, top = y + cel.y_offset;
    const Window part = visible_part(canvas, left, top, cel.width, cel.height);
    if (part.empty()) return;
    for (int64_t row = part.y_begin; row < part.y_end; ++row)
        blend_row(canvas.colours + (top + row) * int64_t{canvas.width} + left + part.x_begin,
                  &cel.rgba[static_cast<size_t>((row * cel.width + part.x_begin) * 4)],
                  static_cast<size_t>(part.x_end - part.x_begin), translucency);
}

int draw_doll(const DollPlan &plan, const Canvas &canvas) {
    std::fill(canvas.colours, canvas.colours + size_t{canvas.width} * canvas.height,
              plan.background);
    int status = STATUS_OK;
    for (size_t i = 0; i < plan.cels.size() && status == STATUS_OK; ++i)
        status = draw_cel(plan, canvas, plan.cels[i]);
    return status;
}
