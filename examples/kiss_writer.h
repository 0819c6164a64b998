#pragma once

// Builds KiSS files byte by byte: the one writer behind the examples, the tests, the fuzzer's
// seeds and the benchmark.
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// A 32-byte header and `body`. In a palette header the width and height words are the
// colours per group and the number of groups, and `depth` is the bits per colour.
Bytes kiss_file(unsigned char mark, int depth, unsigned width, unsigned height, unsigned x,
                unsigned y, const Bytes &body);
Bytes cel_file(int depth, unsigned width, unsigned height, const Bytes &pixels, unsigned x = 0,
               unsigned y = 0);
// A 32-bit cel: blue, green, red, alpha per pixel; marked 0x21, or 0x20 as some dolls do.
Bytes cel32_file(unsigned width, unsigned height, const Bytes &bgra, unsigned x = 0, unsigned y = 0,
                 unsigned char mark = 0x21);
// The original headerless form: width, height, then 4-bit rows.
Bytes old_cel_file(unsigned width, unsigned height, const Bytes &pixels);
// Cel rows from one byte per pixel: as they are at 8 bits; at 4 bits two pixels a byte, the
// left one in the high nibble, each row padded to a whole byte.
Bytes pack_rows(int depth, unsigned width, const Bytes &pixels);
// Packs red, green, blue triples of 4-bit values as 12-bit colours, two bytes each.
Bytes colours12(const Bytes &rgb4);

// A headered palette: `rgb` holds red, green, blue triples, 8-bit values at 24 bits per colour
// and 4-bit values at 12, group after group of `colours_per_group`.
Bytes palette_file(int bits, unsigned colours_per_group, const Bytes &rgb);

bool write_bytes(const std::string &path, const Bytes &bytes);
