#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "convert/scan_interlaced.h"
#include "gif_check.h"
#include "support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class Convert : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::memset(&run_state.palette, 0, sizeof run_state.palette);
        run_state.interlace = 0;
    }
    // Converts `input` in this process; the GIF's bytes, or nothing when none was written.
    Bytes convert(const Bytes &input, int *status = nullptr, const char *name = "in.cel") {
        const std::string input_path = dir + "/" + name;
        write_file(input_path, input);
        run_state.output_name = dir + "/in.gif";
        unlink(run_state.output_name.c_str());
        FILE *file = fopen(input_path.c_str(), "rb");
        const int result = convert_cel(file, name);
        fclose(file);
        if (status != nullptr) *status = result;
        return read_file(run_state.output_name);
    }
};

Bytes gif(const char *screen, size_t table, const char *descriptor, const char *data) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    for (const Bytes &part :
         {hex_bytes(screen), Bytes(table, 0), hex_bytes("21 F9 04 01 00 00 00 00"),
          hex_bytes(descriptor), hex_bytes(data), hex_bytes("3B")})
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

TEST_F(Convert, WorkedExamplesByteForByte) {
    EXPECT_EQ(
        convert(cel_file(4, 3, 1, {0x12, 0x30})),
        gif("03 00 01 00 B3 00 00", 48, "2C 00 00 00 00 03 00 01 00 00 04", "03 41 8C 08 00"));
    // No pixel bytes at all: only the end code, whatever the header declares.
    EXPECT_EQ(convert(cel_file(8, 100, 50, {}, 1, 2)),
              gif("65 00 34 00 F7 00 00", 768, "2C 01 00 02 00 64 00 32 00 00 08", "02 01 01 00"));
    // The headerless form of a 3 x 2 cel: codes 1 to 6, the end code, no clear code.
    const Bytes old_style =
        gif("03 00 02 00 B3 00 00", 48, "2C 00 00 00 00 03 00 02 00 00 04", "05 41 0C 52 4C 04 00");
    EXPECT_EQ(convert(hex_bytes("03 00 02 00 12 30 45 60")), old_style);
    run_state.interlace = 1;
    Bytes interlaced = old_style;
    interlaced[13 + 48 + 8 + 9] = 0x40; // two rows: the same order, only the flag differs
    EXPECT_EQ(convert(hex_bytes("03 00 02 00 12 30 45 60")), interlaced);
    EXPECT_EQ(convert(cel_file(4, 2, 5, {0x12, 0x34, 0x56, 0x78, 0x9A})),
              gif("02 00 05 00 B3 00 00", 48, "2C 00 00 00 00 02 00 05 00 40 04",
                  "07 41 24 55 CC 20 07 45 00"));
}

TEST_F(Convert, ScreenSizeWrapsAt65536) {
    const Bytes out = convert(cel_file(8, 10, 3, {}, 65530, 65535));
    EXPECT_EQ(Bytes(out.begin() + 6, out.begin() + 10), hex_bytes("04 00 02 00"));
}

// Which codes each scan takes from the same bytes: 8-bit sequential takes every byte to the
// end of the file, 4-bit takes the declared rows only, interlaced takes the declared area.
TEST_F(Convert, PixelCodesTakenFromTheInput) {
    struct Case {
        int interlace, depth;
        unsigned width, height;
        const char *pixels;
        std::vector<int> codes; // without clear and end codes
    } cases[] = {
        {0, 8, 2, 1, "05 06 07 08", {5, 6, 7, 8}},
        {1, 8, 2, 1, "05 06 07 08", {5, 6}},
        {0, 4, 3, 2, "12 3F 45 6F 77", {1, 2, 3, 4, 5, 6}},
        {1, 4, 3, 2, "12 3F 45 6F 77", {1, 2, 3, 4, 5, 6}},
        {0, 4, 3, 2, "12 3F 45", {1, 2, 3, 4, 5}},    // short: fewer codes
        {1, 4, 3, 2, "12 3F 45", {1, 2, 3, 4, 5, 0}}, // short: zero-filled
        {0, 4, 0, 9, "12 34", {}},
        {1, 4, 0, 9, "12 34", {}},
        {1, 8, 5, 0, "12 34", {}},
        {1, 8, 1, 5, "00 01 02 03 04", {0, 4, 2, 1, 3}},
    };
    for (const Case &c : cases) {
        run_state.interlace = c.interlace;
        int status = -1;
        const Bytes out =
            convert(cel_file(c.depth, c.width, c.height, hex_bytes(c.pixels)), &status);
        EXPECT_EQ(status, STATUS_OK);
        std::vector<int> codes;
        const ExpectedImage image = {c.depth, c.width, c.height, 0, 0, c.interlace};
        EXPECT_EQ(check_gif(out, image, codes), "");
        EXPECT_EQ(codes, c.codes) << c.interlace << " " << c.depth << " " << c.pixels;
    }
}

