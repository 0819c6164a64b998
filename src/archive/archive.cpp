#include "archive/archive.h"

#include "common/status.h"
#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

std::string lower_case(std::string text) {
    for (char &ch : text)
        ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    return text;
}

// A Shift JIS lead byte: the byte after it may be 0x5C without being a '\'.
bool is_two_byte_lead(unsigned char ch) {
    return (ch >= 0x81 && ch <= 0x9F) || (ch >= 0xE0 && ch <= 0xFC);
}

// The whole archive in memory: one byte past the limit tells a file that is too large.
int read_whole(FILE *input, std::vector<unsigned char> &bytes) {
    bytes.clear();
    unsigned char chunk[1 << 16];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, input)) > 0) {
        if (bytes.size() + got > MAX_ARCHIVE_BYTES) return STATUS_TOO_LARGE;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return ferror(input) ? STATUS_READ_ERROR : STATUS_OK;
}

void index_entries(Archive &archive) {
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        const std::string path = lower_case(archive.entries[i].name);
        const size_t slash = path.rfind('/');
        archive.by_path.emplace(path, i);
        archive.by_file_name.emplace(slash == std::string::npos ? path : path.substr(slash + 1), i);
    }
    archive.unpacked.assign(archive.entries.size(), {});
}

} // namespace

bool looks_like_archive(const unsigned char *bytes, size_t size, const char *name) {
    const size_t length = strlen(name);
    const auto ends_with = [&](const char *suffix) {
        const size_t n = strlen(suffix);
        return length >= n && lower_case(std::string(name + length - n)) == suffix;
    };
    if (ends_with(".lzh") || ends_with(".lha") || ends_with(".zip")) return true;
    // LZH: a method such as "-lh5-" or "-lz4-" at offset 2; ZIP: a local file header.
    if (size >= 7 && bytes[2] == '-' && bytes[3] == 'l' && bytes[6] == '-') return true;
    return size >= 4 && std::memcmp(bytes, "PK\3\4", 4) == 0;
}

bool normalise_entry_name(std::string &name) {
    std::string path;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char ch = static_cast<unsigned char>(name[i]);
        if (is_two_byte_lead(ch) && i + 1 < name.size()) {
            path += name.substr(i++, 2);
            continue;
        }
        path += ch == '\\' || ch == 0xFF ? '/' : static_cast<char>(ch);
    }
    // "C:" at the start is as absolute as a leading '/'.
    if (path.empty() || path[0] == '/' || (path.size() >= 2 && path[1] == ':')) return false;
    std::string clean;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") return false;
        if (!part.empty() && part != ".") clean += (clean.empty() ? "" : "/") + part;
        start = end + 1;
    }
    name = clean;
    return !name.empty();
}

int open_archive(FILE *input, const char *name, Archive &archive, std::string &detail) {
    archive = Archive{};
    archive.location = name;
    detail.clear();
    int status = read_whole(input, archive.bytes);
    if (status != STATUS_OK) return status;
    const std::vector<unsigned char> &b = archive.bytes;
    const bool zip = b.size() >= 4 && std::memcmp(b.data(), "PK", 2) == 0;
    archive.kind = zip ? ArchiveKind::zip : ArchiveKind::lzh;
    status = zip ? list_zip(archive, detail) : list_lzh(archive, detail);
    if (status == STATUS_OK) index_entries(archive);
    return status;
}

int open_folder(const std::string &folder, Archive &archive) {
    archive = Archive{};
    archive.kind = ArchiveKind::folder;
    archive.location = folder;
    const int status = list_folder_entries(archive);
    index_entries(archive);
    return status;
}

void close_archive(Archive &archive) {
    if (archive.kind == ArchiveKind::zip) close_zip(archive);
    archive = Archive{};
}

