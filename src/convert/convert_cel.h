#pragma once

#include <cstdio>

// Converts one input opened for binary reading: loads a palette file, or writes the
// GIF for a cel to run_state.output_name. The name tells old-style palettes, which have
// no magic, from other files. Returns a conversion status; never closes input.
int convert_cel(FILE *input, const char *input_name);
