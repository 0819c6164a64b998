// LZH archives: our own header walker, liblhasa's decoders, our own CRC-16.
//
// The walker is lenient where real archives need it: one viewer writes level 0 and 1 headers
// whose checksums are wrong, and marks stored files "-lhd-" (the folder method) although they
// hold data. Header checksums are therefore not checked, and a "-lhd-" entry with data is
// read as stored. What protects the contents is the CRC-16 of the unpacked bytes, which is
// always checked. liblhasa's own reader rejects both quirks, so only its decoders are used.
#include "archive/archive.h"

#include "common/status.h"

#include <algorithm>
#include <cstring>
#include <lha_decoder.h>

namespace {

constexpr size_t LEVEL_0_MIN = 22; // header bytes after the first two, with an empty name
constexpr size_t LEVEL_1_MIN = 25; // the same, plus the OS byte and the first extension size
constexpr size_t LEVEL_2_MIN = 26; // the whole fixed header

uint32_t u16(const unsigned char *p) {
    return p[0] | uint32_t{p[1]} << 8;
}

uint32_t u32(const unsigned char *p) {
    return u16(p) | u16(p + 2) << 16;
}

// CRC-16 as LZH uses it: polynomial 0x8005 reflected (0xA001), starting at 0.
uint16_t crc16(const unsigned char *bytes, size_t size) {
    static uint16_t table[256];
    if (table[1] == 0)
        for (unsigned n = 0; n < 256; ++n) {
            unsigned c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? (c >> 1) ^ 0xA001 : c >> 1;
            table[n] = static_cast<uint16_t>(c);
        }
    unsigned crc = 0;
    for (size_t i = 0; i < size; ++i)
        crc = (crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF];
    return static_cast<uint16_t>(crc);
}

// Extension headers (levels 1 and 2): each is a type byte, its data and the size of the next
// one; `size_at` is where the first size lies, `limit` where they must end. Sets `end` past
// the last size field. Type 1 is the file name, type 2 the folder.
bool walk_extensions(const std::vector<unsigned char> &b, uint64_t size_at, uint64_t limit,
                     std::string &file, std::string &folder, uint64_t &end) {
    for (;;) {
        if (size_at + 2 > limit) return false;
        const uint64_t size = u16(&b[size_at]), start = size_at + 2;
        if (size == 0) {
            end = start;
            return true;
        }
        if (size < 3 || start + size > limit) return false;
        const std::string data(b.begin() + static_cast<ptrdiff_t>(start + 1),
                               b.begin() + static_cast<ptrdiff_t>(start + size - 2));
        if (b[start] == 1) file = data;
        // An empty folder (most archives made on Windows carry one) is the archive's top.
        if (b[start] == 2) folder = data.empty() ? std::string() : data + "/";
        size_at = start + size - 2;
    }
}

// The end of the archive: a zero where the next header would start, or no more bytes.
bool at_end(const std::vector<unsigned char> &b, uint64_t at) {
    if (at >= b.size()) return true;
    const bool level_2 = at + 21 <= b.size() && b[at + 20] == 2 && b[at + 2] == '-';
    return b[at] == 0 && !level_2; // a level 2 header of 256 bytes also starts with 0
}

// Reads the header at `at`; STATUS_OK with `entry` and `next` set, or STATUS_ARCHIVE_DAMAGED.
// `raw_name` keeps the name as stored, for a message.
int read_header(const std::vector<unsigned char> &b, uint64_t at, ArchiveEntry &entry,
                std::string &raw_name, uint64_t &next) {
    if (at + 22 > b.size() || b[at + 2] != '-' || b[at + 6] != '-') return STATUS_ARCHIVE_DAMAGED;
    const unsigned char *h = &b[at];
    const int level = h[20];
    std::memcpy(entry.method, h + 2, 5);
    entry.method[5] = '\0';
    entry.packed_size = u32(h + 7);
    entry.size = u32(h + 11);
    std::string file, folder;
    uint64_t data_at;
    if (level == 0 || level == 1) {
        const uint64_t length = h[0], name_length = h[21];
        if (length < (level == 0 ? LEVEL_0_MIN : LEVEL_1_MIN) + name_length ||
            at + length + 2 > b.size())
            return STATUS_ARCHIVE_DAMAGED;
        file.assign(reinterpret_cast<const char *>(h + 22), name_length);
        entry.crc16 = static_cast<uint16_t>(u16(h + 22 + name_length));
        data_at = at + length + 2;
        if (level == 1) {
            // The packed size counts the extension headers that follow the fixed part.
            if (!walk_extensions(b, data_at - 2, b.size(), file, folder, data_at) ||
                data_at - (at + length + 2) > entry.packed_size)
                return STATUS_ARCHIVE_DAMAGED;
            entry.packed_size -= data_at - (at + length + 2);
        }
    } else if (level == 2) {
        const uint64_t length = u16(h);
        uint64_t end;
        if (length < LEVEL_2_MIN || at + length > b.size() ||
            !walk_extensions(b, at + 24, at + length, file, folder, end))
            return STATUS_ARCHIVE_DAMAGED;
        entry.crc16 = static_cast<uint16_t>(u16(h + 21));
        data_at = at + length;
    } else {
        return STATUS_ARCHIVE_DAMAGED;
    }
    if (data_at + entry.packed_size > b.size()) return STATUS_ARCHIVE_DAMAGED;
    entry.data_at = data_at;
    next = data_at + entry.packed_size;
    raw_name = entry.name = folder + file;
    return STATUS_OK;
}

// Hands the decoder the packed bytes.
struct Feed {
    const unsigned char *at;
    size_t left;
};

size_t feed_decoder(void *buffer, size_t length, void *user_data) {
    Feed &feed = *static_cast<Feed *>(user_data);
    const size_t n = length < feed.left ? length : feed.left;
    std::memcpy(buffer, feed.at, n);
    feed.at += n;
    feed.left -= n;
    return n;
}

bool is_stored(const char *method) {
    return std::strcmp(method, "-lh0-") == 0 || std::strcmp(method, "-lz4-") == 0 ||
           std::strcmp(method, "-lhd-") == 0;
}

} // namespace