bool find_entry(const Archive &archive, const std::string &folder, const std::string &name,
                size_t &index) {
    std::string wanted = name;
    if (!normalise_entry_name(wanted)) return false;
    if (archive.kind == ArchiveKind::folder && wanted.find('/') != std::string::npos) return false;
    wanted = lower_case(wanted);
    auto found = archive.by_path.find(lower_case(folder) + wanted);
    if (found == archive.by_path.end() && wanted.find('/') == std::string::npos) {
        found = archive.by_file_name.find(wanted);
        if (found == archive.by_file_name.end()) return false;
    } else if (found == archive.by_path.end()) {
        return false;
    }
    index = found->second;
    return true;
}

int entry_data(Archive &archive, size_t index, const std::vector<unsigned char> **data) {
    std::vector<unsigned char> &held = archive.unpacked[index];
    const ArchiveEntry &entry = archive.entries[index];
    *data = &held;
    if (!held.empty() || (entry.size == 0 && archive.kind != ArchiveKind::folder)) return STATUS_OK;
    if (entry.size > MAX_ENTRY_BYTES || archive.unpacked_bytes + entry.size > MAX_UNPACKED_BYTES)
        return STATUS_TOO_LARGE;
    int status = STATUS_OK;
    switch (archive.kind) {
    case ArchiveKind::lzh:
        status = unpack_lzh(archive, entry, held);
        break;
    case ArchiveKind::zip:
        status = unpack_zip(archive, entry, held);
        break;
    case ArchiveKind::folder: {
        EntryStream stream;
        status = open_entry(archive, index, stream);
        const int64_t size = status == STATUS_OK ? entry_size(stream) : 0;
        if (status == STATUS_OK && size < 0) status = STATUS_READ_ERROR; // not a regular file
        if (status == STATUS_OK && static_cast<uint64_t>(size) > MAX_ENTRY_BYTES)
            status = STATUS_TOO_LARGE;
        if (status == STATUS_OK) {
            held.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
            // A file that shrank since it was measured is read as it is now.
            held.resize(read_entry(stream, held.data(), held.size()));
            if (entry_failed(stream)) status = STATUS_READ_ERROR;
        }
        close_entry(stream);
        break;
    }
    }
    if (status != STATUS_OK) held = {};
    archive.unpacked_bytes += held.size();
    return status;
}

void release_entry(Archive &archive, size_t index) {
    archive.unpacked_bytes -= archive.unpacked[index].size();
    archive.unpacked[index] = {};
}

int open_entry(Archive &archive, size_t index, EntryStream &stream) {
    stream = EntryStream{nullptr, nullptr, 0, false};
    if (archive.kind == ArchiveKind::folder && archive.unpacked[index].empty()) {
        const std::string path = archive.location + archive.entries[index].name;
        stream.file = open_file(path.c_str(), "rb");
        archive.files_read.insert(path);
        return stream.file != nullptr ? STATUS_OK : STATUS_READ_ERROR;
    }
    return entry_data(archive, index, &stream.bytes);
}

size_t read_entry(EntryStream &stream, unsigned char *buffer, size_t length) {
    if (stream.file != nullptr) {
        const size_t got = fread(buffer, 1, length, stream.file);
        stream.failed = stream.failed || ferror(stream.file);
        return got;
    }
    const size_t size = stream.bytes->size();
    const size_t got = stream.at < size ? std::min<size_t>(length, size - stream.at) : 0;
    if (got > 0) std::memcpy(buffer, stream.bytes->data() + stream.at, got);
    stream.at += got;
    return got;
}

bool seek_entry(EntryStream &stream, int64_t offset) {
    if (stream.file != nullptr) return seek_to(stream.file, offset);
    stream.at = static_cast<uint64_t>(offset);
    return offset >= 0;
}

int64_t entry_size(const EntryStream &stream) {
    return stream.file != nullptr ? regular_file_size(stream.file)
                                  : static_cast<int64_t>(stream.bytes->size());
}

bool entry_failed(const EntryStream &stream) {
    return stream.failed;
}

void close_entry(EntryStream &stream) {
    if (stream.file != nullptr) fclose(stream.file);
    stream.file = nullptr;
}
