#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdio>
#include <set>
#include <string>

// Large enough that a big cel goes out in few system calls.
constexpr size_t OUTPUT_BUFFER_SIZE = 1 << 16;

// Where an output is being written: a temporary file beside the file it will replace, or
// the named file itself when that is not a regular file (a device or a FIFO).
using OutputFile = ReplacementFile;

// Creates the output for run_state.output_name, writing through `buffer`
// (OUTPUT_BUFFER_SIZE bytes that must outlive the stream), unless it is the input itself
// (`input` may be null), one of the other files the conversion read (`also_read`, may be
// null: run_state.doll_detail then names it), or an output this run wrote before.
// STATUS_OK with `output` set, STATUS_SAME_FILE, STATUS_OUTPUT_TAKEN or STATUS_NO_MEMORY
// (run_state.output_failure then says why).
int open_output(FILE *input, char *buffer, OutputFile &output,
                const std::set<std::string> *also_read = nullptr);

// Closes the output and returns the final status: a write that failed turns STATUS_OK
// into STATUS_WRITE_ERROR. Only a complete output takes the place of the named file;
// after a failure the temporary file is removed and the named file is as it was.
int close_output(OutputFile &output, int status);
