#include "encode/encoder.h"
#include "support.h"

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
        {8, {}, {}, "02 01 01 00"}, // the end code alone
        {4, Bytes(13, 1), {}, nullptr},
        {4, Bytes(14, 1), {13}, nullptr}, // the first comes early
        {4, Bytes(27, 1), {13}, nullptr},
        {4, Bytes(28, 1), {13, 28}, nullptr},
        {8, Bytes(253, 1), {}, nullptr},
        {8, Bytes(254, 1), {253}, nullptr},
        {8, Bytes(507, 1), {253}, nullptr},
        {8, Bytes(508, 1), {253, 508}, nullptr},
    };
    for (const auto &[depth, pixels, where, image_data] : cases)
        for (size_t run : {0, 1, 8, 64}) {
            const Bytes data = encode(depth, pixels, run);
            std::vector<size_t> clears;
            EXPECT_EQ(image_data ? hex_bytes(image_data) : data, data);
            EXPECT_EQ(pixel_codes(data, 0, depth, &clears), pixels);
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
                ASSERT_EQ(pixel_codes(single, 0, depth), pixels);
            }
        }
    use_simd(true);
}

} // namespace
