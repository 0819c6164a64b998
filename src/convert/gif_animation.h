#pragma once

#include "colour/colour_table.h"
#include "encode/lzw_table.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// A GIF animation written frame by frame as canvases arrive: each frame is held only until the
// next one tells its delay. Memory is the previous canvas, the picture a decoder shows, three
// rectangles' worth of entries and the colour cache, never all the frames.
struct AnimationWriter {
    FILE *out;
    uint32_t width, height;    // the playfield, the logical screen
    ColourTable table;         // the one global table
    int depth;                 // its bits, 1 to 8
    bool has_transparent;      // entry 0 is the transparent index; colours take 1 on
    int interlace;             // frames' rows in interlace order
    uint32_t *previous;        // the last canvas added, or null before the first
    unsigned char *shown;      // per playfield pixel, the entry a decoder shows so far
    unsigned char *pending;    // the pending frame's pixels, its rectangle's rows
    unsigned char *scratch[2]; // two more rectangles' worth, to weigh other ways to write it
    unsigned left, top, w, h;  // the pending frame's rectangle
    bool has_pending;
    bool pending_transparent; // the pending frame leaves pixels unchanged through entry 0
    int64_t pending_ms;       // when the pending frame starts
    uint64_t frames_written;
    uint32_t *cache; // colour + 1, then its entry: open addressing, for nearest entries
    int cache_bits;
    size_t cache_used;
    LzwTable estimate_table; // for weighing the ways to write a frame
    std::vector<uint16_t> estimate_codes;
    int status; // the first failure; later calls do nothing
};

// Writes the header, the logical screen (the playfield) and the global table; the NETSCAPE2.0
// loop extension (count 0, for ever) follows once a second frame comes. STATUS_OK or
// STATUS_NO_MEMORY; on failure nothing needs releasing.
int begin_animation(AnimationWriter &writer, FILE *out, uint32_t width, uint32_t height,
                    const ColourTable &table, bool has_transparent, int interlace);
// The canvas (0xRRGGBB per pixel, width x height; the top byte is ignored) shown from `at_ms`
// on; times must not go back. A canvas no different from the last once mapped to the table
// extends its frame. Colours not in the table take the nearest entry. STATUS_OK,
// STATUS_NO_MEMORY or STATUS_WRITE_ERROR.
int add_animation_frame(AnimationWriter &writer, const uint32_t *canvas, int64_t at_ms);
// Writes the last frame, lasting until `end_ms`, and the trailer; releases everything. A
// single frame makes a still: no loop extension, no graphic control. STATUS_OK or the first
// failure.
int finish_animation(AnimationWriter &writer, int64_t end_ms);
// Releases everything without writing more (after a failure elsewhere). Safe to repeat.
void release_animation(AnimationWriter &writer);
