#include "convert/gif_animation.h"

#include "colour/colour_slots.h"

#include "common/status.h"
#include "convert/frame_pixels.h"
#include "convert/gif_container.h"
#include "convert/scan_interlaced.h"
#include "encode/lzw.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t COLOUR_BITS = 0xFFFFFF;
constexpr int64_t MAX_DELAY = 65535; // centiseconds, the graphic control's word
constexpr int DO_NOT_DISPOSE = 1;
constexpr int FIRST_CACHE_BITS = 10;
constexpr int LAST_CACHE_BITS = 18; // 2 MiB: past this the cache starts again, not grows

struct Rect {
    unsigned left, top, w, h;
};

// Times round to the nearest centisecond each, and delays are their differences, so rounding
// never piles up over many frames.
int64_t centiseconds(int64_t ms) {
    return ms <= 0 ? 0 : (ms + 5) / 10;
}

unsigned first_colour(const AnimationWriter &a) {
    return a.has_transparent ? 1 : 0;
}

unsigned nearest_entry(const AnimationWriter &a, uint32_t colour) {
    const int c[3] = {static_cast<int>(colour >> 16), static_cast<int>(colour >> 8 & 0xFF),
                      static_cast<int>(colour & 0xFF)};
    unsigned best = first_colour(a);
    int best_distance = 1 << 30;
    for (unsigned k = best; k < a.table.count; ++k) {
        const unsigned char *rgb = a.table.colours.rgb + k * 3;
        const int d0 = c[0] - rgb[0], d1 = c[1] - rgb[1], d2 = c[2] - rgb[2];
        const int d = d0 * d0 + d1 * d1 + d2 * d2;
        if (d < best_distance) best_distance = d, best = k;
    }
    return best;
}

void cache_place(AnimationWriter &a, uint32_t colour, uint32_t entry) {
    place_colour_slot(a.cache, a.cache_bits, colour, entry);
    ++a.cache_used;
}

// Keeps the cache at most half full: twice as large, or past its limit, empty again. Without
// memory for a larger one it stays as it is and the colour goes uncached.
bool cache_room(AnimationWriter &a) {
    if ((a.cache_used + 1) * 2 <= size_t{1} << a.cache_bits) return true;
    if (a.cache_bits == LAST_CACHE_BITS) {
        memset(a.cache, 0, (size_t{2} << a.cache_bits) * 4);
        a.cache_used = 0;
        return true;
    }
    uint32_t *larger = static_cast<uint32_t *>(calloc(size_t{2} << (a.cache_bits + 1), 4));
    if (larger == nullptr) return false;
    uint32_t *old = a.cache;
    const size_t old_slots = size_t{1} << a.cache_bits;
    a.cache = larger;
    ++a.cache_bits;
    a.cache_used = 0;
    for (size_t slot = 0; slot < old_slots; ++slot)
        if (old[2 * slot] != 0) cache_place(a, old[2 * slot] - 1, old[2 * slot + 1]);
    free(old);
    return true;
}

unsigned char entry_of(AnimationWriter &a, uint32_t colour) {
    colour &= COLOUR_BITS;
    const int64_t cached = find_colour_slot(a.cache, a.cache_bits, colour);
    if (cached >= 0) return static_cast<unsigned char>(cached);
    const unsigned entry = nearest_entry(a, colour);
    if (cache_room(a)) cache_place(a, colour, entry);
    return static_cast<unsigned char>(entry);
}

// The entries of `count` colours; runs of one colour take one look-up.
void map_colours(AnimationWriter &a, const uint32_t *colours, size_t count,
                 unsigned char *entries) {
    for (size_t i = 0; i < count;) {
        const uint32_t colour = colours[i];
        const unsigned char entry = entry_of(a, colour);
        for (; i < count && colours[i] == colour; ++i)
            entries[i] = entry;
    }
}

// The smallest rectangle holding every pixel where the canvases differ; false when none does.
bool changed_rect(const uint32_t *now, const uint32_t *before, uint32_t width, uint32_t height,
                  Rect &rect) {
    const size_t row_bytes = size_t{width} * 4;
    unsigned top = 0, bottom = height;
    while (top < height &&
           memcmp(now + size_t{top} * width, before + size_t{top} * width, row_bytes) == 0)
        ++top;
    if (top == height) return false;
    while (memcmp(now + size_t{bottom - 1} * width, before + size_t{bottom - 1} * width,
                  row_bytes) == 0)
        --bottom;
    unsigned left = width, right = 0;
    for (unsigned y = top; y < bottom; ++y) {
        const uint32_t *a = now + size_t{y} * width, *b = before + size_t{y} * width;
        unsigned x = 0;
        while (x < left && a[x] == b[x])
            ++x;
        left = std::min(left, x);
        unsigned end = width;
        while (end > right && a[end - 1] == b[end - 1])
            --end;
        right = std::max(right, end);
    }
    rect = Rect{left, top, right - left, bottom - top};
    return true;
}

