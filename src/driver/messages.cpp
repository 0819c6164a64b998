#include "common/status.h"
#include "driver/driver.h"

#include <cstdio>

void show_usage(int argc, char **argv) {
    printf("usage: %s [-I] <filenames>", argc > 0 ? argv[0] : "quondel");
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
    default:
        format = "%s: error (%d).\n";
        break;
    }
    fprintf(stderr, format, argument, status);
}
