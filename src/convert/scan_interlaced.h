#pragma once

#include "convert/cel_header.h"

#include <cstdio>

struct LzwStream;

// Where the four-pass GIF interlace order stands.
struct InterlaceCursor {
    unsigned row;
    unsigned step;
    int pass; // 1 to 4
};

constexpr InterlaceCursor FIRST_INTERLACED_ROW = {0, 8, 1};

// Moves to the next row in interlace order; past the last one the row is >= height.
void advance_interlaced_row(InterlaceCursor &cursor, unsigned height);

// Reads the whole pixel area into a new zero-filled buffer that the caller frees.
// An empty image needs no buffer: *pixels stays null. STATUS_OK, STATUS_NO_MEMORY or
// STATUS_READ_ERROR (the buffer already released).
int load_pixel_area(FILE *input, const CelImage &image, unsigned char **pixels);

// Passes the loaded rows to the encoder in interlace order; STATUS_OK or STATUS_WRITE_ERROR.
// The pixels go to `lzw` when given, else out as uncompressed codes.
int scan_interlaced(FILE *out, const unsigned char *pixels, const CelImage &image,
                    LzwStream *lzw = nullptr);
// The same, in interlace order or (`interlace` 0) in file order.
int scan_pixel_area(FILE *out, const unsigned char *pixels, const CelImage &image, int interlace,
                    LzwStream *lzw = nullptr);

// The highest colour index among the area's pixels (the unused nibble of odd-width 4-bit
// rows left out).
unsigned highest_index(const unsigned char *pixels, const CelImage &image);
