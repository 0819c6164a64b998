#pragma once

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
constexpr size_t MAX_STARTUP_ACTIONS = 1000000;
// Set line entries kept per set; objects beyond them stay at (0, 0).
constexpr size_t MAX_OBJECTS = 65536;
constexpr int MAX_SETS = 10;
constexpr unsigned ALL_SETS = 0x3FF; // a cel line without ':' is in sets 0 to 9

struct CelLine {
    int64_t object;
    std::string file;
    int64_t palette;  // palette file number, 0 unless "*n"
    unsigned sets;    // bit n for set n
    int translucency; // "%tN": 0 opaque to 255 invisible
};

struct Position {
    int64_t x, y;
};

// One "$" line with its continuations.
struct SetLine {
    int64_t group;                   // palette group
    std::vector<Position> positions; // per object from 0; a missing one is (0, 0)
};

enum class ActionKind { map, unmap, altmap, move, moveto, transparent };

// One start-up FKiSS action: on the cels of a file by name, or of an object (#n).
struct Action {
    ActionKind kind;
    int64_t object;   // -1 when `file` names the cels
    std::string file; // lower case
    int64_t x, y;     // move's offset, moveto's place; transparent's change in x
};

// The events run before the first view, in this order: initialize(), begin(), then set(N).
constexpr int EVENT_INITIALIZE = 0;
constexpr int EVENT_BEGIN = 1;
constexpr int EVENT_SET_0 = 2; // set(N) is EVENT_SET_0 + N
constexpr int STARTUP_EVENTS = EVENT_SET_0 + MAX_SETS;

// Everything a picture of any set needs of a doll configuration.
struct DollConfig {
    int64_t width, height;
    std::vector<std::string> palettes; // numbered in the order of their lines
    std::vector<CelLine> cels;         // in the order of their lines; the first is on top
    std::vector<SetLine> sets;         // the sets the doll defines, in the order of their lines
    std::vector<Action> startup[STARTUP_EVENTS]; // each event's actions, in file order
};

// Parses `size` bytes of CNF text, in time linear in the text. STATUS_OK, STATUS_NOT_DOLL for
// control bytes outside comments (the file is no text), or STATUS_DOLL_TOO_LARGE beyond
// MAX_CEL_LINES or MAX_STARTUP_ACTIONS.
int parse_cnf(const unsigned char *text, size_t size, DollConfig &doll);

// The checks that need no other file: playfield size and cel lines.
int check_cnf(const DollConfig &doll);
