// A build without the format libraries (the Windows cross-build, for which Debian packages
// none): archives are refused before any of these is reached.
#include "archive/archive.h"

#include "common/status.h"

int list_lzh(Archive &, std::string &) {
    return STATUS_NO_ARCHIVE_SUPPORT;
}

int unpack_lzh(const Archive &, const ArchiveEntry &, std::vector<unsigned char> &) {
    return STATUS_NO_ARCHIVE_SUPPORT;
}

int list_zip(Archive &, std::string &) {
    return STATUS_NO_ARCHIVE_SUPPORT;
}

int unpack_zip(const Archive &, const ArchiveEntry &, std::vector<unsigned char> &) {
    return STATUS_NO_ARCHIVE_SUPPORT;
}

void close_zip(Archive &) {}
