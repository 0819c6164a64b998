// Pixels in, pixels out: the codes each scan takes from the input, and what giflib, an
// independent decoder, gives back.
#include "common/run_state.h"
#include "support.h"

namespace {

using RoundTrip = TempDirTest;

struct Case {
    int interlace, depth;
    unsigned width, height, x, y;
    Bytes input, expected; // the file, and the pixel codes it must give
};

Case cel(int interlace, int depth, unsigned width, unsigned height, const Bytes &pixels,
         const Bytes &expected) {
    return {interlace, depth, width, height, 0, 0, cel_file(depth, width, height, pixels),
            expected};
}

// Random pixels; depth 0 is a 4-bit cel in the headerless form.
Case random_cel(int interlace, int depth, unsigned width, unsigned height, unsigned x = 0,
                unsigned y = 0) {
    const int bits = std::max(depth, 4);
    const Bytes pixels = random_bytes(size_t{width} * height, width, (1 << bits) - 1),
                packed = pack_rows(bits, width, pixels),
                file = depth ? cel_file(depth, width, height, packed, x, y)
                             : old_cel_file(width, height, packed);
    return {interlace, bits, width, height, x, y, file, pixels};
}

TEST_F(RoundTrip, PixelsComeBack) {
    const Case cases[] = {
        cel(0, 8, 2, 1, {5, 6, 7, 8}, {5, 6, 7, 8}), // 8-bit: every byte to the end of the file
        cel(1, 8, 2, 1, {5, 6, 7, 8}, {5, 6}),       // interlaced: the declared area only
        cel(0, 4, 3, 2, hex_bytes("12 3F 45 6F 77"), {1, 2, 3, 4, 5, 6}), // odd width, extra byte
        cel(0, 4, 3, 2, hex_bytes("12 3F 45"), {1, 2, 3, 4, 5}),          // short: fewer pixels
        cel(1, 4, 3, 2, hex_bytes("12 3F 45"), {1, 2, 3, 4, 5, 0}),       // short: zero-filled
        cel(0, 4, 0, 9, {0x12}, {}),                                      // no width
        cel(1, 8, 5, 0, {0x12}, {}),                                      // no height
        random_cel(0, 8, 300, 300, 9, 9),                                 // more than one chunk
        random_cel(0, 4, 1001, 140),         // odd width, more than one chunk
        random_cel(1, 4, 7, 9, 3, 5),        // every pass, odd width
        random_cel(1, 8, 255, 17, 4, 65000), // every pass, rows of a sub-block's size
        random_cel(1, 8, 33000, 3),          // rows longer than the runs they are gathered in
        random_cel(1, 0, 21, 11),
        random_cel(0, 0, 4, 4), // headerless, 12 bytes
    };
    for (const Case &c : cases) {
        run_state.interlace = c.interlace;
        const Bytes out = convert_here(dir, c.input);
        const Bytes codes = pixel_codes(out, cel_data_start(c.depth), c.depth);
        // Interlaced codes follow the passes; with two rows or fewer that is the rows' order.
        EXPECT_TRUE(codes == c.expected || (c.interlace && c.height > 2)) << c.width;
        Decoded d;
        if (c.expected.empty() || c.expected.size() != c.width * c.height) continue;
        ASSERT_TRUE(decode_gif(path("in.gif"), d)) << c.width;
        EXPECT_EQ(d.pixels, c.expected) << c.width;
        EXPECT_EQ(d.frame,
                  std::vector<int>({int((c.x + c.width) & 0xFFFF), int(c.y + c.height), int(c.x),
                                    int(c.y), int(c.width), int(c.height), c.interlace, 0}));
    }
}

} // namespace
