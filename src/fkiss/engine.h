#pragma once

// What the parts of the engine share; not for the rest of the program.
#include "fkiss/state.h"

// Runs event blocks as an event started by the running one (at most MAX_EVENT_DEPTH deep).
void run_blocks(FkissState &state, const CodeRange *blocks, size_t count);

// Counts an action against the bounds; false when the instant has stopped.
bool count_action(FkissState &state);
// Counts work worth `actions` actions (collision checks) against the same bounds.
bool charge_actions(FkissState &state, uint64_t actions);

// Arms alarm `alarm` `delay` ms from now; a delay of 0 or less cancels it.
void arm_alarm(FkissState &state, uint32_t alarm, int64_t delay);

// Moves an object of the set shown, kept on the playfield unless `unconstrained`, then runs
// the collision events the move causes.
void move_object(FkissState &state, int64_t object, int64_t x, int64_t y, bool unconstrained);

// The box of an object's cels in the set shown (all of them, or the mapped ones), from its
// position; false when it has none.
bool object_box(const FkissState &state, int64_t object, bool mapped_only, int64_t &left,
                int64_t &top, int64_t &right, int64_t &bottom);

// SplitMix64: a uniform number from `low` to `high`, both included.
int64_t random_between(FkissState &state, int64_t low, int64_t high);
