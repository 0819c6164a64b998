#pragma once

#include "convert/cel_header.h"

#include <cstdio>

// Everything a GIF needs before its image data: header, logical screen, colour table,
// graphic control extension, image descriptor and LZW minimum code size.
void write_gif_head(FILE *out, const CelImage &image, int interlace);
void write_gif_trailer(FILE *out);
