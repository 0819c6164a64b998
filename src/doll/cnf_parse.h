#pragma once

#include "fkiss/program.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Far larger than any real doll configuration (the largest seen is 1.4 MB); a bigger file is
// not read at all.
constexpr size_t MAX_CNF_BYTES = size_t{64} << 20;
constexpr int64_t MAX_PLAYFIELD = 16384;
// Twenty times the most a real doll has: beyond them a file is refused, so neither the parse
// nor the drawing grows without bound.
constexpr size_t MAX_CEL_LINES = 100000;
constexpr size_t MAX_FKISS_ACTIONS = 500000;
// Set line entries kept per set; objects beyond them stay at (0, 0).
constexpr size_t MAX_OBJECTS = 65536;
constexpr int MAX_SETS = 10;
constexpr unsigned ALL_SETS = 0x3FF; // a cel line without ':' is in sets 0 to 9

struct CelLine {
    int64_t object;
    std::string file;
    int64_t palette;            // palette file number, 0 unless "*n"
    unsigned sets;              // bit n for set n
    int translucency;           // "%tN": 0 opaque to 255 invisible
    int64_t fix;                // "#obj.fix"; 0 when absent
    bool unmapped;              // "%u": hidden until the program maps it
    int64_t offset_x, offset_y; // "%offset[x,y]": where it lies within its object
};

// A cel line's membership of a group ("!name" or "!name :f1 f2").
struct GroupMember {
    uint32_t cel;
    uint32_t group;              // index into DollConfig::groups
    std::vector<int64_t> frames; // empty: a member of no particular frame
};

struct Position {
    int64_t x, y;
};

// One "$" line with its continuations.
struct SetLine {
    int64_t group;                   // palette group
    std::vector<Position> positions; // per object from 0; a missing one is (0, 0)
};

// Everything a picture of any set needs of a doll configuration.
struct DollConfig {
    int64_t width, height;
    std::vector<std::string> palettes; // numbered in the order of their lines
    std::vector<CelLine> cels;         // in the order of their lines; the first is on top
    std::vector<SetLine> sets;         // the sets the doll defines, in the order of their lines
    std::vector<std::string> groups;   // group names, lower case
    std::vector<GroupMember> members;
    FkissProgram program; // the ";@" lines
};

// Parses `size` bytes of CNF text, in time linear in the text. STATUS_OK, STATUS_NOT_DOLL for
// control bytes outside comments (the file is no text), or STATUS_DOLL_TOO_LARGE beyond
// MAX_CEL_LINES or MAX_FKISS_ACTIONS.
int parse_cnf(const unsigned char *text, size_t size, DollConfig &doll);

// The checks that need no other file: playfield size and cel lines.
int check_cnf(const DollConfig &doll);
