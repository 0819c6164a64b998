#pragma once

#include "convert/cel_header.h"
#include "encode/lzw.h"

#include <cstdio>

// What the blocks before a GIF's image data say: the cel and the doll paths differ only here.
struct GifLayout {
    unsigned screen_width, screen_height; // only the low 16 bits are written
    unsigned left, top, width, height;    // the image rectangle
    int depth;                            // colour table bits, 1 to 8; the LZW code size is
                                          // the same but at least 2
    const unsigned char *colours;         // (1 << depth) red, green, blue triples
    bool transparent_zero;                // a graphic control extension marks index 0
    int interlace;
};

// A cel: on a screen reaching its right and bottom edges, index 0 transparent, the run's palette.
GifLayout cel_gif_layout(const CelImage &image, int interlace);

// Everything a GIF needs before its image data: header, logical screen, colour table,
// graphic control extension (when index 0 is transparent), image descriptor and LZW
// minimum code size.
void write_gif_head(FILE *out, const GifLayout &layout);
void write_gif_trailer(FILE *out);

// The pieces of an animation, which has one screen and many images.
// Header, logical screen and the global colour table (the layout's screen, depth, colours).
void write_gif_screen(FILE *out, const GifLayout &layout);
// The NETSCAPE2.0 application extension: play `loops` times, 0 for ever.
void write_loop_extension(FILE *out, unsigned loops);
// A graphic control extension: the delay in hundredths of a second, the disposal method (0 to
// 7) and the transparent index, or -1 for none.
void write_graphic_control(FILE *out, unsigned delay, int disposal, int transparent);
// An image descriptor (no local table) for the layout's rectangle, and the LZW minimum code
// size for its depth.
void write_image_start(FILE *out, const GifLayout &layout);

// A picture held whole, one byte per pixel, as a whole compressed GIF: the smallest colour
// table that holds its highest index (the layout's depth is replaced), rows in file or
// interlace order as the layout says. STATUS_OK, STATUS_NO_MEMORY or STATUS_WRITE_ERROR.
int write_picture_gif(FILE *out, GifLayout layout, const unsigned char *pixels,
                      const LzwChoices &choices = LZW_CHOICES);
