// Outputs decoded by giflib, an independent decoder, must give back the cel.
#include "support.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

namespace {

struct Decoded {
    int screen_width, screen_height, left, top, width, height, transparent, interlaced;
    Bytes pixels;
};

bool decode(const std::string &file, Decoded &d) {
    int error = 0;
    GifFileType *gif = DGifOpenFileName(file.c_str(), &error);
    if (gif == nullptr) return false;
    GraphicsControlBlock control{};
    const bool ok = DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1 &&
                    DGifSavedExtensionToGCB(gif, 0, &control) == GIF_OK;
    if (ok) {
        const SavedImage &image = gif->SavedImages[0];
        const GifImageDesc &desc = image.ImageDesc;
        d = {gif->SWidth,
             gif->SHeight,
             desc.Left,
             desc.Top,
             desc.Width,
             desc.Height,
             control.TransparentColor,
             desc.Interlace,
             Bytes(image.RasterBits, image.RasterBits + desc.Width * desc.Height)};
    }
    DGifCloseFile(gif, &error);
    return ok;
}

// One pixel per byte, from the cel's own packing.
Bytes unpack_pixels(const Bytes &packed, int depth, unsigned width, unsigned height) {
    if (depth == 8) return packed;
    Bytes pixels;
    const unsigned stride = (width + 1) / 2;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            const unsigned char byte = packed[y * stride + x / 2];
            pixels.push_back(x % 2 ? byte & 0x0F : byte >> 4);
        }
    return pixels;
}

// Each row stresses one thing a decoder could trip on: interlace passes, odd widths whose
// last nibble is unused, widths around a sub-block, the headerless form.
TEST(RoundTrip, GiflibDecodesEveryPixel) {
    struct Case {
        int interlace, depth;
        unsigned width, height, x, y;
        bool old_style;
    } cases[] = {
        {0, 4, 1, 1, 0, 0, false},     {1, 4, 7, 9, 3, 5, false},    // odd width, 4 passes
        {0, 4, 33, 17, 700, 0, false}, {1, 4, 254, 5, 0, 1, false},  // nibbles in whole rows
        {0, 8, 255, 3, 9, 9, false},   {1, 8, 1, 8, 0, 0, false},    // sub-block width, one column
        {0, 8, 2, 61, 0, 300, false},  {1, 8, 255, 16, 4, 4, false}, // many clears, every pass
        {0, 4, 21, 11, 0, 0, true},    {1, 4, 21, 11, 0, 0, true},   // headerless, odd width
        {0, 4, 4, 4, 0, 0, true},                                    // headerless, 12 bytes
    };
    const std::string dir = make_temp_dir();
    uint32_t seed = 1;
    for (const Case &c : cases) {
        const unsigned stride = c.depth == 8 ? c.width : (c.width + 1) / 2;
        const Bytes packed = random_bytes(stride * c.height, ++seed);
        write_file(dir + "/r.cel", c.old_style
                                       ? old_cel_file(c.width, c.height, packed)
                                       : cel_file(c.depth, c.width, c.height, packed, c.x, c.y));
        std::vector<std::string> args = {"r.cel"};
        if (c.interlace) args.insert(args.begin(), "-I");
        ASSERT_EQ(run_quondel(dir, args).err, "");
        Decoded d;
        const std::string where = std::to_string(c.depth) + " bits " + std::to_string(c.width) +
                                  "x" + std::to_string(c.height);
        ASSERT_TRUE(decode(dir + "/r.gif", d)) << where;
        EXPECT_EQ(d.pixels, unpack_pixels(packed, c.depth, c.width, c.height)) << where;
        EXPECT_EQ(std::vector<int>({d.screen_width, d.screen_height, d.left, d.top, d.width,
                                    d.height, d.transparent, d.interlaced}),
                  std::vector<int>({int(c.x + c.width), int(c.y + c.height), int(c.x), int(c.y),
                                    int(c.width), int(c.height), 0, c.interlace}))
            << where;
    }
    remove_tree(dir);
}

} // namespace
