#pragma once

// Writes LZH and ZIP archives byte by byte, for the example doll and for tests that need
// archives of every header level, method and kind of damage.
#include "kiss_writer.h"

struct ArchiveMember {
    std::string name; // folders separated by '/'
    Bytes data;       // what the member unpacks to
    int level = 0;    // LZH header level: 0, 1 or 2
    // LZH: "-lh0-" stores, "-lh5-" packs (literals only, which any LH5 decoder reads);
    // another mark (a "-lhd-" that holds data, say) is written over a stored member.
    const char *method = "-lh0-";
    bool bad_checksum = false; // LZH: a wrong header checksum, as one viewer writes
};

Bytes lzh_archive(const std::vector<ArchiveMember> &members);
// A ZIP whose members are stored (no compression).
Bytes zip_archive(const std::vector<ArchiveMember> &members);

uint16_t lzh_crc16(const Bytes &bytes);
uint32_t zip_crc32(const Bytes &bytes);
