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

TEST(RoundTrip, GiflibDecodesEveryPixel) {
    const std::string dir = make_temp_dir();
    uint32_t seed = 1;
    for (int interlace : {0, 1})
        for (int depth : {4, 8})
            for (unsigned height : {1u, 2u, 3u, 4u, 5u, 8u, 9u, 16u, 17u, 61u})
                for (unsigned width : {1u, 2u, 7u, 33u, 254u, 255u}) {
                    const unsigned stride = depth == 8 ? width : (width + 1) / 2;
                    const Bytes packed = random_bytes(stride * height, ++seed);
                    const unsigned x = seed % 700, y = (seed * 7) % 300;
                    write_file(dir + "/r.cel", cel_file(depth, width, height, packed, x, y));
                    std::vector<std::string> args = {"r.cel"};
                    if (interlace) args.insert(args.begin(), "-I");
                    ASSERT_EQ(run_quondel(dir, args).err, "");
                    Decoded d;
                    const std::string where = std::to_string(depth) + " bits " +
                                              std::to_string(width) + "x" + std::to_string(height);
                    ASSERT_TRUE(decode(dir + "/r.gif", d)) << where;
                    EXPECT_EQ(d.pixels, unpack_pixels(packed, depth, width, height)) << where;
                    EXPECT_EQ(std::vector<int>({d.screen_width, d.screen_height, d.left, d.top,
                                                d.width, d.height, d.transparent, d.interlaced}),
                              std::vector<int>({int(x + width), int(y + height), int(x), int(y),
                                                int(width), int(height), 0, interlace}))
                        << where;
                }
    remove_tree(dir);
}

} // namespace
