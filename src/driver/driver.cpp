#include "driver/driver.h"

#include "archive/archive.h"
#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "doll/convert_doll.h"
#include "driver/output_name.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

namespace {

// An archive by its name, or by its first bytes when the name is not a KiSS file's (and the
// file can be read again from its start).
bool is_archive(FILE *input, const char *argument) {
    if (name_ends_with(argument, ".cel") || name_ends_with(argument, ".kcf")) return false;
    unsigned char head[8];
    if (regular_file_size(input) < 0) return looks_like_archive(head, 0, argument);
    const size_t got = fread(head, 1, sizeof head, input);
    return seek_to(input, 0) && looks_like_archive(head, got, argument);
}

// True when the argument was converted or loaded as a palette.
bool convert_argument(const char *argument, int chosen_set) {
    run_state.output_name = derive_output_name(argument);
    FILE *input = open_file(argument, "rb");
    if (input == nullptr) {
        fprintf(stderr, "%s not found.\n", argument);
        return false;
    }
    bool converted;
    if (name_ends_with(argument, ".cnf")) {
        converted = convert_doll_argument(input, argument, chosen_set);
    } else if (is_archive(input, argument)) {
        converted = convert_archive_argument(input, argument, chosen_set);
    } else {
        const int status = convert_cel(input, argument);
        report_status(argument, status);
        converted = status == STATUS_OK;
    }
    fclose(input);
    return converted;
}

bool is_set_switch(const char *argument) {
    return strcmp(argument, "-s") == 0;
}

} // namespace

int parse_set(const char *value) {
    if (strcmp(value, "all") == 0) return EVERY_SET;
    return value[0] >= '0' && value[0] <= '9' && value[1] == '\0' ? value[0] - '0' : -2;
}

bool is_interlace_switch(const char *argument) {
    return argument[0] == '-' && (argument[1] == 'I' || argument[1] == 'i') && argument[2] == '\0';
}

bool is_compress_switch(const char *argument) {
    return argument[0] == '-' && (argument[1] == 'z' || argument[1] == 'Z') && argument[2] == '\0';
}

int run_quondel(int argc, char **argv) {
    prepare_standard_streams();
    if (argc < 2) {
        show_usage(argc, argv);
        return EXIT_USAGE;
    }
    // Asked for anywhere, help and the version are all that is done; a set switch without a
    // set is a usage error, found before any file is touched.
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "--version") == 0) {
            if (argv[i][2] == 'h')
                show_help(argv[0]);
            else
                printf("quondel %s\n", QUONDEL_VERSION);
            return EXIT_ALL_CONVERTED;
        }
        if (!is_set_switch(argv[i])) continue;
        if (i + 1 >= argc || argv[i + 1] == nullptr || parse_set(argv[i + 1]) < EVERY_SET) {
            fprintf(stderr, "%s: -s takes a set from 0 to 9, or all\n", argv[0]);
            return EXIT_USAGE;
        }
        ++i;
    }
    remove_temporary_on_interrupt();
    run_state.interlace = 0;
    run_state.compress = 0;
    bool all_converted = true;
    int chosen_set = 0;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        if (is_interlace_switch(argv[i]))
            run_state.interlace = 1;
        else if (is_compress_switch(argv[i]))
            run_state.compress = 1;
        else if (is_set_switch(argv[i]))
            chosen_set = parse_set(argv[++i]);
        else if (!convert_argument(argv[i], chosen_set))
            all_converted = false;
    }
    return all_converted ? EXIT_ALL_CONVERTED : EXIT_SOME_FAILED;
}
