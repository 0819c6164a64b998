#include "convert/palette_file.h"

#include "common/run_state.h"
#include "common/status.h"

#include <cstring>

int load_palette(FILE *input) {
    unsigned char colours[sizeof run_state.palette.rgb];
    const size_t got = fread(colours, 1, sizeof colours, input);
    // A half-read palette would silently recolour every cel after it.
    if (ferror(input)) return STATUS_READ_ERROR;
    // A short palette changes only the entries it holds.
    std::memcpy(run_state.palette.rgb, colours, got);
    return STATUS_OK;
}
