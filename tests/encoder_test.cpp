#include "encode/encoder.h"
#include "support.h"

#include <gtest/gtest.h>

namespace {

// Image data for `codes` at `depth`, fed one code at a time or in runs of `run` codes.
Bytes encode(int depth, const Bytes &codes, size_t run = 0) {
    FILE *out = tmpfile();
    reset_encoder();
    encoder_state.clear_code = 1 << depth;
    encoder_state.clear_threshold = encoder_state.clear_code - 2;
    for (size_t at = 0; at < codes.size();) {
        const size_t count = run == 0 ? 1 : std::min(run, codes.size() - at);
        if (run == 0)
            put_code(out, codes[at], depth + 1);
        else
            put_codes(out, codes.data() + at, count, depth + 1);
        at += count;
    }
    finish_image_data(out, (1 << depth) + 1, depth + 1);
    Bytes bytes(static_cast<size_t>(ftell(out)));
    rewind(out);
    EXPECT_EQ(fread(bytes.data(), 1, bytes.size(), out), bytes.size());
    fclose(out);
    return bytes;
}

// The codes a decoder must see: a clear before pixel 13 (0-based), then every 14 (or 253, 254).
std::vector<int> expected_codes(int depth, const Bytes &pixels) {
    const int clear = 1 << depth;
    std::vector<int> codes;
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (i + 1 >= size_t(clear - 2) && (i + 1 - (clear - 2)) % (clear - 2) == 0)
            codes.push_back(clear);
        codes.push_back(pixels[i]);
    }
    codes.push_back(clear + 1);
    return codes;
}

TEST(Encoder, WorkedExamples) {
    EXPECT_EQ(encode(4, {1, 2, 3}), hex_bytes("03 41 8C 08 00"));
    EXPECT_EQ(encode(4, {}), hex_bytes("01 11 00"));
    EXPECT_EQ(encode(8, {}), hex_bytes("02 01 01 00"));
    // 225 codes and the end code end 6 bits short of 255 bytes: no empty sub-block follows.
    const Bytes full = encode(8, random_bytes(225, 7));
    ASSERT_EQ(full.size(), 257u);
    EXPECT_EQ(full.front(), 0xFF);
    EXPECT_EQ(full.back(), 0x00);
}

TEST(Encoder, ClearCadence) {
    struct Case {
        int depth;
        size_t pixels;
        std::vector<size_t> clear_positions; // index in the code stream
    } cases[] = {
        {4, 13, {}},  {4, 14, {13}},   {4, 27, {13}},   {4, 28, {13, 28}},
        {8, 253, {}}, {8, 254, {253}}, {8, 507, {253}}, {8, 508, {253, 508}},
    };
    for (const Case &c : cases) {
        const Bytes pixels(c.pixels, 1);
        const std::vector<int> codes = unpack_codes(encode(c.depth, pixels), 0, c.depth + 1);
        std::vector<size_t> clears;
        for (size_t i = 0; i < codes.size(); ++i)
            if (codes[i] == 1 << c.depth) clears.push_back(i);
        EXPECT_EQ(clears, c.clear_positions) << c.depth << " bits, " << c.pixels << " pixels";
        EXPECT_EQ(codes.back(), (1 << c.depth) + 1);
    }
}

// Every length around the sub-block and cadence boundaries, fed singly and in runs of
// several sizes: the same bytes, valid sub-blocks, and the codes a decoder expects.
TEST(Encoder, RunsMatchSingleCodesAndDecode) {
    for (int depth : {4, 8}) {
        for (size_t count = 0; count < 1200; count += (count < 600 ? 1 : 37)) {
            const Bytes pixels =
                random_bytes(count, uint32_t(count * 31 + depth), (1 << depth) - 1);
            const Bytes single = encode(depth, pixels);
            for (size_t run : {1, 3, 254, 5000})
                ASSERT_EQ(encode(depth, pixels, run), single)
                    << depth << "/" << count << "/" << run;
            size_t at = 0;
            while (single[at] != 0) {
                ASSERT_LE(single[at], 255);
                at += 1 + single[at];
            }
            ASSERT_EQ(at + 1, single.size()) << "one terminator, at the very end";
            ASSERT_EQ(unpack_codes(single, 0, depth + 1), expected_codes(depth, pixels));
        }
    }
}

} // namespace
