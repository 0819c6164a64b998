#pragma once

// An archive is a list of entries with names and sizes, and a way to read one. A doll's
// folder is one more kind, so the doll reader asks for its files the same way wherever
// they lie.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

// An archive file is read whole; each file inside is unpacked whole when first read and kept
// while its archive is open. These bound what a hostile archive can make quondel hold.
constexpr uint64_t MAX_ARCHIVE_BYTES = uint64_t{1} << 30;
constexpr uint64_t MAX_ENTRY_BYTES = uint64_t{256} << 20;
constexpr uint64_t MAX_UNPACKED_BYTES = uint64_t{1} << 30; // all unpacked entries at once

enum class ArchiveKind { folder, lzh, zip };

struct ArchiveEntry {
    std::string name;     // folders separated by '/', never absolute, no ".."
    uint64_t size;        // unpacked bytes, as declared
    uint64_t packed_size; // LZH: packed bytes at `data_at`
    uint64_t data_at;     // LZH: offset of the packed bytes; ZIP: the entry's index
    char method[6];       // LZH: "-lh5-" and the like
    uint16_t crc16;       // LZH: of the unpacked bytes
};

struct Archive {
    ArchiveKind kind;
    std::string location;             // the folder (empty, or ending in '/'), or the file
    std::vector<unsigned char> bytes; // the archive file, whole
    std::vector<ArchiveEntry> entries;
    std::vector<std::vector<unsigned char>> unpacked; // per entry, once read
    uint64_t unpacked_bytes;                          // held in `unpacked`
    std::map<std::string, size_t> by_path;            // lower-case full name: first entry
    std::map<std::string, size_t> by_file_name;       // lower-case last part: first entry
    void *zip;                                        // minizip's handle
    std::set<std::string> files_read;                 // a folder's files opened so far, by path
};

// Whether the first bytes (at least 7 of them, or fewer at the end of the file) or the name
// say LZH or ZIP.
bool looks_like_archive(const unsigned char *bytes, size_t size, const char *name);

// Reads the archive open in `input` (named `name`) and lists its files. STATUS_OK, or a
// status with `detail` naming the entry at fault (empty when it is the archive).
int open_archive(FILE *input, const char *name, Archive &archive, std::string &detail);
// Lists the files of a folder ("" for the current one, else ending in its separator).
int open_folder(const std::string &folder, Archive &archive);
void close_archive(Archive &archive);

// Finds `name` (a CNF's file name, '\' or '/' between folders) for a configuration in
// `folder` (empty or ending in '/'): case-blind, in that folder first, then anywhere in the
// archive. A folder's files are only those directly in it.
bool find_entry(const Archive &archive, const std::string &folder, const std::string &name,
                size_t &index);

// The whole of an entry, unpacked and checked once, then kept. STATUS_OK, or a status about
// the entry (unknown method, damaged, too large, read error).
int entry_data(Archive &archive, size_t index, const std::vector<unsigned char> **data);
// Frees an entry's unpacked bytes; the next entry_data unpacks it again.
void release_entry(Archive &archive, size_t index);

// An entry open for reading, as a stream: a folder's file where it lies (so a large loose
// cel is never held whole), or an entry's unpacked bytes.
struct EntryStream {
    FILE *file;                              // a folder's file, else null
    const std::vector<unsigned char> *bytes; // else the unpacked entry
    uint64_t at;
    bool failed;
};
// STATUS_OK, or a status about the entry (as entry_data).
int open_entry(Archive &archive, size_t index, EntryStream &stream);
size_t read_entry(EntryStream &stream, unsigned char *buffer, size_t length);
bool seek_entry(EntryStream &stream, int64_t offset);
int64_t entry_size(const EntryStream &stream);
bool entry_failed(const EntryStream &stream); // a read error, as ferror tells
void close_entry(EntryStream &stream);

// Entry names in this form: '\' (outside two-byte Shift JIS characters) and LZH's 0xFF
// become '/', "." and empty parts go. False for absolute names and "..".
bool normalise_entry_name(std::string &name);

// Format-specific listing and unpacking, one file each.
int list_lzh(Archive &archive, std::string &detail);
int unpack_lzh(const Archive &archive, const ArchiveEntry &entry, std::vector<unsigned char> &out);
int list_zip(Archive &archive, std::string &detail);
int unpack_zip(const Archive &archive, const ArchiveEntry &entry, std::vector<unsigned char> &out);
void close_zip(Archive &archive);
int list_folder_entries(Archive &archive);
