// GIF image cels through giflib: the first image, on the logical screen (grown to hold it),
// the rest of the screen transparent, and the transparent index of the control extension
// before it.
#include "image/image.h"

#include "common/status.h"

#include <cstring>
#include <gif_lib.h>

namespace {

struct Source {
    const unsigned char *at;
    size_t left;
};

int read_source(GifFileType *gif, GifByteType *buffer, int length) {
    Source &source = *static_cast<Source *>(gif->UserData);
    const size_t n = static_cast<size_t>(length) < source.left ? length : source.left;
    std::memcpy(buffer, source.at, n);
    source.at += n;
    source.left -= n;
    return static_cast<int>(n);
}

// Reads the rows of the image just described, interlaced or not, into `image`.
int read_rows(GifFileType *gif, int transparent, RgbaImage &image) {
    const GifImageDesc &d = gif->Image;
    const ColorMapObject *map = d.ColorMap != nullptr ? d.ColorMap : gif->SColorMap;
    if (map == nullptr) return STATUS_NOT_DOLL_CEL;
    std::vector<GifPixelType> line(static_cast<size_t>(d.Width));
    static const int first[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    for (int pass = d.Interlace ? 0 : 3; pass < 4; ++pass)
        for (int y = d.Interlace ? first[pass] : 0; y < d.Height;
             y += d.Interlace ? step[pass] : 1) {
            if (DGifGetLine(gif, line.data(), d.Width) != GIF_OK) return STATUS_NOT_DOLL_CEL;
            unsigned char *out = &image.rgba[(static_cast<size_t>(d.Top + y) * image.width +
                                              static_cast<size_t>(d.Left)) *
                                             4];
            for (int x = 0; x < d.Width; ++x, out += 4) {
                const int index = line[static_cast<size_t>(x)];
                if (index == transparent) continue;
                // An index beyond the colour table is black, as in a palette cel.
                static const GifColorType black = {0, 0, 0};
                const GifColorType &c = index < map->ColorCount ? map->Colors[index] : black;
                out[0] = c.Red, out[1] = c.Green, out[2] = c.Blue, out[3] = 255;
            }
        }
    return STATUS_OK;
}

int read_first_image(GifFileType *gif, RgbaImage &image) {
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK) return STATUS_NOT_DOLL_CEL;
        if (type == TERMINATE_RECORD_TYPE) return STATUS_NOT_DOLL_CEL; // no image at all
        if (type == EXTENSION_RECORD_TYPE) {
            int code;
            GifByteType *block;
            if (DGifGetExtension(gif, &code, &block) != GIF_OK) return STATUS_NOT_DOLL_CEL;
            GraphicsControlBlock control;
            if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4 &&
                DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                transparent = control.TransparentColor;
            while (block != nullptr)
                if (DGifGetExtensionNext(gif, &block) != GIF_OK) return STATUS_NOT_DOLL_CEL;
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) != GIF_OK) return STATUS_NOT_DOLL_CEL;
            const GifImageDesc &d = gif->Image;
            if (d.Left < 0 || d.Top < 0 || d.Width < 1 || d.Height < 1) return STATUS_NOT_DOLL_CEL;
            const uint64_t width = std::max<uint64_t>(gif->SWidth, uint64_t(d.Left) + d.Width),
                           height = std::max<uint64_t>(gif->SHeight, uint64_t(d.Top) + d.Height);
            const int status = size_image(width, height, image);
            return status == STATUS_OK ? read_rows(gif, transparent, image) : status;
        }
    }
}

} // namespace

int decode_gif(const unsigned char *bytes, size_t size, RgbaImage &image) {
    Source source = {bytes, size};
    int error;
    GifFileType *gif = DGifOpen(&source, read_source, &error);
    if (gif == nullptr) return STATUS_NOT_DOLL_CEL;
    const int status = read_first_image(gif, image);
    DGifCloseFile(gif, &error);
    return status;
}
