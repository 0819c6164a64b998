#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "support.h"

#include <cstring>

namespace {

class Convert : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::memset(&run_state.palette, 0, sizeof run_state.palette);
        run_state.interlace = 0;
    }
};

Bytes gif(const char *screen, size_t table, const char *descriptor, const char *data) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    for (const Bytes &part : {hex_bytes(screen), Bytes(table, 0), hex_bytes("21 F9 04 01 0 0 0 0"),
                              hex_bytes(descriptor), hex_bytes(data), hex_bytes("3B")})
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

TEST_F(Convert, WorkedExamplesByteForByte) {
    const struct {
        int interlace;
        Bytes input, gif;
    } cases[] = {
        {0, cel_file(4, 3, 1, {0x12, 0x30}),
         gif("03 00 01 00 B3 0 0", 48, "2C 0 0 0 0 03 00 01 00 00 04", "03 41 8C 08 00")},
        // No pixel bytes: the end code alone. The screen size wraps at 65536.
        {0, cel_file(8, 10, 3, {}, 65530, 65535),
         gif("04 00 02 00 F7 0 0", 768, "2C FA FF FF FF 0A 00 03 00 00 08", "02 01 01 00")},
        {1, cel_file(4, 2, 5, {0x12, 0x34, 0x56, 0x78, 0x9A}),
         gif("02 00 05 00 B3 0 0", 48, "2C 0 0 0 0 02 00 05 00 40 04",
             "07 41 24 55 CC 20 07 45 00")},
        // Headerless, odd width: codes 1 to 6, then the end code.
        {0, hex_bytes("03 00 02 00 12 30 45 60"),
         gif("03 00 02 00 B3 0 0", 48, "2C 0 0 0 0 03 00 02 00 00 04", "05 41 0C 52 4C 04 00")},
        {1, hex_bytes("03 00 02 00 12 30 45 60"),
         gif("03 00 02 00 B3 0 0", 48, "2C 0 0 0 0 03 00 02 00 40 04", "05 41 0C 52 4C 04 00")},
    };
    for (const auto &c : cases) {
        run_state.interlace = c.interlace;
        EXPECT_EQ(convert_here(dir, c.input), c.gif);
    }
}

// Which pixels each scan takes from the input.
TEST_F(Convert, PixelsTakenFromTheInput) {
    const Bytes big = random_bytes(90005, 3), nibbles = random_bytes(501 * 140, 4);
    const struct {
        int interlace, depth;
        unsigned width, height;
        Bytes pixels, expected;
    } cases[] = {
        {0, 8, 2, 1, {5, 6, 7, 8}, {5, 6, 7, 8}}, // 8-bit: every byte to the end of the file
        {1, 8, 2, 1, {5, 6, 7, 8}, {5, 6}},       // interlaced: the declared area only
        {0, 4, 3, 2, hex_bytes("12 3F 45 6F 77"), {1, 2, 3, 4, 5, 6}}, // odd width, extra byte
        {0, 4, 3, 2, hex_bytes("12 3F 45"), {1, 2, 3, 4, 5}},          // short: fewer pixels
        {1, 4, 3, 2, hex_bytes("12 3F 45"), {1, 2, 3, 4, 5, 0}},       // short: zero-filled
        {0, 4, 0, 9, {0x12}, {}},
        {1, 8, 5, 0, {0x12}, {}},   // empty images
        {0, 8, 300, 300, big, big}, // more than one chunk
        {0, 4, 1001, 140, nibbles, unpack_pixels(nibbles, 4, 1001, 140)},
    };
    for (const auto &c : cases) {
        run_state.interlace = c.interlace;
        int status = -1;
        const Bytes out =
            convert_here(dir, cel_file(c.depth, c.width, c.height, c.pixels), &status);
        EXPECT_EQ(status, STATUS_OK);
        EXPECT_EQ(pixel_codes(out, cel_data_start(c.depth), c.depth), c.expected)
            << c.depth << " bits, " << c.width << "x" << c.height;
    }
}

// A stream that delivers its bytes, then fails.
ssize_t read_then_fail(void *cookie, char *buffer, size_t size) {
    auto *source = static_cast<std::pair<Bytes, size_t> *>(cookie);
    const size_t count = std::min(size, source->first.size() - source->second);
    std::memcpy(buffer, source->first.data() + source->second, count);
    source->second += count;
    return count == 0 ? -1 : static_cast<ssize_t>(count);
}

// A read that fails leaves no output, and a palette that cannot be read changes no colour.
TEST_F(Convert, ReadErrorsLeaveNothingBehind) {
    const Bytes inputs[] = {cel_file(4, 40, 40, Bytes(300, 0x11)), cel_file(8, 40, 40, Bytes(300)),
                            kiss_file(0x10, 24, 0, 0, 0, 0, Bytes(300, 0x11)),
                            kiss_file(0x10, 12, 256, 1, 0, 0, Bytes(300, 0x11))};
    for (int interlace : {0, 1})
        for (const Bytes &input : inputs) {
            std::pair<Bytes, size_t> source = {input, 0};
            FILE *file = fopencookie(&source, "rb", {read_then_fail, nullptr, nullptr, nullptr});
            run_state.interlace = interlace;
            run_state.output_name = path("r.gif");
            EXPECT_EQ(convert_cel(file, "r.kcf"), STATUS_READ_ERROR);
            fclose(file);
            EXPECT_FALSE(file_exists(path("r.gif")));
            EXPECT_EQ(run_state.palette.rgb[0], 0) << "no colour changed";
        }
}

} // namespace
