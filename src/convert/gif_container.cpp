#include "convert/gif_container.h"

#include "common/run_state.h"
#include "common/status.h"
#include "convert/scan_interlaced.h"
#include "encode/lzw.h"

#include <cstring>

namespace {

constexpr unsigned char TRAILER = 0x3B;

unsigned char *put_word(unsigned char *at, unsigned value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    return at + 2;
}

unsigned char *put_bytes(unsigned char *at, const void *bytes, size_t count) {
    std::memcpy(at, bytes, count);
    return at + count;
}

unsigned char *put_screen(unsigned char *at, const GifLayout &layout) {
    const unsigned depth_bits = static_cast<unsigned>(layout.depth - 1);
    at = put_bytes(at, "GIF89a", 6);
    at = put_word(at, layout.screen_width & 0xFFFF);
    at = put_word(at, layout.screen_height & 0xFFFF);
    *at++ = static_cast<unsigned char>(0x80 | depth_bits << 4 | depth_bits);
    *at++ = 0; // background colour index
    *at++ = 0; // pixel aspect ratio
    return put_bytes(at, layout.colours, (size_t{1} << layout.depth) * 3);
}

unsigned char *put_control(unsigned char *at, unsigned delay, int disposal, int transparent) {
    *at++ = 0x21;
    *at++ = 0xF9;
    *at++ = 0x04;
    *at++ = static_cast<unsigned char>((disposal & 7) << 2 | (transparent >= 0 ? 1 : 0));
    at = put_word(at, delay & 0xFFFF);
    *at++ = static_cast<unsigned char>(transparent >= 0 ? transparent : 0);
    *at++ = 0;
    return at;
}

unsigned char *put_image_descriptor(unsigned char *at, const GifLayout &layout) {
    // Index 0 is transparent, no delay, no disposal.
    if (layout.transparent_zero) at = put_control(at, 0, 0, 0);
    *at++ = 0x2C;
    at = put_word(at, layout.left);
    at = put_word(at, layout.top);
    at = put_word(at, layout.width);
    at = put_word(at, layout.height);
    *at++ = layout.interlace ? 0x40 : 0x00;
    *at++ = static_cast<unsigned char>(lzw_code_size(layout.depth));
    return at;
}

} // namespace

GifLayout cel_gif_layout(const CelImage &image, int interlace) {
    // The screen sums wrap to 16 bits like every other field.
    return GifLayout{image.x_offset + image.width,
                     image.y_offset + image.height,
                     image.x_offset,
                     image.y_offset,
                     image.width,
                     image.height,
                     image.depth,
                     run_state.palette.rgb,
                     true,
                     interlace};
}

void write_gif_head(FILE *out, const GifLayout &layout) {
    unsigned char head[13 + 256 * 3 + 8 + 10 + 1];
    unsigned char *end = put_screen(head, layout);
    end = put_image_descriptor(end, layout);
    fwrite(head, 1, static_cast<size_t>(end - head), out);
}

void write_gif_screen(FILE *out, const GifLayout &layout) {
    unsigned char head[13 + 256 * 3];
    const unsigned char *end = put_screen(head, layout);
    fwrite(head, 1, static_cast<size_t>(end - head), out);
}

void write_loop_extension(FILE *out, unsigned loops) {
    unsigned char block[19] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S',  'C',
                               'A',  'P',  'E',  '2', '.', '0', 0x03, 0x01};
    put_word(block + 16, loops & 0xFFFF);
    fwrite(block, 1, sizeof block, out);
}

void write_graphic_control(FILE *out, unsigned delay, int disposal, int transparent) {
    unsigned char block[8];
    put_control(block, delay, disposal, transparent);
    fwrite(block, 1, sizeof block, out);
}

void write_image_start(FILE *out, const GifLayout &layout) {
    GifLayout bare = layout;
    bare.transparent_zero = false;
    unsigned char block[11];
    const unsigned char *end = put_image_descriptor(block, bare);
    fwrite(block, 1, static_cast<size_t>(end - block), out);
}

void write_gif_trailer(FILE *out) {
    putc(TRAILER, out);
}

int write_picture_gif(FILE *out, GifLayout layout, const unsigned char *pixels,
                      const LzwChoices &choices) {
    const CelImage image = {8, layout.width, layout.height, 0, 0};
    layout.depth = table_bits_for(highest_index(pixels, image));
    LzwStream lzw{};
    const int status = lzw_begin(lzw, lzw_code_size(layout.depth),
                                 uint64_t{layout.width} * layout.height, choices);
    if (status != STATUS_OK) return status;
    write_gif_head(out, layout);
    scan_pixel_area(out, pixels, image, layout.interlace, &lzw);
    lzw_end(out, lzw);
    write_gif_trailer(out);
    return ferror(out) ? STATUS_WRITE_ERROR : STATUS_OK;
}
