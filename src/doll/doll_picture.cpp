#include "doll/doll_picture.h"

#include "common/status.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The playfield part a cel covers, as half-open ranges; empty when it lies outside.
struct Clip {
    int64_t x_begin, x_end, y_begin, y_end;
};

Clip clip_cel(const PlacedCel &placed, unsigned width, int64_t row_begin, int64_t row_end) {
    const CelImage &image = placed.cel.image;
    return Clip{std::max(placed.left, int64_t{0}),
                std::min(placed.left + int64_t{image.width}, int64_t{width}),
                std::max(placed.top, row_begin),
                std::min(placed.top + int64_t{image.height}, row_end)};
}

unsigned pixel_at(const unsigned char *row, int64_t x, int depth) {
    if (depth == 8) return row[x];
    return x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
}

void put_row(const Canvas &canvas, const DollPlan &plan, int64_t y, const unsigned char *row,
             const PlacedCel &placed, const Clip &clip) {
    const uint32_t base = placed.slot * 256u;
    const int depth = placed.cel.image.depth;
    for (int64_t x = clip.x_begin; x < clip.x_end; ++x) {
        const unsigned index = pixel_at(row, x - placed.left, depth);
        if (index == 0) continue; // transparent
        if (canvas.ids != nullptr)
            canvas.ids[(y - canvas.row_begin) * plan.width + x] = base + index;
        else
            canvas.indices[y * plan.width + x] = canvas.id_to_index[base + index];
    }
}

// Reads only the rows that land on the canvas; rows the file does not hold stay transparent.
int draw_cel(const DollPlan &plan, const Canvas &canvas, const PlacedCel &placed,
             unsigned char *row) {
    const Clip clip = clip_cel(placed, plan.width, canvas.row_begin, canvas.row_end);
    if (clip.x_begin >= clip.x_end || clip.y_begin >= clip.y_end) return STATUS_OK;
    FILE *input = open_file(placed.cel.path.c_str(), "rb");
    if (input == nullptr) return STATUS_READ_ERROR;
    const int64_t stride = row_stride(placed.cel.image);
    bool readable = seek_to(input, placed.cel.pixels_at + (clip.y_begin - placed.top) * stride);
    for (int64_t y = clip.y_begin; y < clip.y_end && readable; ++y) {
        const size_t got = fread(row, 1, static_cast<size_t>(stride), input);
        std::memset(row + got, 0, static_cast<size_t>(stride) - got);
        put_row(canvas, plan, y, row, placed, clip);
        readable = got == static_cast<size_t>(stride);
    }
    const bool failed = ferror(input) != 0;
    fclose(input);
    return failed ? STATUS_READ_ERROR : STATUS_OK;
}

} // namespace

int draw_doll(const DollPlan &plan, const Canvas &canvas) {
    const size_t area = size_t{canvas.row_end - canvas.row_begin} * plan.width;
    if (canvas.ids != nullptr)
        std::fill(canvas.ids, canvas.ids + area, plan.background_id);
    else
        std::memset(canvas.indices, canvas.id_to_index[plan.background_id], area);
    // One row of the widest cel: 65535 bytes at most.
    unsigned char *row = static_cast<unsigned char *>(malloc(65536));
    if (row == nullptr) return STATUS_NO_MEMORY;
    int status = STATUS_OK;
    for (size_t i = 0; i < plan.cels.size() && status == STATUS_OK; ++i)
        status = draw_cel(plan, canvas, plan.cels[i], row);
    free(row);
    return status;
}
