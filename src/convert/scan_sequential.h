#pragma once

#include "convert/cel_header.h"

#include <cstdio>

// Streams the pixels from the input in file order, holding no more than one chunk.
// STATUS_OK, STATUS_READ_ERROR or STATUS_WRITE_ERROR. Pixel data that ends early is
// not an error: fewer codes go out.
int scan_sequential(FILE *input, FILE *out, const CelImage &image);
