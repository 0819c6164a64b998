#pragma once

#include <cstdio>

#include <cstddef>

// Large enough that a big cel goes out in few system calls.
constexpr size_t OUTPUT_BUFFER_SIZE = 1 << 16;

// Creates run_state.output_name for writing through `buffer` (OUTPUT_BUFFER_SIZE bytes that
// must outlive the stream), unless it is the input itself.
// STATUS_OK with *out set, STATUS_SAME_FILE or STATUS_NO_MEMORY.
int open_output(FILE *input, char *buffer, FILE **out);

// Closes the output and returns the final status: a write that failed turns
// STATUS_OK into STATUS_WRITE_ERROR, and any failure removes the incomplete file.
int close_output(FILE *out, int status);
