#include "encode/encoder.h"
#include "gif_check.h"
#include "support.h"

#include <gtest/gtest.h>

namespace {

// Image data for `codes` at `depth`: one put_code each when `run` is 0, else runs of `run`
// pixels through the fast path (4-bit runs packed two to a byte, each run from a new byte).
Bytes encode(int depth, const Bytes &codes, size_t run = 0) {
    FILE *out = tmpfile();
    start_image_data(depth);
    for (size_t at = 0; at < codes.size();) {
        const size_t count = run == 0 ? 1 : std::min(run, codes.size() - at);
        if (run == 0) {
            put_code(out, codes[at], depth + 1);
        } else if (depth == 8) {
            put_byte_pixels(out, codes.data() + at, count);
        } else {
            Bytes bytes((count + 1) / 2);
            for (size_t i = 0; i < count; ++i)
                bytes[i / 2] |= static_cast<unsigned char>(codes[at + i] << (i % 2 ? 0 : 4));
            put_nibble_pixels(out, bytes.data(), count);
        }
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

// Single codes and runs alike give the worked examples.
TEST(Encoder, WorkedExamples) {
    struct Case {
        int depth;
        Bytes codes;
        Bytes expected;
    } cases[] = {
        {4, {1, 2, 3}, hex_bytes("03 41 8C 08 00")},
        {4, {}, hex_bytes("01 11 00")},
        {8, {}, hex_bytes("02 01 01 00")},
    };
    for (const Case &c : cases)
        for (size_t run : {0, 1, 64})
            EXPECT_EQ(encode(c.depth, c.codes, run), c.expected) << c.depth << "/" << run;
    // 225 codes and the end code end 6 bits short of 255 bytes: no empty sub-block follows.
    for (size_t run : {0, 225}) {
        const Bytes full = encode(8, random_bytes(225, 7), run);
        ASSERT_EQ(full.size(), 257u);
        EXPECT_EQ(full.front(), 0xFF);
        EXPECT_EQ(full.back(), 0x00);
    }
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
    for (const Case &c : cases)
        for (size_t run : {0, 8}) {
            std::vector<size_t> clears;
            decode(encode(c.depth, Bytes(c.pixels, 1), run), c.depth, &clears);
            EXPECT_EQ(clears, c.clear_positions) << c.depth << " bits, " << c.pixels << " pixels";
        }
}

// Every length through the first clear periods and sub-blocks, then lengths around the
// points where the whole layout repeats (1,904 pixels at 4 bits, 2,032 at 8), fed in runs
// of several sizes: the bytes of single codes, and the pixels back.
TEST(Encoder, RunsMatchSingleCodes) {
    const size_t period[] = {0, 0, 0, 0, 1904, 0, 0, 0, 2032};
    for (int depth : {4, 8}) {
        std::vector<size_t> lengths;
        for (size_t n = 0; n < 700; ++n)
            lengths.push_back(n);
        for (size_t n = 700; n < 3 * period[depth] + 300; n += 53)
            lengths.push_back(n);
        for (size_t k = 1; k <= 2; ++k)
            for (size_t n = k * period[depth] - 9; n < k * period[depth] + 9; ++n)
                lengths.push_back(n);
        for (size_t count : lengths) {
            const Bytes pixels =
                random_bytes(count, uint32_t(count * 31 + depth), (1 << depth) - 1);
            const Bytes single = encode(depth, pixels);
            for (size_t run : {1, 3, 7, 8, 113, 254, 5000})
                ASSERT_EQ(encode(depth, pixels, run), single)
                    << depth << " bits, " << count << " pixels, runs of " << run;
            ASSERT_EQ(decode(single, depth), std::vector<int>(pixels.begin(), pixels.end()));
        }
    }
}

} // namespace
