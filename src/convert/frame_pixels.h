#pragma once

#include "encode/lzw_table.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Ways to write an animation frame's pixels where some are unchanged from the frame before and
// so may be either their own entry or the transparent entry 0.

// The LZW code size for pixels: the smallest that holds the highest entry among them.
int frame_code_size(const unsigned char *pixels, size_t count);

// About the bits `count` pixels take through the compressing encoder, at a fraction of its
// time: enough to compare ways of writing one frame. `table` is scratch, restarted when the
// code size needs.
uint64_t estimate_frame_bits(const unsigned char *pixels, size_t count, LzwTable &table,
                             std::vector<uint16_t> &codes);

// Makes a stretch of unchanged pixels (0 in `hidden`; elsewhere `hidden` equals `entries`)
// transparent where it holds more than one colour, into `out`: a one-colour stretch kept whole
// may join the run of that colour beside it, while a stretch of many colours becomes one run.
void hide_mixed_stretches(const unsigned char *entries, const unsigned char *hidden, size_t count,
                          unsigned char *out);
