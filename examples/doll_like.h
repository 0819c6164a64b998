#pragma once

// Pictures like a doll's: flat areas, one-pixel outlines, softened edges, dithered shading
// and text, for measuring compression and for round trips in the tests.
#include "kiss_writer.h"

#include <cstdint>

// One byte per pixel, indices below 1 << depth (4 or 8); the same picture for the same seed.
Bytes doll_like_pixels(unsigned width, unsigned height, int depth, uint32_t seed);
// Its colours: red, green, blue triples for 16 or 256 entries.
Bytes doll_like_palette(int depth);
