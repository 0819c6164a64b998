#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "convert/scan_interlaced.h"
#include "gif_check.h"
#include "support.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

class Convert : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::memset(&run_state.palette, 0, sizeof run_state.palette);
        run_state.interlace = 0;
    }
    // Converts `input` in this process; the GIF's bytes, or nothing when none was written.
    Bytes convert(const Bytes &input, int *status = nullptr) {
        write_file(dir + "/in.cel", input);
        run_state.output_name = dir + "/in.gif";
        FILE *file = fopen((dir + "/in.cel").c_str(), "rb");
        const int result = convert_cel(file);
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
    run_state.interlace = 1;
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
    std::vector<std::pair<Bytes, int>> cases = {
        {{}, STATUS_SHORT_HEADER},
        {{'K'}, STATUS_SHORT_HEADER},
        {truncated, STATUS_SHORT_HEADER},
        {Bytes(32, 0), STATUS_NOT_CEL},
        {kiss_file('k', 8, 1, 1, 0, 0, {}), STATUS_NOT_CEL}};
    for (int byte = 0; byte < 256; ++byte) {
        if (byte != 0x10 && byte != 0x20)
            cases.push_back({kiss_file(byte, 8, 1, 1, 0, 0, {1}), STATUS_NOT_CEL});
        if (byte != 4 && byte != 8) cases.push_back({cel_file(byte, 1, 1, {1}), STATUS_NOT_CEL});
    }
    for (const auto &c : cases) {
        int status = -1;
        EXPECT_TRUE(convert(c.first, &status).empty());
        const Bytes &in = c.first;
        EXPECT_EQ(status, c.second)
            << in.size() << " bytes, mark and depth " << (in.size() > 5 ? in[4] * 256 + in[5] : -1);
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

TEST_F(Convert, PalettesLoadTheBytesTheyHold) {
    int status = -1;
    EXPECT_TRUE(convert(kiss_file(0x10, 0, 0, 0, 0, 0, Bytes(800, 0xAA)), &status).empty());
    EXPECT_EQ(status, STATUS_OK);
    convert(kiss_file(0x10, 0, 0, 0, 0, 0, {1, 2, 3, 4}));
    const Bytes out = convert(cel_file(4, 1, 1, {0x10}));
    Bytes table(out.begin() + 13, out.begin() + 13 + 48);
    Bytes expected(48, 0xAA);
    std::copy_n(hex_bytes("01 02 03 04").begin(), 4, expected.begin());
    EXPECT_EQ(table, expected) << "short palette changes its own bytes only; 16 entries at depth 4";
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
