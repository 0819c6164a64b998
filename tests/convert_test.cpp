#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "driver/driver.h"
#include "support.h"

#include <cstring>

namespace {

using Convert = TempDirTest;

// Each row: -I or not, the input, then its GIF: the screen after "GIF89a", the size of the
// (all-black) colour table, the image descriptor after the graphic control extension, and the
// image data before the trailer.
TEST_F(Convert, WorkedExamplesByteForByte) {
    const std::tuple<int, Bytes, const char *, size_t, const char *, const char *> cases[] = {
        {0, cel_file(4, 3, 1, {0x12, 0x30}), "03 00 01 00 B3 0 0", 48,
         "2C 0 0 0 0 03 00 01 00 00 04", "03 41 8C 08 00"},
        // No pixel bytes: the end code alone. The screen size wraps at 65536.
        {0, cel_file(8, 10, 3, {}, 65530, 65535), "04 00 02 00 F7 0 0", 768,
         "2C FA FF FF FF 0A 00 03 00 00 08", "02 01 01 00"},
        {1, cel_file(4, 2, 5, {0x12, 0x34, 0x56, 0x78, 0x9A}), "02 00 05 00 B3 0 0", 48,
         "2C 0 0 0 0 02 00 05 00 40 04", "07 41 24 55 CC 20 07 45 00"},
    };
    for (const auto &[interlace, input, screen, table, descriptor, data] : cases) {
        run_state.interlace = interlace;
        Bytes gif = text("GIF89a");
        for (const Bytes &part :
             {hex_bytes(screen), Bytes(table, 0), hex_bytes("21 F9 04 01 0 0 0 0"),
              hex_bytes(descriptor), hex_bytes(data), hex_bytes("3B")})
            gif.insert(gif.end(), part.begin(), part.end());
        EXPECT_EQ(convert_here(dir, input), gif) << data;
    }
}

// The web page calls main for every drop: a second call must write what a fresh process
// writes, not keep the first call's palette or refuse to write its output again.
TEST_F(Convert, EachCallOfMainIsARunOfItsOwn) {
    write_file(path("red.kcf"), palette_file(24, 256, Bytes(768, 0xC0)));
    write_file(path("a.cel"), cel_file(8, 2, 1, {1, 1}));
    std::string red = path("red.kcf"), cel = path("a.cel"), name = "quondel";
    char *with_palette[] = {&name[0], &red[0], &cel[0], nullptr};
    char *alone[] = {&name[0], &cel[0], nullptr};
    ASSERT_EQ(::run_quondel(3, with_palette), EXIT_ALL_CONVERTED);
    ASSERT_EQ(::run_quondel(2, alone), EXIT_ALL_CONVERTED);
    const Bytes second = read_file(path("a.gif"));
    ASSERT_EQ(run_quondel(dir, {"a.cel"}).exit_status, 0);
    EXPECT_EQ(second, read_file(path("a.gif")));
}

// A stream that delivers its bytes, then fails.
ssize_t read_then_fail(void *cookie, char *buffer, size_t size) {
    auto *source = static_cast<std::pair<Bytes, size_t> *>(cookie);
    const size_t count = std::min(size, source->first.size() - source->second);
    std::memcpy(buffer, source->first.data() + source->second, count);
    source->second += count;
    return count == 0 ? -1 : static_cast<ssize_t>(count);
}

// A read that fails leaves no output, and a palette that cannot be read changes no colour;
// a palette is not read past its colours.
TEST_F(Convert, ReadErrorsLeaveNothingBehind) {
    const std::pair<Bytes, int> inputs[] = {
        {cel_file(4, 40, 40, Bytes(300, 0x11)), STATUS_READ_ERROR},
        {cel_file(8, 40, 40, Bytes(300)), STATUS_READ_ERROR},
        {kiss_file(0x10, 12, 256, 1, 0, 0, Bytes(300, 0x11)), STATUS_READ_ERROR},
        {kiss_file(0x10, 12, 16, 1, 0, 0, Bytes(32)), STATUS_OK}};
    for (int interlace : {0, 1})
        for (const auto &input : inputs) {
            std::pair<Bytes, size_t> source = {input.first, 0};
            FILE *file = fopencookie(&source, "rb", {read_then_fail, nullptr, nullptr, nullptr});
            run_state.interlace = interlace;
            run_state.output_name = path("r.gif");
            EXPECT_EQ(convert_cel(file, "r.kcf"), input.second);
            fclose(file);
            EXPECT_FALSE(fs::exists(path("r.gif")));
            EXPECT_EQ(run_state.palette.rgb[0], 0) << "no colour changed";
        }
}

} // namespace
