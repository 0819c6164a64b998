#pragma once

#include <cstdint>
#include <cstdio>

constexpr int CEL_HEADER_SIZE = 32;

// The first 32 bytes of every KiSS file, as read.
struct CelHeader {
    unsigned char bytes[CEL_HEADER_SIZE];
};

// What a cel header says about its image.
struct CelImage {
    int depth; // 4 or 8; 32 for a 32-bit cel
    unsigned width;
    unsigned height;
    unsigned x_offset;
    unsigned y_offset;
};

// Everything that tells what an input is: its first bytes, its size and its name.
struct KissFile {
    CelHeader header;
    size_t header_bytes; // how many of the 32 arrived
    int64_t size;        // -1 when the input is not a regular file
    bool kcf_name;       // the name ends in ".kcf", in any case
};

enum class KissKind { palette, old_palette, cel, old_cel, cel32, short_file, other };

// Reads the first bytes of `input` (named `name`); STATUS_OK or STATUS_READ_ERROR.
int read_kiss_file(FILE *input, const char *name, KissFile &file);
KissKind classify_kiss_file(const KissFile &file);
// For KissKind::cel, KissKind::old_cel and KissKind::cel32.
CelImage decode_cel_image(const KissFile &file);
// Where the pixel rows start: after the header, or after the old-style size words.
int64_t pixel_data_offset(KissKind kind);

unsigned word_at(const unsigned char *bytes, int offset);

// Bytes per row of pixel data: two pixels share a byte at depth 4; four bytes each at 32.
inline uint32_t row_stride(const CelImage &image) {
    return image.depth == 32  ? image.width * 4
           : image.depth == 8 ? image.width
                              : (image.width + 1) / 2;
}
