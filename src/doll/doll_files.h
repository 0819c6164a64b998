#pragma once

#include "archive/archive.h"
#include "common/run_state.h"
#include "convert/cel_header.h"
#include "doll/rgba_cel.h"
#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Where a doll's palette and cel files are: an archive (a folder is one kind) and the
// folder of its configuration inside it (empty, or ending in '/'; always empty for a folder,
// which is the configuration's own).
struct DollFiles {
    Archive *archive;
    std::string folder;
};

// The one way into a doll's files: opens `name` for reading as the archive finds it, its
// letters compared without regard to case. STATUS_OK, STATUS_DOLL_FILE_MISSING, or a status
// about the archive's entry.
int open_doll_file(const DollFiles &files, const std::string &name, EntryStream &stream);
// The lookup alone: the entry's index, or false.
bool find_doll_file(const DollFiles &files, const std::string &name, size_t &index);

// A cel file as a doll draws it.
struct DollCel {
    KissKind kind;     // cel, old_cel or cel32; `other` for an image cel
    CelImage image;    // an image cel's size, with depth 32
    int64_t pixels_at; // where its pixel rows start in the file
    size_t picture;    // an image cel's place in DollPlan::pictures
};

// Reads a cel's header: STATUS_OK, STATUS_DOLL_FILE_MISSING, STATUS_NOT_DOLL_CEL (no cel of
// 4, 8 or 32 bits) or STATUS_READ_ERROR (or an archive's status). An image cel (a name
// ending in .gif, .png, .jpg or .bmp) is decoded whole into `picture`.
int read_doll_cel(const DollFiles &files, const std::string &name, DollCel &cel, RgbaCel &picture);

// Loads group `group` of a palette file, or group 0 when the file holds fewer groups, into
// `colours` (entries the file does not hold are black). STATUS_OK, STATUS_DOLL_FILE_MISSING,
// STATUS_NOT_DOLL_PALETTE or STATUS_READ_ERROR.
int read_palette_group(const DollFiles &files, const std::string &name, int64_t group,
                       Palette &colours);
