#pragma once

#include "convert/cel_header.h"

#include <cstdint>
#include <cstdio>

struct LzwStream;

// Streams the pixels from the input in file order, holding no more than one chunk.
// STATUS_OK, STATUS_READ_ERROR or STATUS_WRITE_ERROR. Pixel data that ends early is
// not an error: fewer codes go out.
int scan_sequential(FILE *input, FILE *out, const CelImage &image, LzwStream *lzw = nullptr);

// The highest colour index among the pixels the scan would take, and how many there are (at
// most), read ahead and then back to where the input stood. Where the input cannot go back
// (a pipe) or a pixel already reaches the top of the table, the top and UINT64_MAX.
void survey_pixels(FILE *input, const CelImage &image, unsigned &highest, uint64_t &count);
