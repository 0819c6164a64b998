#include "convert/cel_header.h"

#include "common/status.h"

#include <cstring>

namespace {

constexpr unsigned char PALETTE_MARK = 0x10;
constexpr unsigned char CEL_MARK = 0x20;

bool has_mark(const CelHeader &header, unsigned char mark) {
    return std::memcmp(header.bytes, "KiSS", 4) == 0 && header.bytes[4] == mark;
}

unsigned word_at(const CelHeader &header, int offset) {
    return header.bytes[offset] | (header.bytes[offset + 1] << 8);
}

} // namespace

int read_cel_header(FILE *input, CelHeader &header) {
    if (fread(header.bytes, 1, CEL_HEADER_SIZE, input) == CEL_HEADER_SIZE) return STATUS_OK;
    return ferror(input) ? STATUS_READ_ERROR : STATUS_SHORT_HEADER;
}

KissKind classify_header(const CelHeader &header) {
    if (has_mark(header, PALETTE_MARK)) return KissKind::palette;
    if (has_mark(header, CEL_MARK)) return KissKind::cel;
    return KissKind::other;
}

CelImage decode_cel_image(const CelHeader &header) {
    return CelImage{header.bytes[5], word_at(header, 8), word_at(header, 10), word_at(header, 12),
                    word_at(header, 14)};
}
