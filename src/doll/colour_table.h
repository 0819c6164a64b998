#pragma once

#include "common/run_state.h"

#include <cstdint>
#include <vector>

// The GIF's colour table for a doll picture.
struct ColourTable {
    Palette colours; // entries beyond `count` are black
    unsigned count;  // 1 to 256
    int depth;       // 4 when count <= 16, else 8
};

// Builds the table from how many pixels use each colour id (slot * 256 + index, colours
// from `slots`) and fills `id_to_index`. Exact when the distinct colours used fit 256
// entries; otherwise median cut: the colours, weighted by their pixel counts, are split
// into 256 boxes, each cut across its widest channel at the weighted median, and every
// colour takes its box's weighted mean. `background_id` gets entry 0 when exact.
void build_colour_table(const std::vector<uint32_t> &counts, const std::vector<Palette> &slots,
                        uint32_t background_id, ColourTable &table,
                        std::vector<unsigned char> &id_to_index);