// Within `rect`, whose entries are `entries` (its rows), the smallest rectangle where they
// differ from what is shown; false when they are all the same.
bool differing_rect(const AnimationWriter &a, const unsigned char *entries, const Rect &rect,
                    Rect &inner) {
    unsigned left = rect.w, right = 0, top = rect.h, bottom = 0;
    for (unsigned y = 0; y < rect.h; ++y) {
        const unsigned char *now = entries + size_t{y} * rect.w;
        const unsigned char *shown = a.shown + size_t{rect.top + y} * a.width + rect.left;
        if (memcmp(now, shown, rect.w) == 0) continue;
        unsigned x = 0, end = rect.w;
        while (now[x] == shown[x])
            ++x;
        while (now[end - 1] == shown[end - 1])
            --end;
        left = std::min(left, x);
        right = std::max(right, end);
        top = std::min(top, y);
        bottom = y + 1;
    }
    if (bottom == 0) return false;
    inner = Rect{rect.left + left, rect.top + top, right - left, bottom - top};
    return true;
}

GifLayout frame_layout(const AnimationWriter &a, const Rect &r) {
    GifLayout layout = {a.width, a.height, r.left, r.top, r.w, r.h, a.depth, nullptr, false, 0};
    layout.colours = a.table.colours.rgb;
    layout.interlace = a.interlace;
    return layout;
}

// One image: its graphic control (unless it is a still), descriptor and compressed data.
int write_image(AnimationWriter &a, GifLayout layout, const unsigned char *pixels, bool control,
                int64_t delay, bool transparent) {
    if (control)
        write_graphic_control(a.out, static_cast<unsigned>(delay), DO_NOT_DISPOSE,
                              transparent ? 0 : -1);
    const size_t count = size_t{layout.width} * layout.height;
    const int code_size = frame_code_size(pixels, count);
    layout.depth = code_size;
    write_image_start(a.out, layout);
    LzwStream lzw{};
    const int status = lzw_begin(lzw, code_size, count, LZW_CHOICES);
    if (status != STATUS_OK) return status;
    scan_pixel_area(a.out, pixels, CelImage{8, layout.width, layout.height, 0, 0}, a.interlace,
                    &lzw);
    lzw_end(a.out, lzw);
    return ferror(a.out) ? STATUS_WRITE_ERROR : STATUS_OK;
}

// Writes the pending frame, shown until `end_ms`. A delay beyond the control's word goes on in
// one-pixel frames that change nothing: the pixel transparent, or the colour already there.
int write_pending(AnimationWriter &a, int64_t end_ms, bool last) {
    if (!a.has_pending) return STATUS_OK;
    a.has_pending = false;
    const bool still = last && a.frames_written == 0;
    if (a.frames_written == 0 && !still) write_loop_extension(a.out, 0);
    int64_t delay = std::max<int64_t>(0, centiseconds(end_ms) - centiseconds(a.pending_ms));
    int status = write_image(a, frame_layout(a, Rect{a.left, a.top, a.w, a.h}), a.pending, !still,
                             std::min(delay, MAX_DELAY), a.pending_transparent);
    ++a.frames_written;
    const unsigned char transparent = 0;
    const unsigned char *same = a.has_transparent ? &transparent : a.shown;
    for (delay -= MAX_DELAY; delay > 0 && status == STATUS_OK; delay -= MAX_DELAY) {
        status = write_image(a, frame_layout(a, Rect{0, 0, 1, 1}), same, true,
                             std::min(delay, MAX_DELAY), a.has_transparent);
        ++a.frames_written;
    }
    return status;
}

// The new frame's pixels go to `pending`, in the smallest of three forms by estimate: every
// pixel its entry; every unchanged pixel transparent; or only stretches of unchanged pixels
// of more than one colour transparent. Which wins varies frame by frame (a moving sprite, a
// fade), so each is weighed rather than one rule taken.
void choose_frame_pixels(AnimationWriter &a, const Rect &r) {
    const size_t count = size_t{r.w} * r.h;
    unsigned char *hidden = a.scratch[0], *stretches = a.scratch[1];
    bool any_unchanged = false;
    for (unsigned y = 0; y < r.h; ++y) {
        const unsigned char *shown = a.shown + size_t{r.top + y} * a.width + r.left;
        const size_t row = size_t{y} * r.w;
        for (unsigned x = 0; x < r.w; ++x) {
            const unsigned char entry = a.pending[row + x];
            any_unchanged |= entry == shown[x];
            hidden[row + x] = entry == shown[x] ? 0 : entry;
        }
    }
    a.pending_transparent = false;
    if (!a.has_transparent || !any_unchanged) return;
    hide_mixed_stretches(a.pending, hidden, count, stretches);
    uint64_t best = estimate_frame_bits(a.pending, count, a.estimate_table, a.estimate_codes);
    for (int k = 0; k < 2; ++k) {
        const uint64_t bits =
            estimate_frame_bits(a.scratch[k], count, a.estimate_table, a.estimate_codes);
        if (bits >= best) continue;
        best = bits;
        std::swap(a.pending, a.scratch[k]);
        a.pending_transparent = true;
    }
}

