#pragma once

// GIF image data with real LZW compression: growing code widths up to 12 bits, a table kept
// full until a planned clear, and a lookahead that may take a shorter match. Codes go out
// through the same sub-block writer as the uncompressed encoder's.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "encode/lzw_table.h"

// Everything the compressed encoder chooses, as data; one loop reads each field.
struct LzwChoices {
    int shorter_tries;  // shorter matches the lookahead weighs against the longest; 0: greedy
    int margin_growing; // pixels of reach a shorter match must gain while the table grows
    int margin_full;    // the same once the table is full
    // Where clears may fall: 0 clears when the table fills; otherwise candidates this many to a
    // table life (as a greedy pass finds the lives), every `min_spacing` pixels at the closest.
    int candidates_per_life;
    size_t min_spacing;
    int trial_quarter_lives; // a trial runs this many quarters of its own life past its fill
    size_t trial_cap;        // and never more pixels than this
    size_t window;           // pixels held at most before the oldest go out
    size_t probe;            // pixels a window's greedy probe weighs against plain codes
    int threads;             // trials on 1 or 2 threads; the output is the same
};

// The choices quondel uses.
extern const LzwChoices LZW_CHOICES;

// The smallest colour table (in bits, 1 to 8) that holds index `highest`.
int table_bits_for(unsigned highest);
// GIF's LZW minimum code size for a table of `table_bits`: at least 2.
inline int lzw_code_size(int table_bits) {
    return table_bits < 2 ? 2 : table_bits;
}

// Where to clear the table in `count` pixels, as positions strictly inside (0, count), in
// order: what `choices` ask for, the same on any number of threads.
// `tables` (two, started for `code_size`) are scratch; without them the search takes its own.
std::vector<size_t> plan_clears(const unsigned char *pixels, size_t count, int code_size,
                                const LzwChoices &choices, LzwTable *tables = nullptr);

// The codes for `count` pixels from a fresh table (`table`, started for the code size, is
// cleared first) with the lookahead `choices` ask for; the bits they take (clear and end
// codes not counted).
uint64_t parse_segment(const unsigned char *pixels, size_t count, const LzwChoices &choices,
                       LzwTable &table, std::vector<uint16_t> &codes);

// A compressed image's code stream: pixels gathered in a bounded window, planned and written.
struct LzwStream {
    unsigned char *window; // one byte per pixel
    size_t capacity, held;
    int code_size;
    int width;       // of the next code
    bool written;    // a segment went out: the next one starts with a clear code
    bool plain_open; // the last segment was plain codes, which plain codes may continue
    const LzwChoices *choices;
    LzwTable tables[2]; // one for each thread
};

// Takes the window (at most `pixels` bytes, fewer for short images); STATUS_OK or
// STATUS_NO_MEMORY. Starts the bit packing for `code_size`.
int lzw_begin(LzwStream &stream, int code_size, uint64_t pixels, const LzwChoices &choices);
// Pixels one byte each, or 4-bit pixels two to a byte, high nibble first.
void lzw_put_bytes(FILE *out, LzwStream &stream, const unsigned char *pixels, size_t count);
void lzw_put_nibbles(FILE *out, LzwStream &stream, const unsigned char *bytes, size_t count);
// Writes pixels up to ends.back() as segments from a fresh table each, a clear code between
// two, each compressed or plain codes, whichever is shorter.
void lzw_put_segments(FILE *out, LzwStream &stream, const unsigned char *pixels,
                      const std::vector<size_t> &ends);
// Writes what is held, the end code and the terminator, and releases the window.
void lzw_end(FILE *out, LzwStream &stream);
// Releases the window without writing (after a failure).
void lzw_release(LzwStream &stream);

// Pixels of `depth` bits (4-bit ones two to a byte) to the compressed stream when there is
// one, else as the uncompressed encoder's codes.
void put_pixels(FILE *out, LzwStream *lzw, int depth, const unsigned char *bytes, size_t count);
