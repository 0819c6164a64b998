#pragma once

#include "doll/cnf_parse.h"
#include "doll/doll_files.h"

#include <cstdio>
#include <vector>

// Draws set `set` of a parsed doll, whose palette and cel files `files` finds, as a viewer
// first shows it, and writes its GIF to run_state.output_name (`input`, the configuration, is
// never overwritten). Returns a conversion status; on the ones about a file inside the doll,
// run_state.doll_detail names it.
int write_doll_picture(const DollConfig &doll, const DollFiles &files, int set, FILE *input);

// Reads a configuration's text (at most MAX_CNF_BYTES; one more byte tells a file too large).
int read_cnf(FILE *input, std::vector<unsigned char> &text);
// Parses and checks it, releasing the text. A conversion status.
int read_doll_config(std::vector<unsigned char> &text, DollConfig &doll);

// Converts the doll configuration open in `input` (named `input_name`, whose folder holds
// the palette and cel files it names) into one GIF of set `set`. Leaves the run's palette
// alone.
int convert_doll(FILE *input, const char *input_name, int set);
