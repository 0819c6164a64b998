#pragma once

#include <cstddef>
#include <cstdint>

// An open-addressed table from colours to numbers: 1 << bits slots of two words each, the
// colour + 1 (0 marks a free slot) and its number. The caller owns the words and keeps the
// table at most half full, so a search always ends at a free slot.
size_t colour_slot(uint32_t colour, int bits);
// The number of `colour`, or -1 when it is not there.
int64_t find_colour_slot(const uint32_t *slots, int bits, uint32_t colour);
void place_colour_slot(uint32_t *slots, int bits, uint32_t colour, uint32_t number);
