#pragma once

#include "colour/colour_table.h"

#include <cstddef>
#include <cstdint>

// The distinct colours of many frames with how often each was seen, gathered one canvas at a
// time. Zero-initialised (`FrameColours colours{};`) it holds nothing; release it when done.
// A canvas counts whole the first time; after that only its pixels that differ from the
// canvas gathered before it count, so holding a picture still costs a comparison, not a count.
struct FrameColours {
    uint32_t *slots; // hash slots: colour + 1 (0 when free), then its id
    int bits;        // the slots number 1 << bits
    uint32_t *colours;
    uint32_t *counts;  // pixels of each colour, saturating at UINT32_MAX
    uint32_t *changed; // per colour: canvases after the first that change pixels to it, and
                       // the last such canvas's number
    size_t distinct, room;
    uint32_t *previous; // the canvas gathered last, or null
    size_t previous_pixels;
    uint64_t frames; // canvases that differed from the one gathered before them
    int status;      // STATUS_NO_MEMORY once an allocation failed; later calls do nothing
};

// Adds a canvas (0xRRGGBB per pixel; the top byte is ignored). STATUS_OK or STATUS_NO_MEMORY.
int gather_frame_colours(FrameColours &colours, const uint32_t *canvas, size_t pixels);

// One table for all the frames gathered. When the colours fit it is exact, the colours that
// the most later canvases change pixels to first, then in the order they first appeared; when more
// than one frame was gathered and they fit 255, entry 0 is left for a transparent index and
// `has_transparent` is set. More colours than that are quantised once, over all frames together
// (255 and the transparent entry when there are several frames). STATUS_OK or STATUS_NO_MEMORY.
int choose_frame_table(const FrameColours &colours, ColourTable &table, bool &has_transparent);

void release_frame_colours(FrameColours &colours);
