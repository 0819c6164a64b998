#pragma once

#include <cstdio>

// Converts the doll configuration open in `input` (named `input_name`, whose folder holds
// the palette and cel files it names) into one GIF of set 0 as a viewer first shows it,
// written to run_state.output_name. Leaves the run's palette alone. Returns a conversion
// status; on the ones about a file inside the doll, run_state.doll_detail names it.
int convert_doll(FILE *input, const char *input_name);
