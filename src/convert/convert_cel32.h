#pragma once

#include "convert/cel_header.h"

#include <cstdio>

// Writes the GIF of a 32-bit cel (KissKind::cel32) open in `input`, its header read into
// `file`: its own colour table (the run's palette is neither used nor changed), index 0
// transparent where alpha is below 128, the other pixels in their colours (exact when they fit
// 255 entries), at the cel's offset on a screen reaching its right and bottom edges. Only the
// rows the file holds go out, compressed as doll pictures are. A conversion status.
int convert_cel32(FILE *input, const KissFile &file);
