#pragma once

#include <cstdio>

// Creates run_state.output_name for writing, unless it is the input itself.
// STATUS_OK with *out set, STATUS_SAME_FILE or STATUS_NO_MEMORY.
int open_output(FILE *input, FILE **out);

// Closes the output and returns the final status: a write that failed turns
// STATUS_OK into STATUS_WRITE_ERROR, and any failure removes the incomplete file.
int close_output(FILE *out, int status);
