#include "driver/driver.h"

#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "doll/convert_doll.h"
#include "driver/output_name.h"
#include "platform/platform.h"

#include <cstdio>

namespace {

// True when the argument was converted or loaded as a palette.
bool convert_argument(const char *argument) {
    run_state.output_name = derive_output_name(argument);
    FILE *input = open_file(argument, "rb");
    if (input == nullptr) {
        fprintf(stderr, "%s not found.\n", argument);
        return false;
    }
    const bool doll = name_ends_with(argument, ".cnf");
    const int status = doll ? convert_doll(input, argument, 0) : convert_cel(input, argument);
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
    prepare_standard_streams();
    if (argc < 2) {
        show_usage(argc, argv);
        return EXIT_USAGE;
    }
    remove_temporary_on_interrupt();
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
