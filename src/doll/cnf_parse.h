#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Larger than any real doll configuration by far; a bigger file is not read at all, so
// garbage never makes the parser allocate without bound.
constexpr size_t MAX_CNF_BYTES = size_t{1} << 20;
constexpr int64_t MAX_PLAYFIELD = 16384;
constexpr unsigned ALL_SETS = 0x3FF; // a cel line without ':' is in sets 0 to 9

struct CelLine {
    int64_t object;
    std::string file;
    int64_t palette; // palette file number, 0 unless "*n"
    unsigned sets;   // bit n for set n
};

struct Position {
    int64_t x, y;
};

// One map() or unmap() run by initialize(): of a cel file by name, or of an object (#n).
struct MapAction {
    bool map;
    int64_t object; // -1 when `file` names the cels
    std::string file;
};

// What a first view needs of a doll configuration: only set 0 of the set lines.
struct DollConfig {
    int64_t width, height;
    std::vector<std::string> palettes; // numbered in the order of their lines
    std::vector<CelLine> cels;         // in the order of their lines; the first is on top
    int64_t group;                     // set 0's palette group
    std::vector<Position> positions;   // set 0's object positions; a missing one is (0, 0)
    std::vector<MapAction> initial_actions;
};

// Parses `size` bytes of CNF text. STATUS_OK, or STATUS_NOT_DOLL for control bytes outside
// comments (the file is no text).
int parse_cnf(const unsigned char *text, size_t size, DollConfig &doll);

// The checks that need no other file: playfield size, cel lines, palette numbers.
// On STATUS_PALETTE_NOT_LISTED `detail` names the cel file.
int check_cnf(const DollConfig &doll, std::string &detail);
