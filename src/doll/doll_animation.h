#pragma once

#include "doll/cnf_parse.h"
#include "doll/doll_files.h"
#include "fkiss/state.h"

#include <cstdint>
#include <cstdio>

// Pictures are taken on this grid: the shortest delay every browser honours.
constexpr int64_t FRAME_GRID_MS = 20;

// The stretch of a doll's life an animation holds.
struct AnimationSpan {
    int64_t start, end; // ms; end == start: a still
    bool loops;         // the state at `end` is the state at `start`
};

// Runs the doll's program for at most `limit_ms`, hashing the whole state at each grid time
// where something happened, and confirming a match by running again to the earlier time. A
// doll that used randomness, or whose alarms run out, claims no loop: the span is then the
// first `limit_ms`. No alarm after start-up: a still.
AnimationSpan find_animation_span(const DollConfig &doll, const CelShapes &shapes, int set,
                                  uint32_t seed, int64_t limit_ms);

// Writes set `set` of the doll as an animated GIF of run_state.animate_seconds to
// run_state.output_name: the colours of every frame first, then the frames.
int write_doll_animation(const DollConfig &doll, const DollFiles &files, int set, FILE *input);
