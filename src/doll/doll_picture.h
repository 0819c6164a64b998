#pragma once

#include "doll/doll_files.h"
#include "doll/rgba_cel.h"

#include <cstdint>
#include <string>
#include <vector>

// A cel line that the set shows: where its object is and how it is laid over what is below.
struct PlacedCel {
    std::string file; // as the cel line names it
    DollCel cel;
    int64_t x, y;     // its object's position
    size_t palette;   // which of DollPlan::colours, for a palette cel
    int translucency; // 0 opaque to 255 invisible
};

// Everything drawing needs.
struct DollPlan {
    uint32_t width, height;
    DollFiles files;
    std::vector<PlacedCel> cels;   // in drawing order: the last cel line first
    std::vector<Palette> colours;  // palette files in the set's group
    std::vector<RgbaCel> pictures; // image cels, decoded
    uint32_t background;           // 0xRRGGBB
};

// The playfield in full colour: width x height colours 0xRRGGBB, row by row.
struct Canvas {
    uint32_t width, height;
    uint32_t *colours;
};

// Lays `cel` with its top-left pixel at its offset from (x, y), clipped to the canvas.
void draw_rgba_cel(const Canvas &canvas, const RgbaCel &cel, int64_t x, int64_t y,
                   int translucency);

// Fills the canvas with the background and draws every cel over it, clipped.
// STATUS_OK, STATUS_READ_ERROR or STATUS_NO_MEMORY.
int draw_doll(const DollPlan &plan, const Canvas &canvas);
