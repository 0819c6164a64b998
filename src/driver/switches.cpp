#include "driver/switches.h"

#include "platform/platform.h"

#include <cstdio>
#include <cstring>

namespace {

// A whole number from `low` to `high`, in decimal digits only; -1 for anything else.
int64_t read_whole_number(const char *text, int64_t low, int64_t high) {
    if (text == nullptr || *text == '\0') return -1;
    int64_t value = 0;
    for (const char *at = text; *at != '\0'; ++at) {
        if (*at < '0' || *at > '9') return -1;
        value = value * 10 + (*at - '0');
        if (value > high) return -1;
    }
    return value < low ? -1 : value;
}

bool is_digits(const char *text) {
    return text != nullptr && read_whole_number(text, 0, INT64_MAX / 10) >= 0;
}

int usage_error(const Switches &switches, const char *program, const char *format,
                const char *argument) {
    if (switches.quiet) return -1;
    fprintf(stderr, "%s: ", program);
    fprintf(stderr, format, argument);
    fputc('\n', stderr);
    return -1;
}

// "--name=value" gives value; "--name" takes the next argument.
const char *long_value(const char *argument, const char *name, int argc, char **argv, int i,
                       int &taken) {
    const size_t length = strlen(name);
    if (strncmp(argument, name, length) != 0) return nullptr;
    if (argument[length] == '=') {
        taken = 1;
        return argument + length + 1;
    }
    if (argument[length] != '\0') return nullptr;
    taken = 2;
    return i + 1 < argc ? argv[i + 1] : "";
}

int read_output_dir(const char *program, const char *value, int taken, Switches &switches) {
    if (value == nullptr || *value == '\0')
        return usage_error(switches, program, "-o takes a folder that exists%s", "");
    if (!is_folder(value)) return usage_error(switches, program, "-o %s: no such folder", value);
    switches.output_dir = value;
    return taken;
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

Switches initial_switches() {
    Switches switches{};
    switches.seed = 1;
    return switches;
}

bool applies_to_later_files(const char *argument) {
    return strcmp(argument, "-v") != 0 && strcmp(argument, "--verbose") != 0 &&
           strcmp(argument, "-l") != 0 && strcmp(argument, "--list") != 0 &&
           strcmp(argument, "--") != 0;
}

int read_switch(int argc, char **argv, int i, Switches &switches) {
    const char *program = argv[0], *argument = argv[i];
    if (switches.files_only || argument[0] != '-' || argument[1] == '\0') return 0;
    if (strcmp(argument, "--") == 0) {
        switches.files_only = true;
        return 1;
    }
    const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
    if (is_interlace_switch(argument)) {
        switches.interlace = 1;
        return 1;
    }
    if (is_compress_switch(argument)) {
        switches.compress = 1;
        return 1;
    }
    if (strcmp(argument, "-v") == 0 || strcmp(argument, "--verbose") == 0) {
        switches.verbose = 1;
        return 1;
    }
    if (strcmp(argument, "-l") == 0 || strcmp(argument, "--list") == 0) {
        switches.list = 1;
        return 1;
    }
    if (strcmp(argument, "-h") == 0 || strcmp(argument, "--help") == 0) {
        switches.help = true;
        return 1;
    }
    if (strcmp(argument, "--version") == 0) {
        switches.version = true;
        return 1;
    }
    if (strcmp(argument, "-s") == 0) {
        const int set = next == nullptr ? -2 : parse_set(next);
        if (set < EVERY_SET)
            return usage_error(switches, program, "-s takes a set from 0 to 9, or all%s", "");
        switches.chosen_set = set;
        return 2;
    }
    // "-a" takes a number of seconds when one follows; a file named by digits is "./N".
    if (strcmp(argument, "-a") == 0 || strncmp(argument, "--animate", 9) == 0) {
        const bool short_form = argument[1] == 'a';
        if (!short_form && argument[9] != '\0' && argument[9] != '=')
            return usage_error(switches, program, "unknown switch %s", argument);
        const char *value = short_form ? (is_digits(next) ? next : nullptr)
                                       : (argument[9] == '=' ? argument + 10 : nullptr);
        if (value == nullptr) {
            switches.animate_seconds = DEFAULT_ANIMATION_SECONDS;
            return 1;
        }
        const int64_t seconds = read_whole_number(value, 1, MAX_ANIMATION_SECONDS);
        if (seconds < 0)
            return usage_error(switches, program, "-a takes seconds from 1 to 600%s", "");
        switches.animate_seconds = static_cast<int>(seconds);
        return short_form ? 2 : 1;
    }
    int taken = 0;
    if (const char *value = long_value(argument, "--seed", argc, argv, i, taken)) {
        const int64_t seed = read_whole_number(value, 0, UINT32_MAX);
        if (seed < 0)
            return usage_error(switches, program, "--seed takes a number from 0 to 4294967295%s",
                               "");
        switches.seed = static_cast<uint32_t>(seed);
        return taken;
    }
    if (strcmp(argument, "-o") == 0) return read_output_dir(program, next, 2, switches);
    if (const char *value = long_value(argument, "--output-dir", argc, argv, i, taken))
        return read_output_dir(program, value, taken, switches);
    return usage_error(switches, program, "unknown switch %s", argument);
}
