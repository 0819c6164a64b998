#include "gif_check.h"

#include <gif_lib.h>

bool decode_gif(const std::string &path, Decoded &d) {
    int error = 0;
    GifFileType *gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) return false;
    GraphicsControlBlock control{0, false, 0, -1};
    const bool ok = DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1 && gif->SColorMap;
    if (ok) {
        DGifSavedExtensionToGCB(gif, 0, &control);
        const SavedImage &image = gif->SavedImages[0];
        const GifImageDesc &desc = image.ImageDesc;
        d.frame = {gif->SWidth, gif->SHeight, desc.Left,      desc.Top,
                   desc.Width,  desc.Height,  desc.Interlace, control.TransparentColor};
        for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
            const GifColorType &c = gif->SColorMap->Colors[i];
            d.colours.insert(d.colours.end(), {c.Red, c.Green, c.Blue});
        }
        d.pixels.assign(image.RasterBits, image.RasterBits + desc.Width * desc.Height);
    }
    DGifCloseFile(gif, &error);
    return ok;
}

std::string read_pixels(const Bytes &gif, size_t at, int depth, Bytes &pixels,
                        std::vector<size_t> *clears) {
    Bytes data;
    for (size_t length; (length = at < gif.size() ? gif[at++] : 256) != 0; at += length) {
        if (at + length > gif.size()) return "no terminator";
        data.insert(data.end(), gif.begin() + at, gif.begin() + at + length);
    }
    const unsigned width = depth + 1, clear = 1u << depth;
    size_t bit = 0;
    for (unsigned code = 0; code != clear + 1; bit += width) {
        if (bit + width > data.size() * 8) return "no end code";
        code =
            (data[bit / 8] | data[(bit + width - 1) / 8] << 8) >> (bit % 8) & ((1u << width) - 1);
        if (code < clear) pixels.push_back(static_cast<unsigned char>(code));
        if (code == clear && clears != nullptr) clears->push_back(bit / width);
        if (code > clear + 1) return "a code above the end code";
    }
    return (bit + 7) / 8 == data.size() ? "" : "bytes after the end code";
}
