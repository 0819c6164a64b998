#pragma once

#include <cstdio>

// Converts one input opened for binary reading: loads a palette file, or writes the
// GIF for a cel to run_state.output_name. Returns a conversion status; never closes input.
int convert_cel(FILE *input);
