#pragma once

#include <cstdint>
#include <string>

// The switches as they stand at one point of the argument walk. Most apply to the file
// arguments after them; "-v" and "-l" apply to the whole run, wherever they are.
struct Switches {
    int interlace;       // "-I"
    int compress;        // "-z"
    int chosen_set;      // "-s": 0 to 9, or EVERY_SET
    int animate_seconds; // "-a": 0 for stills
    uint32_t seed;       // "--seed"
    std::string output_dir;
    int verbose;     // "-v"
    int list;        // "-l"
    bool files_only; // after "--", every argument is a file
    bool help, version;
    bool quiet; // a usage error has no line (the first look for --help)
};

// The sets a doll argument is drawn in: one from 0 to 9, or every set the doll defines.
constexpr int EVERY_SET = -1;
constexpr int DEFAULT_ANIMATION_SECONDS = 30;
constexpr int MAX_ANIMATION_SECONDS = 600;

// A "-s" value: 0 to 9, EVERY_SET for "all", or -2 for anything else.
int parse_set(const char *value);
bool is_interlace_switch(const char *argument);
bool is_compress_switch(const char *argument);

Switches initial_switches();
// Reads argv[i] as a switch into `switches`: the number of arguments it takes (1, or 2 with
// its value), 0 when it is a file argument, or -1 after a usage error's line on standard
// error.
int read_switch(int argc, char **argv, int i, Switches &switches);
// Whether a switch of that many arguments changes only the files after it.
bool applies_to_later_files(const char *argument);
