#include "driver/driver.h"

#include "common/run_state.h"
#include "convert/cel_header.h"
#include "convert/convert_cel.h"
#include "doll/convert_doll.h"
#include "driver/output_name.h"

#include <cstdio>

namespace {

void convert_argument(const char *argument) {
    run_state.output_name = derive_output_name(argument);
    FILE *input = fopen(argument, "rb");
    if (input == nullptr) {
        fprintf(stderr, "%s not found.\n", argument);
        return;
    }
    const bool doll = name_ends_with(argument, ".cnf");
    report_status(argument, doll ? convert_doll(input, argument) : convert_cel(input, argument));
    fclose(input);
}

} // namespace

bool is_interlace_switch(const char *argument) {
    return argument[0] == '-' && (argument[1] == 'I' || argument[1] == 'i') && argument[2] == '\0';
}

int run_quondel(int argc, char **argv) {
    if (argc < 2) {
        show_usage(argc, argv);
        return 1;
    }
    run_state.interlace = 0;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        if (is_interlace_switch(argv[i]))
            run_state.interlace = 1;
        else
            convert_argument(argv[i]);
    }
    return 0;
}
