#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Colours for the cels that follow a KiSS palette file: red, green, blue per entry.
struct Palette {
    unsigned char rgb[256 * 3];
};

// What one run keeps from file argument to file argument.
struct RunState {
    std::string output_name;    // GIF name derived from the current file argument
    Palette palette;            // all black until a palette file is read
    signed char pixel_depth;    // 4 or 8: bits per pixel of the cel being converted
    int interlace;              // 1 once "-I" has been seen
    int compress;               // 1 once "-z" has been seen
    std::string doll_detail;    // the file inside a doll that a failure names
    int animate_seconds;        // 0: doll outputs are stills; else "-a N": seconds of animation
    uint32_t seed;              // "--seed N": the start of the doll programs' random numbers
    std::string output_dir;     // "-o DIR": where outputs go; empty: beside their inputs
    int verbose;                // 1 once "-v" has been seen: a line per written file
    std::string output_failure; // why the output could not be created
    std::vector<std::string> missing_cels; // cel files a doll lacks, drawn without them
    std::set<std::pair<uint64_t, uint64_t>> outputs_written; // where this run's outputs lie
    bool output_written;   // the current argument's output is complete (a palette writes none)
    int program_stopped;   // a doll's program met a bound: PROGRAM_CAPPED or PROGRAM_EXHAUSTED
    unsigned gifs_written; // outputs completed in this run
    std::string first_gif; // the first of them, as named
};

// How far a doll's program ran before a bound stopped it.
constexpr int PROGRAM_CAPPED = 1;    // one moment ran too many actions and was cut short
constexpr int PROGRAM_EXHAUSTED = 2; // the whole run did: nothing ran after that

extern RunState run_state;
