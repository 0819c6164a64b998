#pragma once

#include "common/run_state.h"

#include <cstddef>
#include <cstdint>

// A GIF colour table chosen for a picture.
struct ColourTable {
    Palette colours; // entries beyond `count` are black
    unsigned count;  // 1 to 256
};

// A pixel that takes entry 0 (transparent) and adds no colour to the table.
constexpr uint32_t NO_COLOUR = 0xFF000000;

// Chooses the table for `count` pixels (0xRRGGBB, or NO_COLOUR) and rewrites them in place as
// one byte each, their entry: byte i of the buffer becomes pixel i's entry. The colours take
// entries from `first` on (those before are black): exactly when they fit, in the order they
// first appear; otherwise 256 - `first` colours chosen by variance-based median cut and
// refined by k-means, each pixel taking the nearest. STATUS_OK or STATUS_NO_MEMORY.
int index_colours(uint32_t *pixels, size_t count, unsigned first, ColourTable &table);

// The same choice of table for colours already counted: `distinct` different colours
// (0xRRGGBB), `counts[i]` pixels of colour i, entries from `first` on.
void choose_table(const uint32_t *colours, const uint32_t *counts, size_t distinct, unsigned first,
                  ColourTable &table);
