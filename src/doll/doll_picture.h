#pragma once

#include "doll/doll_files.h"

#include <cstdint>
#include <vector>

// A cel line that set 0 shows: where its top-left pixel lands and which colours it takes.
struct PlacedCel {
    DollCel cel;
    int64_t left, top; // object position plus the cel's offset; may lie outside the playfield
    unsigned slot;     // which of DollPlan::colours
};

// Everything composing needs. A colour id is slot * 256 + colour index.
struct DollPlan {
    unsigned width, height;
    std::vector<PlacedCel> cels;  // in drawing order: the last cel line first
    std::vector<Palette> colours; // per slot: one palette file in the set's group
    uint32_t background_id;
};

// Where the drawing goes: colour ids for the rows [row_begin, row_end) of the playfield,
// or, with `id_to_index` given, table indices for the whole picture.
struct Canvas {
    unsigned row_begin, row_end;
    uint32_t *ids;                    // (row_end - row_begin) x width, or null
    unsigned char *indices;           // width x height, or null
    const unsigned char *id_to_index; // with `indices`
};

// Fills the canvas with the background and draws every cel over it, clipped.
// STATUS_OK, STATUS_READ_ERROR or STATUS_NO_MEMORY.
int draw_doll(const DollPlan &plan, const Canvas &canvas);