int fail(AnimationWriter &a, int status) {
    a.status = status;
    return status;
}

} // namespace

int begin_animation(AnimationWriter &a, FILE *out, uint32_t width, uint32_t height,
                    const ColourTable &table, bool has_transparent, int interlace) {
    a = AnimationWriter{};
    a.out = out;
    a.width = width;
    a.height = height;
    a.table = table;
    a.table.count = std::max(1u, std::min(table.count, 256u));
    a.depth = table_bits_for(a.table.count - 1);
    a.has_transparent = has_transparent && a.table.count > 1;
    a.interlace = interlace;
    const size_t pixels = std::max<size_t>(1, size_t{width} * height);
    a.previous = static_cast<uint32_t *>(malloc(pixels * 4));
    a.shown = static_cast<unsigned char *>(malloc(pixels));
    a.pending = static_cast<unsigned char *>(malloc(pixels));
    a.scratch[0] = static_cast<unsigned char *>(malloc(pixels));
    a.scratch[1] = static_cast<unsigned char *>(malloc(pixels));
    a.cache_bits = FIRST_CACHE_BITS;
    a.cache = static_cast<uint32_t *>(calloc(size_t{2} << FIRST_CACHE_BITS, 4));
    if (a.previous == nullptr || a.shown == nullptr || a.pending == nullptr ||
        a.scratch[0] == nullptr || a.scratch[1] == nullptr || a.cache == nullptr) {
        release_animation(a);
        return fail(a, STATUS_NO_MEMORY);
    }
    write_gif_screen(out, frame_layout(a, Rect{0, 0, width, height}));
    return STATUS_OK;
}

int add_animation_frame(AnimationWriter &a, const uint32_t *canvas, int64_t at_ms) {
    if (a.status != STATUS_OK) return a.status;
    const size_t pixels = size_t{a.width} * a.height;
    if (a.frames_written == 0 && !a.has_pending) { // the first frame: the whole playfield
        map_colours(a, canvas, pixels, a.shown);
        memcpy(a.previous, canvas, pixels * 4);
        memcpy(a.pending, a.shown, pixels);
        a.left = a.top = 0;
        a.w = a.width;
        a.h = a.height;
        a.has_pending = true;
        a.pending_transparent = false;
        a.pending_ms = at_ms;
        return STATUS_OK;
    }
    Rect changed;
    if (!changed_rect(canvas, a.previous, a.width, a.height, changed)) return STATUS_OK;
    unsigned char *entries = a.scratch[0];
    for (unsigned y = 0; y < changed.h; ++y) {
        const size_t at = size_t{changed.top + y} * a.width + changed.left;
        map_colours(a, canvas + at, changed.w, entries + size_t{y} * changed.w);
        memcpy(a.previous + at, canvas + at, size_t{changed.w} * 4);
    }
    Rect r;
    if (!differing_rect(a, entries, changed, r)) return STATUS_OK;
    const int64_t start = std::max(at_ms, a.pending_ms);
    const int status = write_pending(a, start, false);
    if (status != STATUS_OK) return fail(a, status);
    for (unsigned y = 0; y < r.h; ++y)
        memcpy(a.pending + size_t{y} * r.w,
               entries + size_t{r.top - changed.top + y} * changed.w + (r.left - changed.left),
               r.w);
    choose_frame_pixels(a, r);
    // What a decoder shows next is the new entries, whichever form they went in.
    for (unsigned y = 0; y < r.h; ++y) {
        unsigned char *shown = a.shown + size_t{r.top + y} * a.width + r.left;
        for (unsigned x = 0; x < r.w; ++x) {
            const unsigned char entry = a.pending[size_t{y} * r.w + x];
            if (entry != 0 || !a.pending_transparent) shown[x] = entry;
        }
    }
    a.left = r.left;
    a.top = r.top;
    a.w = r.w;
    a.h = r.h;
    a.has_pending = true;
    a.pending_ms = start;
    return STATUS_OK;
}

int finish_animation(AnimationWriter &a, int64_t end_ms) {
    int status = a.status;
    if (status == STATUS_OK && a.out != nullptr)
        status = write_pending(a, std::max(end_ms, a.pending_ms), true);
    if (status == STATUS_OK) {
        write_gif_trailer(a.out);
        if (ferror(a.out)) status = STATUS_WRITE_ERROR;
    }
    release_animation(a);
    return status;
}

void release_animation(AnimationWriter &a) {
    free(a.previous);
    free(a.shown);
    free(a.pending);
    free(a.scratch[0]);
    free(a.scratch[1]);
    free(a.cache);
    a.previous = nullptr;
    a.shown = a.pending = a.scratch[0] = a.scratch[1] = nullptr;
    a.cache = nullptr;
    a.estimate_table = LzwTable();
    std::vector<uint16_t>().swap(a.estimate_codes);
}
