#include "archive_writer.h"

#include <cstdint>
#include <cstring>

namespace {

void put16(Bytes &b, uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}

void put32(Bytes &b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

void put_text(Bytes &b, const std::string &text) {
    b.insert(b.end(), text.begin(), text.end());
}

// LH5 with one code per byte: each block's code-length table gives all 256 byte values 8
// bits (so a byte's code is the byte itself), stated once through a one-value table.
Bytes lh5_literals(const Bytes &data) {
    Bytes out;
    uint32_t bits = 0;
    int count = 0;
    const auto put = [&](uint32_t value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            bits = bits << 1 | (value >> i & 1);
            if (++count == 8) out.push_back(static_cast<unsigned char>(bits)), bits = 0, count = 0;
        }
    };
    for (size_t at = 0; at < data.size();) {
        const size_t block = std::min<size_t>(data.size() - at, 65535);
        put(static_cast<uint32_t>(block), 16);
        put(0, 5), put(8 + 2, 5); // length table: one value, "length 8"
        put(256, 9);              // 256 code lengths, all read from that one value
        put(0, 4), put(0, 4);     // offsets: unused
        for (size_t i = 0; i < block; ++i)
            put(data[at + i], 8);
        at += block;
    }
    if (count > 0) out.push_back(static_cast<unsigned char>(bits << (8 - count)));
    return out;
}

// An extension header: its type, its data, and room for the next one's size.
void put_extension(Bytes &b, unsigned char type, const std::string &data) {
    put16(b, static_cast<uint32_t>(data.size() + 3));
    b.push_back(type);
    put_text(b, data);
}

void lzh_member(Bytes &out, const ArchiveMember &m) {
    const bool packed = std::strcmp(m.method, "-lh5-") == 0;
    const Bytes body = packed ? lh5_literals(m.data) : m.data;
    const size_t slash = m.name.rfind('/');
    const std::string file = slash == std::string::npos ? m.name : m.name.substr(slash + 1);
    std::string folder = slash == std::string::npos ? "" : m.name.substr(0, slash);
    for (char &ch : folder)
        if (ch == '/') ch = '\xFF'; // LZH's folder separator
    Bytes h;
    const uint32_t size = static_cast<uint32_t>(m.data.size()), crc = lzh_crc16(m.data);
    if (m.level == 2) {
        put16(h, 0); // the whole header's length, filled in below
        put_text(h, m.method);
        put32(h, static_cast<uint32_t>(body.size()));
        put32(h, size);
        put32(h, 1700000000); // a Unix time
        h.push_back(0x20);
        h.push_back(2);
        put16(h, crc);
        h.push_back('U');
        put_extension(h, 1, file);
        if (!folder.empty()) put_extension(h, 2, folder);
        put16(h, 0);
        h[0] = static_cast<unsigned char>(h.size()),
        h[1] = static_cast<unsigned char>(h.size() >> 8);
    } else {
        std::string base = m.level == 0 ? m.name : file;
        for (char &ch : base)
            if (ch == '/') ch = '\\'; // MS-DOS separators, as level 0 archives have them
        Bytes extensions;
        if (m.level == 1 && !folder.empty()) put_extension(extensions, 2, folder);
        h.push_back(static_cast<unsigned char>((m.level == 0 ? 22 : 25) + base.size()));
        h.push_back(0); // checksum, below
        put_text(h, m.method);
        // At level 1 the packed size counts the extension headers after the fixed part.
        put32(h, static_cast<uint32_t>(body.size() + extensions.size()));
        put32(h, size);
        put32(h, 0x5A8C6000); // an MS-DOS date and time
        h.push_back(0x20);
        h.push_back(static_cast<unsigned char>(m.level));
        h.push_back(static_cast<unsigned char>(base.size()));
        put_text(h, base);
        put16(h, crc);
        if (m.level == 1) {
            h.push_back('M');
            h.insert(h.end(), extensions.begin(), extensions.end());
            put16(h, 0);
        }
        unsigned sum = m.bad_checksum ? 1 : 0;
        for (size_t i = 2; i < size_t{h[0]} + 2; ++i)
            sum += h[i];
        h[1] = static_cast<unsigned char>(sum);
    }
    out.insert(out.end(), h.begin(), h.end());
    out.insert(out.end(), body.begin(), body.end());
}

} // namespace

uint16_t lzh_crc16(const Bytes &bytes) {
    unsigned crc = 0;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return static_cast<uint16_t>(crc);
}

uint32_t zip_crc32(const Bytes &bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    }
    return ~crc;
}

Bytes lzh_archive(const std::vector<ArchiveMember> &members) {
    Bytes out;
    for (const ArchiveMember &m : members)
        lzh_member(out, m);
    out.push_back(0); // the end mark
    return out;
}

Bytes zip_archive(const std::vector<ArchiveMember> &members) {
    Bytes out, directory;
    for (const ArchiveMember &m : members) {
        const uint32_t at = static_cast<uint32_t>(out.size());
        Bytes common; // the fields local header and directory share, from "version needed"
        put16(common, 10);
        put16(common, 0); // flags
        put16(common, 0); // stored
        put32(common, 0x5A8C6000);
        put32(common, zip_crc32(m.data));
        put32(common, static_cast<uint32_t>(m.data.size()));
        put32(common, static_cast<uint32_t>(m.data.size()));
        put16(common, static_cast<uint32_t>(m.name.size()));
        put16(common, 0); // no extra field
        put_text(out, "PK\3\4");
        out.insert(out.end(), common.begin(), common.end());
        put_text(out, m.name);
        out.insert(out.end(), m.data.begin(), m.data.end());
        put_text(directory, "PK\1\2");
        put16(directory, 20); // made by
        directory.insert(directory.end(), common.begin(), common.end());
        put16(directory, 0); // comment
        put16(directory, 0); // disk
        put16(directory, 0); // internal attributes
        put32(directory, 0); // external attributes
        put32(directory, at);
        put_text(directory, m.name);
    }
    const uint32_t directory_at = static_cast<uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    put_text(out, "PK\5\6");
    put16(out, 0), put16(out, 0);
    put16(out, static_cast<uint32_t>(members.size())),
        put16(out, static_cast<uint32_t>(members.size()));
    put32(out, static_cast<uint32_t>(directory.size()));
    put32(out, directory_at);
    put16(out, 0);
    return out;
}
