#pragma once

#include "convert/gif_container.h"

#include <cstdio>

// Writes a GIF of `picture`, one table entry per byte for layout.width x layout.height pixels
// row by row, to run_state.output_name (never over `input`). At depth 4 the rows are packed
// in place first, so the picture is changed. A conversion status.
int write_picture_gif(FILE *input, unsigned char *picture, const GifLayout &layout);
