#include "gif_check.h"

#include <cstring>

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

std::string decode_lzw(const Bytes &gif, size_t at, int code_size, Bytes &pixels,
                       std::vector<size_t> *widenings, std::vector<size_t> *clears, bool plain) {
    Bytes data;
    for (size_t length; (length = at < gif.size() ? gif[at++] : 256) != 0; at += length) {
        if (at + length > gif.size()) return "no terminator";
        data.insert(data.end(), gif.begin() + at, gif.begin() + at + length);
    }
    const unsigned clear = 1u << code_size;
    std::vector<unsigned> prefix(4096), length(4096, 1);
    Bytes suffix(4096), first(4096);
    for (unsigned c = 0; c < clear; ++c)
        suffix[c] = first[c] = static_cast<unsigned char>(c);
    unsigned width = code_size + 1, next = clear + 2, previous = 4096;
    size_t bit = 0, since_clear = 0;
    for (size_t codes = 0;; ++codes) {
        if (bit + width > data.size() * 8) return "no end code";
        unsigned code = 0;
        for (unsigned i = 0; i < width; ++i, ++bit)
            code |= (data[bit / 8] >> (bit % 8) & 1u) << i;
        if (code == clear) {
            width = code_size + 1, next = clear + 2, previous = 4096, since_clear = 0;
            if (clears != nullptr) clears->push_back(codes);
            continue;
        }
        if (code == clear + 1) break;
        if (plain && code > clear) return "a code above the end code";
        ++since_clear;
        if (code > next || (code == next && previous == 4096) || code == 4096)
            return "a code not in the table";
        if (previous != 4096 && next < 4096) { // the string before, and this one's first pixel
            prefix[next] = previous;
            first[next] = first[previous];
            suffix[next] = code == next ? first[previous] : first[code];
            length[next] = length[previous] + 1;
            if (++next == 1u << width && width < 12) {
                if (plain) return "a code wider than the first";
                ++width;
                if (widenings != nullptr) widenings->push_back(since_clear);
            }
        }
        pixels.resize(pixels.size() + length[code]);
        for (unsigned c = code, i = 0; i < length[code]; ++i, c = prefix[c])
            pixels[pixels.size() - 1 - i] = suffix[c];
        previous = code;
    }
    return (bit + 7) / 8 == data.size() ? "" : "bytes after the end code";
}

size_t image_data_start(const Bytes &gif) {
    const size_t table = size_t{3} << ((gif.at(10) & 7) + 1);
    return 13 + table + 11 + (gif.at(13 + table) == 0x21 ? 8 : 0);
}

bool play(const std::string &file, Played &p) {
    int error = 0;
    GifFileType *gif = DGifOpenFileName(file.c_str(), &error);
    if (gif == nullptr) return false;
    bool ok = DGifSlurp(gif) == GIF_OK && gif->SColorMap != nullptr, loops = false;
    for (int i = 0; ok && i < gif->SColorMap->ColorCount; ++i) {
        const GifColorType &c = gif->SColorMap->Colors[i];
        p.table.push_back(uint32_t(c.Red) << 16 | c.Green << 8 | c.Blue);
    }
    Canvas screen(size_t(gif->SWidth) * gif->SHeight, 0xFF000000); // nothing drawn yet
    for (int k = 0; ok && k < gif->ImageCount; ++k) {
        const SavedImage &image = gif->SavedImages[k];
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e)
            loops |= image.ExtensionBlocks[e].Function == APPLICATION_EXT_FUNC_CODE &&
                     memcmp(image.ExtensionBlocks[e].Bytes, "NETSCAPE2.0", 11) == 0 &&
                     memcmp(image.ExtensionBlocks[e + 1].Bytes, "\1\0\0", 3) == 0;
        GraphicsControlBlock control{0, false, -1, -1};
        const bool has_control = DGifSavedExtensionToGCB(gif, k, &control) == GIF_OK;
        ok = !has_control || control.DisposalMode == DISPOSE_DO_NOT;
        const GifImageDesc &d = image.ImageDesc;
        p.frames += " " + std::to_string(d.Left) + "," + std::to_string(d.Top) + "," +
                    std::to_string(d.Width) + "x" + std::to_string(d.Height) + "/" +
                    (has_control ? std::to_string(control.DelayTime) : "-") +
                    (control.TransparentColor == 0 ? "*" : "");
        p.delays.push_back(has_control ? control.DelayTime : 0);
        p.transparent |= control.TransparentColor == 0;
        for (int i = 0; i < d.Width * d.Height; ++i)
            if (image.RasterBits[i] != control.TransparentColor)
                screen[(d.Top + i / d.Width) * gif->SWidth + d.Left + i % d.Width] =
                    p.table[image.RasterBits[i]];
        p.pictures.push_back(screen);
    }
    p.frames = loops ? "loop" + p.frames : p.frames.substr(1);
    DGifCloseFile(gif, &error);
    return ok;
}
