#include "encode/encoder.h"
#include "gif_check.h"
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

// The pixel codes in image data, and where the clear codes stand; fails on any fault.
std::vector<int> decode(const Bytes &data, int depth, std::vector<size_t> *clears = nullptr) {
    std::vector<int> pixels;
    size_t at = 0;
    EXPECT_EQ(read_image_data(data, at, depth, pixels, clears), "");
    EXPECT_EQ(at, data.size()) << "one terminator, at the very end";
    return pixels;
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
        std::vector<size_t> clears;
        decode(encode(c.depth, Bytes(c.pixels, 1)), c.depth, &clears);
        EXPECT_EQ(clears, c.clear_positions) << c.depth << " bits, " << c.pixels << " pixels";
    }
}

// Every length around the sub-block and cadence boundaries, fed singly and in runs of
// several sizes: the same bytes, valid sub-blocks and cadence, and the pixels back.
TEST(Encoder, RunsMatchSingleCodesAndDecode) {
    for (int depth : {4, 8}) {
        for (size_t count = 0; count < 1200; count += (count < 600 ? 1 : 37)) {
            const Bytes pixels =
                random_bytes(count, uint32_t(count * 31 + depth), (1 << depth) - 1);
            const Bytes single = encode(depth, pixels);
            for (size_t run : {1, 3, 254, 5000})
                ASSERT_EQ(encode(depth, pixels, run), single)
                    << depth << "/" << count << "/" << run;
            ASSERT_EQ(decode(single, depth), std::vector<int>(pixels.begin(), pixels.end()));
        }
    }
}

} // namespace
