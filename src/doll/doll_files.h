#pragma once

#include "common/run_state.h"
#include "convert/cel_header.h"

#include <string>

// Finds `name` in `folder`, its letters compared without regard to case; a name with a
// folder part of its own is never looked for elsewhere. True with `path` set when found.
bool find_doll_file(const std::string &folder, const std::string &name, std::string &path);

// A cel as a doll draws it.
struct DollCel {
    std::string path;
    CelImage image;
    int64_t pixels_at; // where its pixel rows start in the file
};

// Reads a cel's header: STATUS_OK, STATUS_NOT_DOLL_CEL or STATUS_READ_ERROR.
int read_doll_cel(const std::string &path, DollCel &cel);

// Loads group `group` of a palette file, or group 0 when the file holds fewer groups, into
// `colours` (entries the file does not hold are black). STATUS_OK, STATUS_NOT_DOLL_PALETTE
// or STATUS_READ_ERROR.
int read_palette_group(const std::string &path, int64_t group, Palette &colours);
