#pragma once

#include "common/run_state.h"
#include "convert/cel_header.h"

#include <cstddef>
#include <cstdio>

// How a palette file stores its colours.
struct PaletteLayout {
    int bits_per_colour;        // 12 (two bytes a colour) or 24 (three)
    unsigned colours_per_group; // 1 to 256
    unsigned groups;            // at least 1
    int64_t data_offset;        // where the first group starts
};

// The layout a palette file's first bytes declare (KissKind::palette or old_palette).
PaletteLayout palette_layout(const KissFile &file);

// Decodes up to `count` colours from `bytes` into `palette` from entry 0; entries beyond
// what the bytes hold keep their contents. Returns the number of entries loaded.
unsigned decode_colours(const unsigned char *bytes, size_t size, int bits_per_colour,
                        unsigned count, Palette &palette);

// Loads a palette file's first group into the run's palette.
int load_palette(FILE *input, const KissFile &file, KissKind kind);
