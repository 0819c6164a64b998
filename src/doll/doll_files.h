#pragma once

#include "common/run_state.h"
#include "convert/cel_header.h"
#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Where a doll's palette and cel files are: the folder of its configuration ("" for the
// current one, else ending in its separator).
struct DollFiles {
    std::string folder;
};

// The one way into a doll's files: opens `name` for binary reading, its letters compared
// without regard to case; a name with a folder part of its own is never looked for. Null
// when there is no such file.
FILE *open_doll_file(const DollFiles &files, const std::string &name);

// A cel file as a doll draws it.
struct DollCel {
    KissKind kind; // cel, old_cel or cel32
    CelImage image;
    int64_t pixels_at; // where its pixel rows start in the file
};

// Reads a cel's header: STATUS_OK, STATUS_DOLL_FILE_MISSING, STATUS_NOT_DOLL_CEL (no cel of
// 4, 8 or 32 bits) or STATUS_READ_ERROR.
int read_doll_cel(const DollFiles &files, const std::string &name, DollCel &cel);

// Loads group `group` of a palette file, or group 0 when the file holds fewer groups, into
// `colours` (entries the file does not hold are black). STATUS_OK, STATUS_DOLL_FILE_MISSING,
// STATUS_NOT_DOLL_PALETTE or STATUS_READ_ERROR.
int read_palette_group(const DollFiles &files, const std::string &name, int64_t group,
                       Palette &colours);
