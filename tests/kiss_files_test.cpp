#include "common/run_state.h"
#include "common/status.h"
#include "support.h"

#include <cstring>

namespace {

using KissFiles = TempDirTest;

// Each file is converted over a palette of 0xAA; an 8-bit cel after it shows the palette.
TEST_F(KissFiles, WhatEachFileIs) {
    Bytes truncated = cel_file(8, 1, 1, {}), old_palette = hex_bytes("F1 00 24 03"),
          quirky = kiss_file(0x10, 12, 2, 1, 0, 0, hex_bytes("F1 00 24 03 FF 0F"));
    truncated.resize(31);
    old_palette.resize(32, 0);
    old_palette.resize(64, 0xFF); // a second group, not loaded
    quirky[16] = 0x01;            // reserved bytes that real files fill
    // Colours given in hex, then `black` bytes of 0.
    const auto table = [](const char *hex, size_t black = 0) {
        Bytes bytes = hex_bytes(hex);
        bytes.resize(bytes.size() + black, 0);
        return bytes;
    };
    // Each row: the file, its name, the status, the palette's leading bytes afterwards (all
    // after them stay 0xAA).
    const std::tuple<Bytes, const char *, int, Bytes> cases[] = {
        {{}, "in.cel", STATUS_SHORT_HEADER, {}},
        {truncated, "in.cel", STATUS_SHORT_HEADER, {}},                       // 31 bytes of a cel
        {old_cel_file(3, 2, Bytes(5, 0)), "in.cel", STATUS_SHORT_HEADER, {}}, // not 4 + 2 x 2
        {old_cel_file(5, 0, {}), "in.cel", STATUS_SHORT_HEADER, {}},          // no rows
        {old_cel_file(0, 5, {}), "in.cel", STATUS_SHORT_HEADER, {}},          // no columns
        {Bytes(32, 0), "in.cel", STATUS_NOT_CEL, {}},                         // width 0
        {old_cel_file(40, 2, Bytes(41, 0x11)), "in.cel", STATUS_NOT_CEL, {}}, // one byte over
        {Bytes(33, 0x11), "in.kcf", STATUS_NOT_CEL, {}},  // not whole 32-byte groups
        {Bytes(544, 0x11), "in.kcf", STATUS_NOT_CEL, {}}, // 17 groups: more than a palette has
        {Bytes(320, 0x11), "in.cel", STATUS_NOT_CEL, {}}, // a palette's size, not named .kcf
        {kiss_file('k', 8, 1, 1, 0, 0, {}), "in.cel", STATUS_NOT_CEL, {}},  // another mark
        {kiss_file(0x30, 8, 1, 1, 0, 0, {}), "in.kcf", STATUS_NOT_CEL, {}}, // magic, no mark
        {cel_file(2, 1, 1, {1}), "in.cel", STATUS_NOT_CEL, {}},             // depths around 4 and 8
        {cel_file(9, 1, 1, {1}), "in.cel", STATUS_NOT_CEL, {}},
        {kiss_file(0x10, 0, 0, 0, 0, 0, {1, 2, 3, 4}), "p.kcf", STATUS_OK,
         table("01 02 03 04")}, // short
        {kiss_file(0x10, 24, 16, 1, 0, 0, {1, 2, 3, 4}), "p.kcf", STATUS_OK, table("01 02 03 04")},
        // 12 bits: RRRRBBBB 0000GGGG, each value times 17; the group size limits the colours.
        {kiss_file(0x10, 12, 16, 1, 0, 0, hex_bytes("F1 00 24 03")), "p.kcf", 0,
         table("FF 00 11 22 33 44")},
        {quirky, "p.kcf", STATUS_OK, table("FF 00 11 22 33 44")},
        {old_palette, "p.KCF", STATUS_OK, table("FF 00 11 22 33 44", 42)}, // headerless: 16 colours
        {Bytes(512, 0), "p.kcf", STATUS_OK, table("", 48)},                // 16 groups, the most
        {old_cel_file(4, 14, Bytes(28)), "p.kcf", 0,
         table("00 00 44 00 00 EE", 42)}, // a palette by its name
    };
    for (const auto &[input, name, expected_status, leading] : cases) {
        std::memset(&run_state.palette, 0xAA, sizeof run_state.palette);
        int status = -1;
        EXPECT_TRUE(convert_here(dir, input, &status, name).empty()) << name;
        EXPECT_EQ(status, expected_status) << input.size() << " bytes, " << name;
        const Bytes out = convert_here(dir, cel_file(8, 1, 1, {1}));
        Bytes expected = leading;
        expected.resize(768, 0xAA);
        EXPECT_EQ(Bytes(out.begin() + 13, out.begin() + 13 + 768), expected) << name;
    }
}

} // namespace
