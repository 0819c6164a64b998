#include "convert/cel_header.h"

#include "common/file_names.h"
#include "common/status.h"
#include "platform/platform.h"

#include <cstring>

namespace {

constexpr unsigned char PALETTE_MARK = 0x10;
constexpr unsigned char CEL_MARK = 0x20;
constexpr unsigned char CEL32_MARK = 0x21;
constexpr unsigned char DEPTH_32 = 32;
constexpr int OLD_CEL_HEADER_SIZE = 4; // width and height, nothing else
constexpr int64_t OLD_PALETTE_GROUP = 32;
constexpr int64_t OLD_PALETTE_MAX = 16 * OLD_PALETTE_GROUP;

bool has_magic(const KissFile &file) {
    return file.header_bytes >= 4 && std::memcmp(file.header.bytes, "KiSS", 4) == 0;
}

bool has_mark(const KissFile &file, unsigned char mark) {
    return file.header_bytes == CEL_HEADER_SIZE && has_magic(file) && file.header.bytes[4] == mark;
}

// Old-style files carry no magic: the size must match what the first words declare.
bool is_old_cel(const KissFile &file) {
    if (has_magic(file) || file.header_bytes < OLD_CEL_HEADER_SIZE) return false;
    const int64_t width = word_at(file.header.bytes, 0);
    const int64_t height = word_at(file.header.bytes, 2);
    return width > 0 && height > 0 && file.size == OLD_CEL_HEADER_SIZE + (width + 1) / 2 * height;
}

bool is_old_palette(const KissFile &file) {
    return file.kcf_name && !has_magic(file) && file.size >= OLD_PALETTE_GROUP &&
           file.size <= OLD_PALETTE_MAX && file.size % OLD_PALETTE_GROUP == 0;
}

} // namespace

unsigned word_at(const unsigned char *bytes, int offset) {
    return bytes[offset] | (bytes[offset + 1] << 8);
}

int read_kiss_file(FILE *input, const char *name, KissFile &file) {
    file.header_bytes = fread(file.header.bytes, 1, CEL_HEADER_SIZE, input);
    if (ferror(input)) return STATUS_READ_ERROR;
    file.size = regular_file_size(input);
    file.kcf_name = name_ends_with(name, ".kcf");
    return STATUS_OK;
}

KissKind classify_kiss_file(const KissFile &file) {
    if (has_mark(file, PALETTE_MARK)) return KissKind::palette;
    // Both marks occur on 32-bit cels in real dolls.
    if (has_mark(file, CEL32_MARK) ||
        (has_mark(file, CEL_MARK) && file.header.bytes[5] == DEPTH_32))
        return KissKind::cel32;
    if (has_mark(file, CEL_MARK)) return KissKind::cel;
    if (is_old_palette(file)) return KissKind::old_palette;
    if (is_old_cel(file)) return KissKind::old_cel;
    if (file.header_bytes < CEL_HEADER_SIZE) return KissKind::short_file;
    return KissKind::other;
}

CelImage decode_cel_image(const KissFile &file) {
    const unsigned char *b = file.header.bytes;
    if (!has_magic(file)) return CelImage{4, word_at(b, 0), word_at(b, 2), 0, 0};
    const int depth = b[4] == CEL32_MARK ? DEPTH_32 : b[5];
    return CelImage{depth, word_at(b, 8), word_at(b, 10), word_at(b, 12), word_at(b, 14)};
}

int64_t pixel_data_offset(KissKind kind) {
    return kind == KissKind::old_cel ? OLD_CEL_HEADER_SIZE : CEL_HEADER_SIZE;
}
