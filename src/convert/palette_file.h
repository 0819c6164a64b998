#pragma once

#include <cstdio>

// Loads the colours after a palette file's header into the run's palette.
int load_palette(FILE *input);
