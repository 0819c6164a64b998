// Image cels as other programs write them, through the same libraries quondel reads them
// with: a PNG with translucent pixels, a JPEG, a GIF with a transparent colour and a 24-bit
// BMP, each 16 x 16 pixels of a pattern of its own.
#include "image_cels.h"

#include "kiss_writer.h"

#include <cstdlib>
#include <gif_lib.h>
#include <spng.h>
#include <turbojpeg.h>

namespace {

constexpr unsigned SIDE = 16;

// RGBA: a diagonal gradient, its top-left quarter see-through to varying degrees.
Bytes gradient() {
    Bytes rgba;
    for (unsigned y = 0; y < SIDE; ++y)
        for (unsigned x = 0; x < SIDE; ++x) {
            const bool corner = x < SIDE / 2 && y < SIDE / 2;
            rgba.insert(rgba.end(),
                        {static_cast<unsigned char>(x * 16), 80, static_cast<unsigned char>(y * 16),
                         static_cast<unsigned char>(corner ? (x + y) * 16 : 255)});
        }
    return rgba;
}

Bytes png_cel() {
    const Bytes rgba = gradient();
    spng_ctx *encoder = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(encoder, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr header = {SIDE, SIDE, 8, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 0, 0, 0};
    spng_set_ihdr(encoder, &header);
    spng_encode_image(encoder, rgba.data(), rgba.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    size_t size = 0;
    int error = 0;
    unsigned char *bytes =
        static_cast<unsigned char *>(spng_get_png_buffer(encoder, &size, &error));
    const Bytes png = bytes == nullptr ? Bytes() : Bytes(bytes, bytes + size);
    free(bytes);
    spng_ctx_free(encoder);
    return png;
}

// Rings of colour: blocks with edges, so the decoder's inverse transform has work to do.
Bytes jpeg_cel() {
    Bytes rgb;
    for (unsigned y = 0; y < SIDE; ++y)
        for (unsigned x = 0; x < SIDE; ++x) {
            const unsigned ring = (x > y ? x : y) / 3;
            rgb.insert(rgb.end(), {static_cast<unsigned char>(40 * ring),
                                   static_cast<unsigned char>(255 - 30 * ring), 150});
        }
    tjhandle compressor = tjInitCompress();
    unsigned char *bytes = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(compressor, rgb.data(), SIDE, 0, SIDE, TJPF_RGB, &bytes, &size,
                                   TJSAMP_444, 90, TJFLAG_ACCURATEDCT);
    const Bytes jpeg = status == 0 ? Bytes(bytes, bytes + size) : Bytes();
    tjFree(bytes);
    tjDestroy(compressor);
    return jpeg;
}

int append_gif(GifFileType *gif, const GifByteType *bytes, int length) {
    Bytes *out = static_cast<Bytes *>(gif->UserData);
    out->insert(out->end(), bytes, bytes + length);
    return length;
}

// Four colours in stripes; colour 0, the background stripe, is transparent.
Bytes gif_cel() {
    Bytes out;
    int error = 0;
    GifFileType *gif = EGifOpen(&out, append_gif, &error);
    if (gif == nullptr) return out;
    const GifColorType colours[4] = {{0, 0, 0}, {220, 40, 40}, {40, 200, 40}, {250, 230, 60}};
    ColorMapObject *map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, SIDE, SIDE, 2, 0, map);
    GraphicsControlBlock control = {DISPOSAL_UNSPECIFIED, false, 0, 0};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
    EGifPutImageDesc(gif, 0, 0, SIDE, SIDE, false, nullptr);
    for (unsigned y = 0; y < SIDE; ++y) {
        GifPixelType row[SIDE];
        for (unsigned x = 0; x < SIDE; ++x)
            row[x] = static_cast<GifPixelType>((x + y) / 4 % 4);
        EGifPutLine(gif, row, SIDE);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

void little_endian(Bytes &out, uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k)
        out.push_back(static_cast<unsigned char>(value >> (8 * k)));
}

// A 24-bit BMP, its rows bottom up: a checkerboard of two colours.
Bytes bmp_cel() {
    const uint32_t row_bytes = SIDE * 3, size = 54 + row_bytes * SIDE;
    Bytes out = {'B', 'M'};
    little_endian(out, size, 4);
    little_endian(out, 0, 4);
    little_endian(out, 54, 4);
    for (uint32_t field : {40u, SIDE, SIDE})
        little_endian(out, field, 4);
    little_endian(out, 1, 2);
    little_endian(out, 24, 2);
    for (int k = 0; k < 6; ++k)
        little_endian(out, 0, 4);
    for (unsigned y = 0; y < SIDE; ++y)
        for (unsigned x = 0; x < SIDE; ++x) {
            const bool dark = (x / 4 + (SIDE - 1 - y) / 4) % 2 == 1;
            out.insert(out.end(), {static_cast<unsigned char>(dark ? 120 : 240), 60,
                                   static_cast<unsigned char>(dark ? 30 : 200)}); // B, G, R
        }
    return out;
}

} // namespace

int write_image_cels(const std::string &dir) {
    const std::pair<const char *, Bytes> files[] = {{"ribbon.png", png_cel()},
                                                    {"photo.jpg", jpeg_cel()},
                                                    {"badge.gif", gif_cel()},
                                                    {"tile.bmp", bmp_cel()}};
    for (const auto &[name, bytes] : files)
        if (bytes.empty() || !write_bytes(dir + "/" + name, bytes)) return 1;
    return 0;
}
