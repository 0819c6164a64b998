#pragma once

#include <string>

// What a run tells as it goes: with "-v" a line per written file; on a terminal, when the
// run lasts more than about a second, one line counting the pictures, rewritten in place
// and gone at the end. Any other line first clears it.
void begin_progress(int expected_pictures);
// A doll argument turned out to hold `pictures` pictures (more for each configuration)
// rather than the one counted; it then tells each one done.
void expect_pictures(int pictures);
void picture_done();
// An argument is done: one picture, unless it counted its own.
void argument_done();
// run_state.output_name has just been written; `what` says what it holds and from where.
void note_written(const std::string &what);
void clear_progress();
void end_progress();
// How many files this run has written.
int pictures_written();
