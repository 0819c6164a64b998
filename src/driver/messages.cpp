#include "common/run_state.h"
#include "common/status.h"
#include "driver/driver.h"
#include "driver/progress.h"

#include <cstdio>

namespace {

constexpr const char *USAGE = "usage: %s [-I] [-z] [-s N|all] [-a [N]] [--seed N] [-o DIR] [-v] "
                              "[-l] [-h] [--version] [--] <filenames>";

} // namespace

void show_usage(int argc, char **argv) {
    printf(USAGE, argc > 0 ? argv[0] : "quondel");
}

void show_usage_error(const char *program) {
    fprintf(stderr, USAGE, program);
    fputc('\n', stderr);
}

void show_help(const char *program) {
    printf(USAGE, program);
    printf("\n"
           "Converts KiSS cels and dolls to GIF89a files, each written beside its input.\n"
           "Arguments are taken from left to right; a switch applies to the files after it\n"
           "(-v and -l to the whole run).\n"
           "\n"
           "Inputs:\n"
           "  NAME.cel          a KiSS cel (4, 8 or 32 bits, headered or not): NAME.gif,\n"
           "                    in the colours of the last palette before it (32 bits: its own)\n"
           "  NAME.kcf          a KiSS palette: its colours are used for the cels after it\n"
           "  NAME.cnf          a doll configuration: NAME.gif, the doll as a viewer first\n"
           "                    shows it, its cels and palettes found in its folder\n"
           "  NAME.lzh .lha .zip  an archive of dolls: NAME.gif for its one configuration,\n"
           "                    or NAME-CNF.gif for each of several; nothing is unpacked\n"
           "  FOLDER            read like an archive: every configuration directly in it\n"
           "  image cels        cel lines of a doll may name .gif, .png, .jpg and .bmp files\n"
           "\n"
           "Switches:\n"
           "  -I, -i            write the outputs interlaced\n"
           "  -z, -Z            compress the outputs (real LZW, the smallest colour table);\n"
           "                    doll pictures are always compressed\n"
           "  -s N              draw set N (0 to 9) of the dolls: NAME-N.gif (set 0: NAME.gif)\n"
           "  -s all            draw every set each doll defines\n"
           "  -a [N], --animate[=N]\n"
           "                    dolls become animated GIFs of N seconds (1 to 600, default 30)\n"
           "                    of their own animation, or of its loop\n"
           "  --seed N          start the dolls' random numbers at N (default 1)\n"
           "  -o DIR, --output-dir=DIR\n"
           "                    write the outputs into the existing folder DIR\n"
           "  -v, --verbose     a line on standard error for each written file\n"
           "  -l, --list        list each doll's configurations and sets; write nothing\n"
           "  -h, --help        print this and exit\n"
           "  --version         print the version and exit\n"
           "  --                the arguments after it are files, even those starting with -\n");
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
    case STATUS_OUTPUT_TAKEN:
        format = "%s: %s was written earlier in this run; not written again (%d).\n";
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
    case STATUS_DOLL_TOO_LARGE:
        format = "%s: too many cel lines or start-up actions (%d).\n";
        break;
    case STATUS_ARCHIVE_DAMAGED:
        format = "%s: damaged archive (%d).\n";
        break;
    case STATUS_UNKNOWN_METHOD:
        format = "%s: %s is packed in an unknown method (%d).\n";
        break;
    case STATUS_ENTRY_DAMAGED:
        format = "%s: %s is damaged in the archive (%d).\n";
        break;
    case STATUS_UNSAFE_NAME:
        format = "%s: %s is an unsafe name in the archive (%d).\n";
        break;
    case STATUS_TOO_LARGE:
        format = "%s: %s is too large (%d).\n";
        break;
    case STATUS_NO_CNF_INSIDE:
        format = "%s: no doll configuration inside (%d).\n";
        break;
    case STATUS_NO_SUCH_SET:
        format = "%s: no set %s (%d).\n";
        break;
    case STATUS_NO_ARCHIVE_SUPPORT:
        format = "%s: this quondel was built without archive support (%d).\n";
        break;
    case STATUS_NO_IMAGE_CEL_SUPPORT:
        format = "%s: %s is an image cel, which this quondel was built without (%d).\n";
        break;
    default:
        format = "%s: error (%d).\n";
        break;
    }
    clear_progress();
    const char *output = run_state.output_name.c_str(), *detail = run_state.doll_detail.c_str();
    // An output that cannot be made, and a doll's own file it would overwrite, are named with
    // the system's reason; so is a file inside a doll that cannot be read.
    if (status == STATUS_NO_MEMORY && !run_state.output_failure.empty()) {
        fprintf(stderr, "%s: cannot write %s: %s (%d).\n", argument, output,
                run_state.output_failure.c_str(), status);
        return;
    }
    if (status == STATUS_SAME_FILE && *detail != '\0') {
        fprintf(stderr, "%s: %s would overwrite %s, which the doll reads (%d).\n", argument, output,
                detail, status);
        return;
    }
    if (status == STATUS_READ_ERROR && *detail != '\0') {
        fprintf(stderr, "%s: %s: read error (%d).\n", argument, detail, status);
        return;
    }
    if (status == STATUS_OUTPUT_TAKEN) {
        fprintf(stderr, format, argument, output, status);
        return;
    }
    // The doll lines name the file inside the doll as well.
    const bool detailed =
        (status >= STATUS_PALETTE_NOT_LISTED && status <= STATUS_NOT_DOLL_PALETTE) ||
        (status >= STATUS_UNKNOWN_METHOD && status <= STATUS_TOO_LARGE) ||
        status == STATUS_NO_SUCH_SET || status == STATUS_NO_IMAGE_CEL_SUPPORT;
    if (detailed)
        fprintf(stderr, format, argument, run_state.doll_detail.c_str(), status);
    else
        fprintf(stderr, format, argument, status);
}
