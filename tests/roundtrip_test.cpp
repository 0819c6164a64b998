// Pixels in, pixels out: the codes each scan takes from the input, and what giflib, an
// independent decoder, gives back.
#include "common/run_state.h"
#include "doll_like.h"
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

// A doll-like picture; `rows` of its declared height in the file (all when 0).
Case doll_cel(int interlace, int depth, unsigned width, unsigned height, unsigned rows = 0) {
    const Bytes pixels = doll_like_pixels(width, height, depth, width);
    Bytes packed = pack_rows(depth, width, pixels), expected = pixels;
    if (rows != 0) {
        packed.resize(packed.size() / height * rows + 7); // and a few pixels of the next row
        expected.resize(interlace ? pixels.size() : size_t{width} * rows + 7);
        std::fill(expected.begin() + width * rows + 7, expected.end(), 0);
    }
    return {interlace, depth, width, height, 0, 0, cel_file(depth, width, height, packed),
            expected};
}

// With -z too: the same pixels, never a larger file.
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
        random_cel(0, 0, 5, 4), // headerless, odd width, 16 bytes
        doll_cel(0, 8, 1001, 203),
        doll_cel(1, 8, 640, 480),
        doll_cel(0, 4, 333, 101),
        doll_cel(1, 4, 201, 99),
        doll_cel(0, 8, 250, 300, 77),
        doll_cel(1, 8, 250, 300, 77),
    };
    for (const Case &c : cases)
        for (int compress : {0, 1}) {
            run_state.interlace = c.interlace;
            run_state.compress = compress;
            const Bytes out = convert_here(dir, c.input),
                        plain = compress ? read_file(path("plain.gif")) : out;
            write_file(path("plain.gif"), out);
            EXPECT_LE(out.size(), plain.size()) << c.width;
            Bytes codes;
            const size_t at = image_data_start(out);
            EXPECT_EQ(decode_lzw(out, at, out[at - 1], codes), "") << c.width;
            // Interlaced codes follow the passes; with two rows or fewer that is the rows' order.
            EXPECT_TRUE(codes == c.expected || (c.interlace && c.height > 2)) << c.width;
            Decoded d;
            if (c.expected.empty() || c.expected.size() != c.width * c.height) continue;
            ASSERT_TRUE(decode_gif(path("in.gif"), d)) << c.width;
            EXPECT_EQ(d.pixels, c.expected) << c.width;
            EXPECT_EQ(d.frame, std::vector<int>({int((c.x + c.width) & 0xFFFF), int(c.y + c.height),
                                                 int(c.x), int(c.y), int(c.width), int(c.height),
                                                 c.interlace, 0}));
        }
}

// -z trims the colour table to the smallest power of two (2 at least) that holds the highest
// index used; the LZW code size follows it (2 at least); the indices stay as they were.
TEST_F(RoundTrip, SmallestColourTable) {
    const std::pair<unsigned char, int> cases[] = {{0, 2},    {1, 2},     {2, 4},    {3, 4},
                                                   {4, 8},    {15, 16},   {16, 32},  {63, 64},
                                                   {64, 128}, {128, 256}, {255, 256}};
    run_state.compress = 1;
    for (int interlace : {0, 1})
        for (const auto &[highest, entries] : cases) {
            run_state.interlace = interlace;
            const Bytes pixels = {0, highest, 1, 0, highest, highest};
            const Bytes out = convert_here(dir, cel_file(8, 3, 2, pixels));
            const size_t at = image_data_start(out);
            EXPECT_EQ((2 << (out[10] & 7)) * 10 + out[at - 1],
                      entries * 10 + std::max(2, __builtin_ctz(entries)))
                << int(highest);
            Decoded d;
            ASSERT_TRUE(decode_gif(path("in.gif"), d));
            EXPECT_EQ(d.pixels, pixels);
        }
    // A 4-bit cel's unused nibble (odd width) is no pixel.
    run_state.interlace = 0;
    const Bytes odd = convert_here(dir, cel_file(4, 3, 1, {0x12, 0x3F}));
    EXPECT_EQ(odd[10] & 7, 1) << "4 entries for indices 1 to 3";
}

// 32-bit cels in their own colours, read back by giflib. Each row: the cel (blue, green, red,
// alpha per pixel), -I or not, the frame giflib sees, each pixel's colour (-1 transparent),
// and how many steps a channel may be off.
TEST_F(RoundTrip, ThirtyTwoBitCels) {
    Bytes greys;
    std::vector<int> grey_colours;
    for (int k = 0; k < 256; ++k) {
        greys.insert(greys.end(), {static_cast<unsigned char>(k), static_cast<unsigned char>(k),
                                   static_cast<unsigned char>(k), 255});
        grey_colours.push_back(k * 0x010101);
    }
    std::vector<int> one_row(65535, -1), short_greys = grey_colours;
    short_greys.back() = -1; // the pixel the file lacks
    one_row[0] = 0x030201;
    const Bytes alpha = cel32_file(4, 1, hex_bytes("0 0 FF FF 0 FF 0 80 FF 0 0 7F 9 9 9 0")),
                marked = cel32_file(2, 3, hex_bytes("1 2 3 FF 4 5 6 FF 7 8 9 FF"), 5, 6, 0x20),
                short_cel = cel32_file(16, 16, Bytes(greys.begin(), greys.end() - 4)),
                huge = cel32_file(65535, 65535, hex_bytes("1 2 3 FF"));
    const std::vector<int> square = {16, 16, 0, 0, 16, 16, 0, 0};
    const std::tuple<Bytes, int, std::vector<int>, std::vector<int>, int> cases[] = {
        // alpha 127 is transparent, 128 is not
        {alpha, 0, {4, 1, 0, 0, 4, 1, 0, 0}, {0xFF0000, 0x00FF00, -1, -1}, 0},
        // marked 0x20, interlaced, at an offset; the file ends in the second row
        {marked, 1, {7, 9, 5, 6, 2, 2, 1, 0}, {0x030201, 0x060504, 0x090807, -1}, 0},
        // 255 colours and a transparent pixel fit exactly; 256 greys are one step off at most
        {short_cel, 0, square, short_greys, 0},
        {cel32_file(16, 16, greys), 0, square, grey_colours, 1},
        // 65535 x 65535 declared, one pixel held: one row goes out, at once
        {huge, 0, {65535, 65535, 0, 0, 65535, 1, 0, 0}, one_row, 0},
    };
    for (const auto &[file, interlace, frame, colours, off] : cases) {
        run_state.interlace = interlace;
        convert_here(dir, file);
        Decoded d;
        ASSERT_TRUE(decode_gif(path("in.gif"), d)) << colours.size();
        EXPECT_EQ(d.frame, frame);
        ASSERT_EQ(d.pixels.size(), colours.size()) << frame[4];
        for (size_t i = 0; i < colours.size(); ++i) {
            const unsigned char *rgb = &d.colours[d.pixels[i] * 3];
            const int got = d.pixels[i] == 0 ? -1 : rgb[0] << 16 | rgb[1] << 8 | rgb[2];
            for (int shift : {0, 8, 16})
                EXPECT_LE(abs((got >> shift & 0xFF) - (colours[i] >> shift & 0xFF)), off)
                    << i << (got == -1 ? " transparent" : "");
        }
    }
}

} // namespace
