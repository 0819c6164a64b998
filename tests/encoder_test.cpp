#include "convert/gif_container.h"
#include "encode/encoder.h"
#include "encode/lzw.h"
#include "support.h"

#include <malloc.h>

namespace {

// Image data for `pixels`: one put_code each when `run` is 0, else runs of `run` pixels on
// the fast path (4-bit runs packed two to a byte, each run from a new byte).
Bytes encode(int depth, const Bytes &pixels, size_t run = 0) {
    char *buffer = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&buffer, &size);
    start_image_data(depth);
    for (size_t at = 0, count; at < pixels.size(); at += count) {
        count = run == 0 ? 1 : std::min(run, pixels.size() - at);
        const Bytes packed = pack_rows(4, count, Bytes(&pixels[at], &pixels[at] + count));
        if (run == 0)
            put_code(out, pixels[at], depth + 1);
        else if (depth == 8)
            put_byte_pixels(out, &pixels[at], count);
        else
            put_nibble_pixels(out, packed.data(), count);
    }
    finish_image_data(out, (1 << depth) + 1, depth + 1);
    fclose(out);
    const Bytes data(buffer, buffer + size);
    free(buffer);
    return data;
}

// The clear code stands where due (its index in the code stream), single codes and runs alike.
TEST(Encoder, WorkedExamplesAndClearCadence) {
    // Each row: the depth, the pixels, where the clear codes stand, the image data if given.
    const std::tuple<int, Bytes, std::vector<size_t>, const char *> cases[] = {
        {4, {}, {}, "01 11 00"},
        {8, {}, {}, "02 01 01 00"},       // the end code alone
        {4, Bytes(13, 1), {}, nullptr},   // none just before the end code
        {4, Bytes(14, 1), {13}, nullptr}, // the first comes early
        {4, Bytes(28, 1), {13, 28}, nullptr},
        {8, Bytes(253, 1), {}, nullptr},
        {8, Bytes(254, 1), {253}, nullptr},
        {8, Bytes(508, 1), {253, 508}, nullptr},
    };
    for (const auto &[depth, pixels, where, image_data] : cases)
        for (size_t run : {0, 1, 8, 64}) {
            const Bytes data = encode(depth, pixels, run);
            std::vector<size_t> clears;
            EXPECT_EQ(image_data ? hex_bytes(image_data) : data, data);
            Bytes codes;
            EXPECT_EQ(decode_lzw(data, 0, depth, codes, nullptr, &clears, true), "");
            EXPECT_EQ(codes, pixels);
            EXPECT_EQ(clears, where) << depth << " bits, " << pixels.size() << " pixels";
        }
    // 225 codes and the end code fill 255 bytes but for the fill bits: no empty sub-block.
    const Bytes full = encode(8, random_bytes(225, 7), 225);
    EXPECT_EQ(full.size() * 256 + full.front(), 257u * 256 + 0xFF);
}

// Every length through the first sub-blocks, then around the points where the layout
// repeats (1,904 pixels at 4 bits, 2,032 at 8), in runs of several sizes, on the portable
// path and, where the processor has it, the BMI2 one.
TEST(Encoder, RunsMatchSingleCodes) {
    for (bool simd : {false, true})
        for (int depth : {4, 8}) {
            if (use_simd(simd) != simd) continue;
            const size_t period = depth == 4 ? 1904 : 2032;
            // Every length near the start and near each period's end, others in steps of 53.
            for (size_t count = 0; count < 3 * period + 300;
                 count += count < 700 || (count + 60) % period < 70 ? 1 : 53) {
                const Bytes pixels = random_bytes(count, uint32_t(count), (1 << depth) - 1);
                const Bytes single = encode(depth, pixels);
                // 2710 pixels leave the stream between two sub-blocks but off the layout.
                for (size_t run : {1, 3, 7, 8, 113, 254, 2710, 5000})
                    ASSERT_EQ(encode(depth, pixels, run), single)
                        << depth << "/" << count << "/" << run;
                Bytes codes;
                ASSERT_EQ(decode_lzw(single, 0, depth, codes, nullptr, nullptr, true), "");
                ASSERT_EQ(codes, pixels);
            }
        }
    use_simd(true);
}

// A whole GIF of `pixels` in LZW segments ending at `ends`, with `choices`; without ends, as
// a cel goes: through the window in pieces of 1,000 (4-bit pixels two to a byte).
Bytes lzw_gif(const std::string &path, int code_size, const Bytes &pixels,
              const std::vector<size_t> &ends, const LzwChoices &choices = LZW_CHOICES) {
    FILE *out = fopen(path.c_str(), "wb");
    const unsigned width = std::min<unsigned>(1000, pixels.size()), height = pixels.size() / width;
    const Bytes colours(768, 0);
    write_gif_head(out,
                   GifLayout{width, height, 0, 0, width, height, code_size, colours.data(), 0, 0});
    LzwStream lzw{};
    EXPECT_EQ(lzw_begin(lzw, code_size, pixels.size(), choices), 0);
    if (!ends.empty()) lzw_put_segments(out, lzw, pixels.data(), ends);
    for (size_t at = 0, n; ends.empty() && at < pixels.size(); at += n) {
        n = std::min<size_t>(1000, pixels.size() - at);
        const Bytes piece(&pixels[at], &pixels[at] + n), packed = pack_rows(4, n, piece);
        if (code_size == 8)
            lzw_put_bytes(out, lzw, piece.data(), n);
        else
            lzw_put_nibbles(out, lzw, packed.data(), n);
    }
    lzw_end(out, lzw);
    write_gif_trailer(out);
    fclose(out);
    return read_file(path);
}

