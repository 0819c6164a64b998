// ZIP archives through zlib's minizip, from the archive's bytes in memory. minizip reads the
// directory and the local headers; each entry's packed bytes are taken raw and inflated here,
// so that we check what minizip would not: the data is exactly as long as the directory
// declares (it can neither fall short nor inflate past its size, even with a matching CRC),
// the deflate stream ends, and the CRC-32 matches.
#include "archive/archive.h"

#include "common/status.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unzip.h>
#include <zlib.h>

namespace {

// minizip reads its "file" through these: a cursor over the archive's bytes.
struct MemoryFile {
    const unsigned char *bytes;
    uint64_t size;
    uint64_t at;
};

voidpf open_memory(voidpf, const void *archive, int) {
    const Archive *a = static_cast<const Archive *>(archive);
    return new (std::nothrow) MemoryFile{a->bytes.data(), a->bytes.size(), 0};
}

uLong read_memory(voidpf, voidpf stream, void *buffer, uLong size) {
    MemoryFile *file = static_cast<MemoryFile *>(stream);
    const uint64_t n = std::min<uint64_t>(size, file->size - file->at);
    if (n > 0) std::memcpy(buffer, file->bytes + file->at, static_cast<size_t>(n));
    file->at += n;
    return static_cast<uLong>(n);
}

uLong write_memory(voidpf, voidpf, const void *, uLong) {
    return 0; // read only
}

ZPOS64_T tell_memory(voidpf, voidpf stream) {
    return static_cast<MemoryFile *>(stream)->at;
}

long seek_memory(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    MemoryFile *file = static_cast<MemoryFile *>(stream);
    const uint64_t base = origin == ZLIB_FILEFUNC_SEEK_SET   ? 0
                          : origin == ZLIB_FILEFUNC_SEEK_CUR ? file->at
                                                             : file->size;
    // An offset past the end (or one that wraps) is a damaged directory, not a place to read.
    if (offset > file->size - base) return -1;
    file->at = base + offset;
    return 0;
}

int close_memory(voidpf, voidpf stream) {
    delete static_cast<MemoryFile *>(stream);
    return 0;
}

int memory_error(voidpf, voidpf) {
    return 0;
}

constexpr uLong ENCRYPTED = 1; // general purpose flag bit 0
constexpr uLong STORED = 0;

// Inflates raw deflate data arriving in `packed` chunks into `out`, never beyond `size` + 1
// bytes, which is enough to tell a lie.
struct Inflater {
    z_stream stream;
    bool ended;
    bool failed;
};

void inflate_chunk(Inflater &inflater, const unsigned char *packed, size_t length, uint64_t size,
                   std::vector<unsigned char> &out) {
    unsigned char chunk[1 << 16];
    inflater.stream.next_in = const_cast<unsigned char *>(packed);
    inflater.stream.avail_in = static_cast<uInt>(length);
    while (!inflater.ended && !inflater.failed) {
        inflater.stream.next_out = chunk;
        inflater.stream.avail_out =
            static_cast<uInt>(std::min<uint64_t>(sizeof chunk, size + 1 - out.size()));
        const int result = inflate(&inflater.stream, Z_NO_FLUSH);
        out.insert(out.end(), chunk, inflater.stream.next_out);
        inflater.ended = result == Z_STREAM_END;
        inflater.failed = (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) ||
                          out.size() > size;
        // Z_BUF_ERROR: nothing more without more input, which the next chunk brings.
        if (result == Z_BUF_ERROR ||
            (inflater.stream.avail_in == 0 && inflater.stream.avail_out > 0))
            break;
    }
}

} // namespace

int list_zip(Archive &archive, std::string &detail) {
    zlib_filefunc64_def memory = {open_memory, read_memory,  write_memory, tell_memory,
                                  seek_memory, close_memory, memory_error, nullptr};
    unzFile zip = unzOpen2_64(&archive, &memory);
    if (zip == nullptr) return STATUS_ARCHIVE_DAMAGED;
    archive.zip = zip;
    int next = unzGoToFirstFile(zip);
    for (; next == UNZ_OK; next = unzGoToNextFile(zip)) {
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            return STATUS_ARCHIVE_DAMAGED;
        // Names as stored: a CNF names its files in the same bytes (often Shift JIS).
        std::string name(info.size_filename, '\0');
        if (!name.empty() && unzGetCurrentFileInfo64(zip, &info, &name[0], info.size_filename,
                                                     nullptr, 0, nullptr, 0) != UNZ_OK)
            return STATUS_ARCHIVE_DAMAGED;
        if (!name.empty() && name.back() == '/') continue; // a folder
        ArchiveEntry entry{
            name, info.uncompressed_size, info.compressed_size, unzGetOffset64(zip), "", 0};
        if (!normalise_entry_name(entry.name)) {
            detail = name;
            return STATUS_UNSAFE_NAME;
        }
        archive.entries.push_back(entry);
    }
    return next == UNZ_END_OF_LIST_OF_FILE ? STATUS_OK : STATUS_ARCHIVE_DAMAGED;
}

int unpack_zip(const Archive &archive, const ArchiveEntry &entry, std::vector<unsigned char> &out) {
    unzFile zip = static_cast<unzFile>(archive.zip);
    unz_file_info64 info;
    if (unzSetOffset64(zip, entry.data_at) != UNZ_OK ||
        unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return STATUS_ENTRY_DAMAGED;
    if ((info.flag & ENCRYPTED) != 0 ||
        (info.compression_method != STORED && info.compression_method != Z_DEFLATED))
        return STATUS_UNKNOWN_METHOD;
    int method, level;
    // minizip checks the local header against the directory here.
    if (unzOpenCurrentFile2(zip, &method, &level, 1) != UNZ_OK) return STATUS_ENTRY_DAMAGED;
    Inflater inflater{};
    const bool stored = info.compression_method == STORED;
    if (!stored && inflateInit2(&inflater.stream, -MAX_WBITS) != Z_OK) {
        unzCloseCurrentFile(zip);
        return STATUS_NO_MEMORY;
    }
    // The output grows as bytes arrive (see the LZH reader), so a lying size costs nothing.
    unsigned char packed[1 << 16];
    int n = 0;
    bool failed = false;
    while (!failed && !inflater.ended && (n = unzReadCurrentFile(zip, packed, sizeof packed)) > 0) {
        if (stored) {
            failed = out.size() + static_cast<size_t>(n) > entry.size;
            if (!failed) out.insert(out.end(), packed, packed + n);
        } else {
            inflate_chunk(inflater, packed, static_cast<size_t>(n), entry.size, out);
            failed = inflater.failed;
        }
    }
    failed = failed || n < 0 || (!stored && !inflater.ended);
    if (!stored) inflateEnd(&inflater.stream);
    unzCloseCurrentFile(zip);
    const uLong crc = crc32_z(0, out.data(), out.size());
    return !failed && out.size() == entry.size && crc == info.crc ? STATUS_OK
                                                                  : STATUS_ENTRY_DAMAGED;
}

void close_zip(Archive &archive) {
    if (archive.zip != nullptr) unzClose(static_cast<unzFile>(archive.zip));
    archive.zip = nullptr;
}