TEST_F(Convert, RefusedInputsWriteNothing) {
    Bytes truncated = cel_file(8, 1, 1, {});
    truncated.resize(31);
    Bytes off_by_one = old_cel_file(40, 2, Bytes(40, 0x11));
    off_by_one.push_back(0);
    struct Case {
        Bytes input;
        const char *name;
        int status;
        const char *reason;
    } cases[] = {
        {{}, "in.cel", STATUS_SHORT_HEADER, "empty"},
        {truncated, "in.cel", STATUS_SHORT_HEADER, "31 bytes of a cel"},
        {old_cel_file(3, 2, Bytes(5, 0)), "in.cel", STATUS_SHORT_HEADER, "short, size not 4+3x2"},
        {Bytes(32, 0), "in.cel", STATUS_NOT_CEL, "no magic, width 0"},
        {off_by_one, "in.cel", STATUS_NOT_CEL, "headerless size off by one"},
        {Bytes(33, 0x11), "in.kcf", STATUS_NOT_CEL, "33 bytes: not whole 32-byte groups"},
        {Bytes(544, 0x11), "in.kcf", STATUS_NOT_CEL, "17 groups: more than a palette holds"},
        {Bytes(320, 0x11), "in.cel", STATUS_NOT_CEL, "palette size, but not named .kcf"},
        {kiss_file('k', 8, 1, 1, 0, 0, {}), "in.cel", STATUS_NOT_CEL, "another mark"},
        {kiss_file(0x21, 32, 1, 1, 0, 0, Bytes(4, 0)), "in.cel", STATUS_NOT_CEL, "32-bit cel"},
        {kiss_file(0x30, 8, 1, 1, 0, 0, {}), "in.kcf", STATUS_NOT_CEL, "magic, unknown mark"},
        {cel_file(2, 1, 1, {1}), "in.cel", STATUS_NOT_CEL, "2 bits per pixel"},
        {cel_file(32, 1, 1, Bytes(4, 0)), "in.cel", STATUS_NOT_CEL, "32 bits with the cel mark"},
        {cel_file(12, 1, 1, {1}), "in.cel", STATUS_NOT_CEL, "a palette's depth on a cel"},
    };
    for (const Case &c : cases) {
        int status = -1;
        EXPECT_TRUE(convert(c.input, &status, c.name).empty()) << c.reason;
        EXPECT_EQ(status, c.status) << c.reason;
    }
}

// Without -I the output is bounded by the input, whatever the header declares.
TEST_F(Convert, HugeHeaderWithoutPixelsStaysSmall) {
    int status = -1;
    const Bytes out = convert(cel_file(8, 65535, 65535, {}), &status);
    EXPECT_EQ(status, STATUS_OK);
    EXPECT_EQ(out.size(), 13u + 768 + 8 + 10 + 1 + 4 + 1);
    // 100 bytes: 200 codes, 14 clear codes and the end code, 5 bits each, in one sub-block.
    EXPECT_EQ(convert(cel_file(4, 65535, 65535, Bytes(100, 0x11))).size(), 80u + 1 + 135 + 1 + 1);
}

// Each palette is loaded over a palette of 0xAA and read back through an 8-bit cel's table.
TEST_F(Convert, PalettesLoadTheColoursTheyHold) {
    Bytes old_style = hex_bytes("F1 00 24 03");
    old_style.resize(32, 0);
    old_style.resize(64, 0xFF); // a second group, not loaded
    Bytes quirky = kiss_file(0x10, 12, 2, 1, 0, 0, hex_bytes("F1 00 24 03 FF 0F"));
    quirky[16] = 0x01; // reserved bytes that real files fill
    struct Case {
        Bytes palette;
        const char *name;
        const char *table; // the leading entries; everything after them stays 0xAA
        const char *reason;
    } cases[] = {
        {kiss_file(0x10, 0, 0, 0, 0, 0, hex_bytes("01 02 03 04")), "p.kcf", "01 02 03 04",
         "24-bit, short: only the bytes it holds"},
        {kiss_file(0x10, 24, 16, 1, 0, 0, hex_bytes("01 02 03 04")), "p.kcf", "01 02 03 04",
         "24-bit by the header"},
        {kiss_file(0x10, 12, 16, 1, 0, 0, hex_bytes("F1 00 24 03")), "p.kcf", "FF 00 11 22 33 44",
         "12-bit: RRRRBBBB 0000GGGG, times 17; short"},
        {quirky, "p.kcf", "FF 00 11 22 33 44",
         "12-bit: colours per group limit it, reserved "
         "bytes ignored"},
        {old_style, "p.KCF",
         "FF 00 11 22 33 44 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
         "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
         "00 00 00 00",
         "headerless .kcf: its first group of 16, name in any case"},
    };
    for (const Case &c : cases) {
        std::memset(&run_state.palette, 0xAA, sizeof run_state.palette);
        int status = -1;
        EXPECT_TRUE(convert(c.palette, &status, c.name).empty()) << c.reason;
        EXPECT_EQ(status, STATUS_OK) << c.reason;
        const Bytes out = convert(cel_file(8, 1, 1, {1}));
        Bytes expected = hex_bytes(c.table);
        expected.resize(768, 0xAA);
        EXPECT_EQ(Bytes(out.begin() + 13, out.begin() + 13 + 768), expected) << c.reason;
    }
    EXPECT_EQ(convert(cel_file(4, 1, 1, {0x10})).size(), 13u + 48 + 8 + 10 + 1 + 4 + 1)
        << "16 entries at depth 4";
}

TEST(InterlacedRows, EveryRowOnceInFourPassOrder) {
    for (unsigned height = 1; height <= 17; ++height) {
        std::vector<unsigned> expected, rows;
        for (unsigned pass_start : {0u, 4u, 2u, 1u})
            for (unsigned row = pass_start; row < height;
                 row += pass_start == 0 ? 8 : 2 * pass_start)
                expected.push_back(row);
        for (InterlaceCursor c = FIRST_INTERLACED_ROW; c.row < height;
             advance_interlaced_row(c, height))
            rows.push_back(c.row);
        EXPECT_EQ(rows, expected) << "height " << height;
    }
}

} // namespace