// Widths grow where a decoder's table reaches 2^n entries, stay at 12 bits while the table
// stays full (no clear for hundreds of thousands of pixels, then a late one), and start again
// after each clear; giflib reads every case.
TEST(Lzw, WidthsFullTablesAndClears) {
    // Each row: the code size, the pixels, the segments' ends, the codes read since the last
    // clear at each widening (2^n - clear code - 1, up to 12 bits).
    const Bytes mixed = random_bytes(3000, 3, 15);
    const std::tuple<int, Bytes, std::vector<size_t>, std::vector<size_t>> cases[] = {
        // full from about 30,000 pixels on
        {2, random_bytes(300000, 1, 1), {300000}, {3, 11, 27, 59, 123, 251, 507, 1019, 2043}},
        // a clear long after the table filled
        {8, random_bytes(400000, 2, 3), {250000, 400000}, {255, 767, 1791, 255, 767, 1791}},
        {4, mixed, {700, 3000}, {15, 47, 111, 239, 15, 47, 111, 239, 495, 1007}},
        {8, Bytes(100000, 9), {100000}, {255}}, // one colour: long codes, never full
    };
    const std::string path = "/tmp/quondel-lzw-" + std::to_string(getpid()) + ".gif";
    for (const auto &[code_size, pixels, ends, expected] : cases) {
        const Bytes gif = lzw_gif(path, code_size, pixels, ends);
        Bytes decoded;
        std::vector<size_t> widenings;
        EXPECT_EQ(decode_lzw(gif, image_data_start(gif), code_size, decoded, &widenings), "");
        EXPECT_EQ(decoded, pixels) << code_size;
        EXPECT_EQ(widenings, expected) << code_size;
        Decoded d;
        ASSERT_TRUE(decode_gif(path, d));
        EXPECT_EQ(d.pixels, pixels) << code_size;
    }
    unlink(path.c_str());
}

// Pictures larger than the window go out window by window: noise as plain codes, flat areas
// compressed, each window's last segment carried into the next; every pixel comes back once.
TEST(Lzw, WindowAfterWindow) {
    Bytes mixed = random_bytes(2500, 6), flat(3000, 7);
    mixed.insert(mixed.end(), flat.begin(), flat.end());
    mixed.insert(mixed.end(), flat.begin(), flat.begin() + 1234);
    const Bytes nibbles = random_bytes(7001, 8, 15);
    LzwChoices small = LZW_CHOICES;
    small.window = 1500, small.probe = 300, small.min_spacing = 100;
    const std::string path = "/tmp/quondel-window-" + std::to_string(getpid()) + ".gif";
    size_t held = 0; // a second pass may hold no more memory than the first left
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto &[code_size, pixels] :
             {std::pair{8, random_bytes(4000, 5)}, std::pair{8, mixed}, std::pair{4, nibbles}}) {
            const Bytes gif = lzw_gif(path, code_size, pixels, {}, small);
            Bytes decoded;
            EXPECT_EQ(decode_lzw(gif, image_data_start(gif), code_size, decoded, nullptr), "");
            EXPECT_EQ(decoded, pixels) << code_size << "/" << pixels.size();
        }
        EXPECT_TRUE(pass == 0 || mallinfo2().uordblks <= held) << "memory kept";
        held = mallinfo2().uordblks;
    }
    unlink(path.c_str());
}

// Planned clears pay: never more bits than clearing whenever the table fills (one chain the
// search weighs), and fewer than never clearing where the picture changes its colours.
TEST(Lzw, PlannedClearsPay) {
    Bytes pixels = random_bytes(150000, 4, 15), second = random_bytes(150000, 5, 15);
    for (unsigned char &pixel : second)
        pixel = static_cast<unsigned char>(pixel + 16);
    pixels.insert(pixels.end(), second.begin(), second.end());
    const std::string path = "/tmp/quondel-plan-" + std::to_string(getpid()) + ".gif";
    LzwChoices greedy = LZW_CHOICES;
    greedy.candidates_per_life = 0;
    std::vector<size_t> planned = plan_clears(pixels.data(), pixels.size(), 8, LZW_CHOICES),
                        fills = plan_clears(pixels.data(), pixels.size(), 8, greedy);
    planned.push_back(pixels.size()), fills.push_back(pixels.size());
    const size_t with_plan = lzw_gif(path, 8, pixels, planned).size(),
                 when_full = lzw_gif(path, 8, pixels, fills).size(),
                 never = lzw_gif(path, 8, pixels, {pixels.size()}).size();
    EXPECT_LE(with_plan, when_full);
    EXPECT_LT(with_plan * 10, never * 9);
    unlink(path.c_str());
}

// The lookahead takes a shorter match when the match after it then reaches further, but while
// the table grows only for the margin asked (each such code wastes a table entry).
TEST(Lzw, LookaheadAndItsMargin) {
    const Bytes pixels = {1, 2, 2, 2, 1, 2, 2, 1};
    const std::tuple<int, int, size_t> cases[] = {{0, 1, 6}, {8, 1, 5}, {8, 5, 6}};
    for (const auto &[tries, margin, codes] : cases) {
        LzwChoices choices = LZW_CHOICES;
        choices.shorter_tries = tries;
        choices.margin_growing = margin;
        std::vector<uint16_t> made;
        LzwTable table;
        start_table(table, 2);
        parse_segment(pixels.data(), pixels.size(), choices, table, made);
        EXPECT_EQ(made.size(), codes) << tries << "/" << margin;
    }
}

} // namespace
