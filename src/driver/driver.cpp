#include "driver/driver.h"

#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "convert/pending_output.h"
#include "doll/convert_doll.h"
#include "driver/output_name.h"

#include <csignal>
#include <cstdio>
#include <initializer_list>

namespace {

// A run ended by a signal leaves no temporary file behind, and still ends by that signal.
void end_by_signal(int signal_number) {
    remove_pending_output();
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void remove_outputs_on_signals() {
    struct sigaction action = {};
    action.sa_handler = end_by_signal;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous;
        // A signal the caller chose to ignore stays ignored (nohup, for instance).
        if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        sigaction(signal_number, &action, nullptr);
    }
}

// True when the argument was converted or loaded as a palette.
bool convert_argument(const char *argument) {
    run_state.output_name = derive_output_name(argument);
    FILE *input = fopen(argument, "rb");
    if (input == nullptr) {
        fprintf(stderr, "%s not found.\n", argument);
        return false;
    }
    const bool doll = name_ends_with(argument, ".cnf");
    const int status = doll ? convert_doll(input, argument) : convert_cel(input, argument);
    report_status(argument, status);
    fclose(input);
    return status == STATUS_OK;
}

} // namespace

bool is_interlace_switch(const char *argument) {
    return argument[0] == '-' && (argument[1] == 'I' || argument[1] == 'i') && argument[2] == '\0';
}

bool is_compress_switch(const char *argument) {
    return argument[0] == '-' && (argument[1] == 'z' || argument[1] == 'Z') && argument[2] == '\0';
}

int run_quondel(int argc, char **argv) {
    if (argc < 2) {
        show_usage(argc, argv);
        return EXIT_USAGE;
    }
    remove_outputs_on_signals();
    run_state.interlace = 0;
    run_state.compress = 0;
    bool all_converted = true;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        if (is_interlace_switch(argv[i]))
            run_state.interlace = 1;
        else if (is_compress_switch(argv[i]))
            run_state.compress = 1;
        else if (!convert_argument(argv[i]))
            all_converted = false;
    }
    return all_converted ? EXIT_ALL_CONVERTED : EXIT_SOME_FAILED;
}
