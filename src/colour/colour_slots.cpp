#include "colour/colour_slots.h"

size_t colour_slot(uint32_t colour, int bits) {
    // Fibonacci hashing spreads the near colours of gradients over the whole table.
    return static_cast<size_t>((uint64_t{colour} * 0x9E3779B97F4A7C15u) >> (64 - bits));
}

int64_t find_colour_slot(const uint32_t *slots, int bits, uint32_t colour) {
    const size_t mask = (size_t{1} << bits) - 1;
    for (size_t slot = colour_slot(colour, bits); slots[2 * slot] != 0; slot = (slot + 1) & mask)
        if (slots[2 * slot] == colour + 1) return slots[2 * slot + 1];
    return -1;
}

void place_colour_slot(uint32_t *slots, int bits, uint32_t colour, uint32_t number) {
    const size_t mask = (size_t{1} << bits) - 1;
    size_t slot = colour_slot(colour, bits);
    while (slots[2 * slot] != 0)
        slot = (slot + 1) & mask;
    slots[2 * slot] = colour + 1;
    slots[2 * slot + 1] = number;
}
