#include "colour/frame_colours.h"

#include "colour/colour_slots.h"

#include "common/status.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t COLOUR_BITS = 0xFFFFFF;
// Pixels compared at once before looking at them one by one: most of a held picture is
// unchanged.
constexpr size_t CHUNK = 64;

void place(FrameColours &f, uint32_t colour, uint32_t id) {
    place_colour_slot(f.slots, f.bits, colour, id);
}

// Room for one more colour: the slots at most half full, the lists long enough.
bool make_room(FrameColours &f) {
    if (f.distinct == f.room) {
        const size_t room = f.room == 0 ? 256 : f.room * 2;
        uint32_t *colours = static_cast<uint32_t *>(realloc(f.colours, room * 4));
        if (colours != nullptr) f.colours = colours;
        uint32_t *counts = static_cast<uint32_t *>(realloc(f.counts, room * 4));
        if (counts != nullptr) f.counts = counts;
        uint32_t *changed = static_cast<uint32_t *>(realloc(f.changed, room * 8));
        if (changed != nullptr) f.changed = changed;
        if (colours == nullptr || counts == nullptr || changed == nullptr) return false;
        f.room = room;
    }
    if (f.slots != nullptr && (f.distinct + 1) * 2 <= size_t{1} << f.bits) return true;
    const int bits = f.slots == nullptr ? 10 : f.bits + 1;
    uint32_t *slots = static_cast<uint32_t *>(calloc(size_t{2} << bits, 4));
    if (slots == nullptr) return false;
    free(f.slots);
    f.slots = slots;
    f.bits = bits;
    for (size_t id = 0; id < f.distinct; ++id)
        place(f, f.colours[id], static_cast<uint32_t>(id));
    return true;
}

// The id of `colour`, taken in with no pixels when new; -1 when there is no room.
int64_t colour_id(FrameColours &f, uint32_t colour) {
    colour &= COLOUR_BITS;
    const int64_t known = f.slots != nullptr ? find_colour_slot(f.slots, f.bits, colour) : -1;
    if (known >= 0) return known;
    if (!make_room(f)) return -1;
    place(f, colour, static_cast<uint32_t>(f.distinct));
    f.colours[f.distinct] = colour;
    f.counts[f.distinct] = f.changed[2 * f.distinct] = f.changed[2 * f.distinct + 1] = 0;
    return static_cast<int64_t>(f.distinct++);
}

void add_saturating(uint32_t &count, uint32_t n) {
    count = count > UINT32_MAX - n ? UINT32_MAX : count + n;
}

// Counts `n` more pixels of colour `id`, and after the first canvas, the canvas as one that
// changes pixels to it; false (and the status set) when `id` is none.
bool add_pixels(FrameColours &f, int64_t id, uint32_t n) {
    if (id < 0) {
        f.status = STATUS_NO_MEMORY;
        return false;
    }
    add_saturating(f.counts[id], n);
    const uint32_t canvas = static_cast<uint32_t>(f.frames + 1);
    if (f.frames > 0 && f.changed[2 * id + 1] != canvas) {
        ++f.changed[2 * id];
        f.changed[2 * id + 1] = canvas;
    }
    return true;
}

// Counts the pixels of `canvas` that differ from the previous canvas, taking them over;
// whether any did.
bool count_changes(FrameColours &f, const uint32_t *canvas, size_t pixels) {
    bool changed = false;
    for (size_t at = 0; at < pixels && f.status == STATUS_OK; at += CHUNK) {
        const size_t n = pixels - at < CHUNK ? pixels - at : CHUNK;
        if (memcmp(canvas + at, f.previous + at, n * 4) == 0) continue;
        changed = true;
        for (size_t i = at; i < at + n; ++i) {
            if (canvas[i] == f.previous[i]) continue;
            f.previous[i] = canvas[i];
            if (!add_pixels(f, colour_id(f, canvas[i]), 1)) break;
        }
    }
    return changed;
}

} // namespace

int gather_frame_colours(FrameColours &f, const uint32_t *canvas, size_t pixels) {
    if (f.status != STATUS_OK) return f.status;
    if (f.previous != nullptr && f.previous_pixels == pixels) {
        f.frames += count_changes(f, canvas, pixels);
        return f.status;
    }
    // The first canvas (or one of another size) counts whole.
    free(f.previous);
    f.previous = static_cast<uint32_t *>(malloc(pixels == 0 ? 1 : pixels * 4));
    f.previous_pixels = pixels;
    if (f.previous == nullptr) return f.status = STATUS_NO_MEMORY;
    // Runs of one colour are common: each run is one look-up.
    for (size_t i = 0, run = 0; i < pixels && f.status == STATUS_OK; i += run) {
        run = 1;
        while (i + run < pixels && canvas[i + run] == canvas[i] && run < UINT32_MAX)
            ++run;
        add_pixels(f, colour_id(f, canvas[i]), static_cast<uint32_t>(run));
    }
    if (pixels > 0) memcpy(f.previous, canvas, pixels * 4);
    ++f.frames;
    return f.status;
}

int choose_frame_table(const FrameColours &f, ColourTable &table, bool &has_transparent) {
    // A transparent entry pays only where a later frame can leave pixels unchanged; 256
    // colours exactly stay exact rather than losing one to it.
    has_transparent = f.frames > 1 && f.distinct != 256;
    if (f.status != STATUS_OK) return f.status;
    // Exact entries in order of how many frames change pixels to them, most first: a frame's
    // codes are as wide as its highest entry needs, and the colours most frames draw then sit
    // low. (Counting pixels instead puts a large one-off change first.)
    std::vector<uint32_t> order(f.distinct), colours(f.distinct), counts(f.distinct);
    for (size_t i = 0; i < f.distinct; ++i)
        order[i] = static_cast<uint32_t>(i);
    if (f.distinct <= 256)
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            return f.changed[2 * a] > f.changed[2 * b];
        });
    for (size_t i = 0; i < f.distinct; ++i) {
        colours[i] = f.colours[order[i]];
        counts[i] = f.counts[order[i]];
    }
    choose_table(colours.data(), counts.data(), f.distinct, has_transparent ? 1 : 0, table);
    return STATUS_OK;
}

void release_frame_colours(FrameColours &f) {
    free(f.slots);
    free(f.colours);
    free(f.counts);
    free(f.changed);
    free(f.previous);
    f = FrameColours{};
}