int list_lzh(Archive &archive, std::string &detail) {
    const std::vector<unsigned char> &b = archive.bytes;
    for (uint64_t at = 0; !at_end(b, at);) {
        ArchiveEntry entry{};
        std::string raw_name;
        const int status = read_header(b, at, entry, raw_name, at);
        if (status != STATUS_OK) return status;
        const bool folder_only = std::strcmp(entry.method, "-lhd-") == 0 && entry.size == 0;
        if (folder_only) continue;
        if (!normalise_entry_name(entry.name)) {
            detail = raw_name;
            return STATUS_UNSAFE_NAME;
        }
        archive.entries.push_back(entry);
    }
    return STATUS_OK;
}

int unpack_lzh(const Archive &archive, const ArchiveEntry &entry, std::vector<unsigned char> &out) {
    const unsigned char *packed = archive.bytes.data() + entry.data_at;
    const size_t size = static_cast<size_t>(entry.size);
    if (is_stored(entry.method)) {
        if (entry.packed_size != entry.size) return STATUS_ENTRY_DAMAGED;
        out.assign(packed, packed + size);
    } else {
        char method[6];
        std::memcpy(method, entry.method, sizeof method);
        LHADecoderType *type = lha_decoder_for_name(method);
        if (type == nullptr) return STATUS_UNKNOWN_METHOD;
        Feed feed = {packed, static_cast<size_t>(entry.packed_size)};
        LHADecoder *decoder = lha_decoder_new(type, feed_decoder, &feed, size);
        if (decoder == nullptr) return STATUS_NO_MEMORY;
        // The output grows as bytes arrive, so an entry that only claims a large size takes
        // no more memory than it really unpacks to; the decoder stops at the declared size.
        unsigned char chunk[1 << 16];
        size_t got = 0;
        for (size_t n = 1; got < size && n > 0; got += n) {
            n = lha_decoder_read(decoder, chunk, std::min(sizeof chunk, size - got));
            out.insert(out.end(), chunk, chunk + n);
        }
        lha_decoder_free(decoder);
        if (got != size) return STATUS_ENTRY_DAMAGED;
    }
    return crc16(out.data(), out.size()) == entry.crc16 ? STATUS_OK : STATUS_ENTRY_DAMAGED;
}
