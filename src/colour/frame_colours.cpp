#include "colour/frame_colours.h"

#include "common/status.h"

#include <cstdlib>

int gather_frame_colours(FrameColours &colours, const uint32_t *, size_t) {
    return colours.status;
}

int choose_frame_table(const FrameColours &, ColourTable &table, bool &has_transparent) {
    table = ColourTable{};
    table.count = 1;
    has_transparent = false;
    return STATUS_OK;
}

void release_frame_colours(FrameColours &colours) {
    free(colours.slots);
    free(colours.colours);
    free(colours.counts);
    free(colours.previous);
    colours = FrameColours{};
}
