#include "common/run_state.h"
#include "common/status.h"
#include "driver/driver.h"

#include <cstdio>

void show_usage(int argc, char **argv) {
    printf("usage: %s [-I] [-z] <filenames>", argc > 0 ? argv[0] : "quondel");
}

void report_status(const char *argument, int status) {
    const char *format;
    switch (status) {
    case STATUS_OK:
        return;
    case STATUS_NOT_CEL:
        format = "%s: not cel file (%d).\n";
        break;
    case STATUS_NO_MEMORY:
        format = "%s: not enough memory (%d).\n";
        break;
    case STATUS_SAME_FILE:
        format = "%s: output would overwrite the input (%d).\n";
        break;
    case STATUS_WRITE_ERROR:
        format = "%s: write error (%d).\n";
        break;
    case STATUS_READ_ERROR:
        format = "%s: read error (%d).\n";
        break;
    case STATUS_NOT_DOLL:
        format = "%s: not a doll configuration (%d).\n";
        break;
    case STATUS_NO_CEL_LINES:
        format = "%s: no cel lines (%d).\n";
        break;
    case STATUS_PLAYFIELD_SIZE:
        format = "%s: playfield larger than 16384 or empty (%d).\n";
        break;
    case STATUS_PALETTE_NOT_LISTED:
        format = "%s: %s uses an unlisted palette number (%d).\n";
        break;
    case STATUS_DOLL_FILE_MISSING:
        format = "%s: %s not found (%d).\n";
        break;
    case STATUS_NOT_DOLL_CEL:
        format = "%s: %s is not a cel (%d).\n";
        break;
    case STATUS_NOT_DOLL_PALETTE:
        format = "%s: %s is not a palette (%d).\n";
        break;
    default:
        format = "%s: error (%d).\n";
        break;
    }
    // The doll lines name the file inside the doll as well.
    if (status >= STATUS_PALETTE_NOT_LISTED && status <= STATUS_NOT_DOLL_PALETTE)
        fprintf(stderr, format, argument, run_state.doll_detail.c_str(), status);
    else
        fprintf(stderr, format, argument, status);
}
