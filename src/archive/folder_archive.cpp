// A doll's folder as an archive: its files, listed once and read where they lie.
#include "archive/archive.h"

#include "common/status.h"
#include "platform/platform.h"

int list_folder_entries(Archive &archive) {
    std::vector<std::string> names;
    if (!list_folder(archive.location, names)) return STATUS_READ_ERROR;
    for (const std::string &name : names)
        archive.entries.push_back(ArchiveEntry{name, 0, 0, 0, "", 0});
    return STATUS_OK;
}
