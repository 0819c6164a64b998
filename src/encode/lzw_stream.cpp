// A compressed image's code stream: pixels gather in a bounded window; each full window is
// planned, and its segments go out compressed, or as plain codes where those are shorter.
#include "common/status.h"
#include "encode/encoder.h"
#include "encode/lzw.h"
#include "encode/lzw_table.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

// Measured on the doll-like corpus (make_examples --corpus) against gifsicle -O3: see README.
const LzwChoices LZW_CHOICES = {
    4,       // shorter_tries
    8,       // margin_growing
    1,       // margin_full
    4,       // candidates_per_life
    2048,    // min_spacing
    2,       // trial_quarter_lives
    1 << 20, // trial_cap
    1 << 22, // window
    1 << 15, // probe
#ifdef QUONDEL_ONE_THREAD
    1, // threads: a build without them would abort at the second
#else
    2, // threads
#endif
};

int table_bits_for(unsigned highest) {
    int bits = 1;
    while (bits < 8 && highest >> bits != 0)
        ++bits;
    return bits;
}

namespace {

// Plain codes for `count` pixels from a fresh start: one code a pixel, a clear code whenever
// the next code would widen.
uint64_t plain_bits(size_t count, int code_size) {
    const uint64_t between = (uint64_t{1} << code_size) - 2;
    return (count + count / between) * static_cast<uint64_t>(code_size + 1);
}

void put_plain(FILE *out, LzwStream &s, const unsigned char *pixels, size_t count) {
    if (s.code_size == 8) { // the uncompressed encoder's own runs
        put_byte_pixels(out, pixels, count);
    } else {
        for (size_t i = 0; i < count; ++i)
            put_code(out, pixels[i], s.code_size + 1);
    }
    s.width = s.code_size + 1;
}

// A clear code, when anything came before; plain codes after plain codes need none, as
// they add nothing to the table a decoder would have to forget.
void start_segment(FILE *out, LzwStream &s, bool plain) {
    if (s.written && !(plain && s.plain_open)) {
        put_bits(out, 1u << s.code_size, s.width);
        encoder_state.codes_since_clear = 0;
    }
    s.written = true;
    s.plain_open = plain;
}

// One segment from a fresh table, compressed or, where that is no shorter, plain.
void put_segment(FILE *out, LzwStream &s, const unsigned char *pixels, size_t count,
                 const std::vector<uint16_t> &codes, uint64_t bits) {
    const bool plain = bits >= plain_bits(count, s.code_size);
    start_segment(out, s, plain);
    if (plain) return put_plain(out, s, pixels, count);
    CodeCount counted = first_count(s.code_size);
    for (const uint16_t code : codes) {
        put_bits(out, code, counted.width);
        count_code(counted);
    }
    s.width = counted.width;
}

// Whether the greedy codes for the window's first pixels are no shorter than plain ones:
// then the whole window goes out plain, at little more than the plain path's cost.
bool plain_pays(LzwStream &s, size_t count) {
    const size_t probe = std::min(count, s.choices->probe);
    LzwChoices greedy = *s.choices;
    greedy.shorter_tries = 0;
    std::vector<uint16_t> codes;
    return parse_segment(s.window, probe, greedy, s.tables[0], codes) >=
           plain_bits(probe, s.code_size);
}

// Writes the segments the window's plan holds; all of them at the image's end, else all but
// the last, whose end the window cut (or the whole window when it is one segment).
void put_window(FILE *out, LzwStream &s, bool last) {
    const size_t count = s.held;
    if (count == 0) return;
    if (plain_pays(s, count)) {
        start_segment(out, s, true);
        put_plain(out, s, s.window, count);
        s.held = 0;
        return;
    }
    std::vector<size_t> ends = plan_clears(s.window, count, s.code_size, *s.choices, s.tables);
    if (last || ends.empty()) ends.push_back(count);
    lzw_put_segments(out, s, s.window, ends);
    const size_t begin = ends.back();
    s.held = count - begin;
    memmove(s.window, s.window + begin, s.held);
}

} // namespace

void lzw_put_segments(FILE *out, LzwStream &s, const unsigned char *pixels,
                      const std::vector<size_t> &ends) {
    // The segments are parsed on two threads (each its own table), then written in order.
    std::vector<std::vector<uint16_t>> codes(ends.size());
    std::vector<uint64_t> bits(ends.size());
    const size_t threads = s.choices->threads > 1 && ends.size() > 1 ? 2 : 1;
    auto share = [&](size_t first) {
        for (size_t k = first; k < ends.size(); k += threads) {
            const size_t begin = k == 0 ? 0 : ends[k - 1];
            bits[k] = parse_segment(pixels + begin, ends[k] - begin, *s.choices, s.tables[first],
                                    codes[k]);
        }
    };
    if (threads == 1) {
        share(0);
    } else {
        std::thread other(share, 1);
        share(0);
        other.join();
    }
    for (size_t k = 0, begin = 0; k < ends.size(); begin = ends[k++])
        put_segment(out, s, pixels + begin, ends[k] - begin, codes[k], bits[k]);
}

int lzw_begin(LzwStream &s, int code_size, uint64_t pixels, const LzwChoices &choices) {
    s.capacity = static_cast<size_t>(std::min<uint64_t>(pixels, choices.window));
    s.window = static_cast<unsigned char *>(malloc(std::max<size_t>(s.capacity, 1)));
    if (s.window == nullptr) return STATUS_NO_MEMORY;
    s.held = 0;
    s.code_size = code_size;
    s.width = code_size + 1;
    s.written = false;
    s.plain_open = false;
    s.choices = &choices;
    start_table(s.tables[0], code_size, s.capacity);
    start_table(s.tables[1], code_size, s.capacity);
    start_image_data(code_size);
    return STATUS_OK;
}

void lzw_put_bytes(FILE *out, LzwStream &s, const unsigned char *pixels, size_t count) {
    while (count > 0) {
        if (s.held == s.capacity) put_window(out, s, false);
        const size_t take = std::min(count, s.capacity - s.held);
        memcpy(s.window + s.held, pixels, take);
        s.held += take;
        pixels += take;
        count -= take;
    }
}

void lzw_put_nibbles(FILE *out, LzwStream &s, const unsigned char *bytes, size_t count) {
    unsigned char pixels[4096];
    for (size_t done = 0; done < count;) {
        const size_t take = std::min(count - done, sizeof pixels);
        for (size_t i = 0; i < take; ++i) {
            const size_t at = done + i;
            pixels[i] = (bytes[at / 2] >> ((~at & 1) * 4)) & 15;
        }
        lzw_put_bytes(out, s, pixels, take);
        done += take;
    }
}

void lzw_end(FILE *out, LzwStream &s) {
    put_window(out, s, true);
    finish_image_data(out, (1 << s.code_size) + 1, s.width);
    lzw_release(s);
}

void put_pixels(FILE *out, LzwStream *lzw, int depth, const unsigned char *bytes, size_t count) {
    if (lzw != nullptr && depth == 8)
        lzw_put_bytes(out, *lzw, bytes, count);
    else if (lzw != nullptr)
        lzw_put_nibbles(out, *lzw, bytes, count);
    else if (depth == 8)
        put_byte_pixels(out, bytes, count);
    else
        put_nibble_pixels(out, bytes, count);
}

void lzw_release(LzwStream &s) {
    free(s.window);
    s.window = nullptr;
    for (LzwTable &table : s.tables)
        table = LzwTable();
}
