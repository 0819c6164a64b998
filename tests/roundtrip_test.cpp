// Outputs decoded by giflib, an independent decoder, must give back the cel.
#include "support.h"

namespace {

using RoundTrip = TempDirTest;

// Each row stresses what a decoder could trip on: interlace passes, odd widths whose last
// nibble is unused, rows around a sub-block, many clear codes, the headerless form.
TEST_F(RoundTrip, GiflibDecodesEveryPixel) {
    const struct {
        int interlace, depth;
        unsigned width, height, x, y;
        bool headerless;
    } cases[] = {
        {0, 4, 1, 1, 0, 0, false},    {1, 4, 7, 9, 3, 5, false},    {0, 4, 33, 17, 700, 0, false},
        {1, 4, 254, 5, 0, 1, false},  {0, 8, 255, 3, 9, 9, false},  {1, 8, 1, 8, 0, 0, false},
        {0, 8, 2, 61, 0, 300, false}, {1, 8, 255, 16, 4, 4, false}, {0, 4, 21, 11, 0, 0, true},
        {1, 4, 21, 11, 0, 0, true},   {0, 4, 4, 4, 0, 0, true},
    };
    for (const auto &c : cases) {
        const Bytes packed =
            random_bytes((c.depth == 8 ? c.width : (c.width + 1) / 2) * c.height, c.width);
        write_file(path("r.cel"), c.headerless
                                      ? old_cel_file(c.width, c.height, packed)
                                      : cel_file(c.depth, c.width, c.height, packed, c.x, c.y));
        ASSERT_EQ(run_quondel(dir, c.interlace ? std::vector<std::string>{"-I", "r.cel"}
                                               : std::vector<std::string>{"r.cel"})
                      .err,
                  "");
        Decoded d;
        ASSERT_TRUE(decode_gif(path("r.gif"), d)) << c.width << "x" << c.height;
        EXPECT_EQ(d.pixels, unpack_pixels(packed, c.depth, c.width, c.height))
            << c.width << "x" << c.height;
        EXPECT_EQ(d.frame, std::vector<int>({int(c.x + c.width), int(c.y + c.height), int(c.x),
                                             int(c.y), int(c.width), int(c.height), c.interlace}));
        EXPECT_EQ(d.transparent, 0);
    }
}

} // namespace
