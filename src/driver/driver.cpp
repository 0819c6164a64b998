#include "driver/driver.h"

#include "archive/archive.h"
#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "driver/output_name.h"
#include "driver/progress.h"
#include "driver/switches.h"
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

// An input that is there but cannot be opened says why; a missing one keeps its old line.
void report_unopened(const char *argument) {
    clear_progress();
    if (failure_is_missing())
        fprintf(stderr, "%s not found.\n", argument);
    else
        fprintf(stderr, "%s: cannot be read: %s.\n", argument, failure_reason().c_str());
}

// True when the argument was converted, listed or loaded as a palette.
bool convert_argument(const char *argument, const Switches &switches) {
    run_state.output_name = place_output(derive_output_name(argument), switches.output_dir);
    run_state.doll_detail.clear();
    run_state.output_failure.clear();
    run_state.output_written = false;
    if (is_folder(argument)) return convert_folder_argument(argument, switches);
    FILE *input = open_file(argument, "rb");
    if (input == nullptr) {
        report_unopened(argument);
        return false;
    }
    bool converted;
    if (name_ends_with(argument, ".cnf")) {
        converted = convert_doll_argument(input, argument, switches);
    } else if (is_archive(input, argument)) {
        converted = convert_archive_argument(input, argument, switches);
    } else if (switches.list) {
        converted = true; // a cel or a palette holds no doll to list
    } else {
        const int status = convert_cel(input, argument);
        report_status(argument, status);
        converted = status == STATUS_OK;
        if (converted && run_state.output_written) note_written(std::string("cel ") + argument);
    }
    fclose(input);
    return converted;
}

void print_help_or_version(const Switches &switches, const char *program) {
    if (switches.help)
        show_help(program);
    else
        printf("quondel %s\n", QUONDEL_VERSION);
}

// Every switch is checked before any file is touched: the usage errors, help, the version,
// and the switches after the last file, which change nothing. The files are counted.
int check_arguments(int argc, char **argv, Switches &found, int &files) {
    Switches probe = initial_switches();
    probe.quiet = true;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        if (probe.files_only) break;
        const int taken = read_switch(argc, argv, i, probe);
        if (probe.help || probe.version) {
            print_help_or_version(probe, argv[0]);
            return EXIT_ALL_CONVERTED;
        }
        if (taken > 1) ++i;
    }
    found = initial_switches();
    files = 0;
    int last_file = 0;
    for (int i = 1; i < argc && argv[i] != nullptr;) {
        const int taken = read_switch(argc, argv, i, found);
        if (taken < 0) {
            show_usage_error(argv[0]);
            return EXIT_USAGE;
        }
        if (taken == 0) {
            last_file = i;
            ++files;
        }
        i += taken > 0 ? taken : 1;
    }
    Switches after = found;
    for (int i = last_file + 1; i < argc && argv[i] != nullptr;) {
        const int taken = read_switch(argc, argv, i, after);
        if (applies_to_later_files(argv[i]))
            fprintf(stderr, "%s: %s comes after the last file and changes nothing\n", argv[0],
                    argv[i]);
        i += taken;
    }
    return -1;
}

} // namespace

int run_quondel(int argc, char **argv) {
    // Each call is a run of its own: the web page calls main again for every drop, and no
    // palette or written output of an earlier call may change what a later one does.
    run_state = RunState();
    prepare_standard_streams();
    if (argc < 2) {
        show_usage(argc, argv);
        return EXIT_USAGE;
    }
    Switches run_wide;
    int files;
    const int checked = check_arguments(argc, argv, run_wide, files);
    if (checked >= 0) return checked;
    remove_temporary_on_interrupt();
    Switches switches = initial_switches();
    switches.verbose = run_wide.verbose;
    switches.list = run_wide.list;
    run_state.verbose = switches.verbose;
    begin_progress(files);
    bool all_converted = true;
    for (int i = 1; i < argc && argv[i] != nullptr;) {
        const int taken = read_switch(argc, argv, i, switches);
        if (taken > 0) {
            run_state.interlace = switches.interlace;
            run_state.compress = switches.compress;
            run_state.animate_seconds = switches.animate_seconds;
            run_state.seed = switches.seed;
            run_state.output_dir = switches.output_dir;
            i += taken;
            continue;
        }
        if (!convert_argument(argv[i], switches)) all_converted = false;
        argument_done();
        ++i;
    }
    end_progress();
    return all_converted ? EXIT_ALL_CONVERTED : EXIT_SOME_FAILED;
}
