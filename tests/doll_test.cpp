// Whole dolls: the parse, the picture a viewer first shows (decoded by giflib) and the refusals.
#include "colour/blend.h"
#include "colour/colour_table.h"
#include "common/status.h"
#include "doll/cnf_parse.h"
#include "support.h"

#include <cmath>
#include <malloc.h>

namespace {

using Doll = TempDirTest;

// What ends a set line's positions (a memory line) and an event's actions (another event).
TEST(CnfParse, WhatEndsASetOrAnEvent) {
    const char cnf[] = "$1 1,1\n=16K\n 2,2\n;@EventHandler\n;@initialize() unmap(#3)\n"
                       ";@press(#1) unmap(#6)\n;@ map(#4)\n";
    DollConfig d;
    ASSERT_EQ(parse_cnf(reinterpret_cast<const unsigned char *>(cnf), strlen(cnf), d), 0);
    EXPECT_EQ(d.sets.at(0).positions.size(), 1u);
    EXPECT_EQ(d.program.initialize.size(), 1u);
    EXPECT_EQ(d.program.code.size(), 1u) << "press() is never run: its actions are not kept";
}

// The picture giflib decodes, rows split by '|', then the table size. Each pixel is a letter:
// '.' the background of group 0, ',' of group 1, 'a'.. index 1.. of p.kcf's group 0, 'A'..
// of its group 1, '1'.. of the 12-bit Q.KCF.
std::string picture(const std::string &file) {
    Decoded d;
    EXPECT_TRUE(decode_gif(file, d) && d.frame.back() == -1) << "one opaque image";
    std::string letters;
    for (size_t i = 0; i < d.pixels.size(); ++i) {
        const unsigned char *rgb = &d.colours[d.pixels[i] * 3];
        const int letter = rgb[2] == 255 ? '0' + rgb[0] / 17
                           : rgb[0] == 0 ? (rgb[1] == 0 ? '.' : ',')
                                         : (rgb[1] == 0 ? 'a' : 'A') + rgb[0] / 16 - 1;
        letters += std::string(i > 0 && i % d.frame[4] == 0, '|') + static_cast<char>(letter);
    }
    return letters + " " + std::to_string(d.colours.size() / 3);
}

// A 4-bit cel of one colour, two rows, with index 0 at its top-right pixel.
Bytes solid_cel(unsigned width, int index, unsigned x = 0, unsigned y = 0) {
    Bytes pixels((width + 1) / 2 * 2, static_cast<unsigned char>(index * 17));
    pixels[(width - 1) / 2] &= width % 2 ? 0x0F : 0xF0;
    return cel_file(4, width, 2, pixels, x, y);
}

void write_doll_files(const std::string &dir) {
    Bytes p24, q12; // Q.KCF holds a second group, but its header says one
    for (unsigned char k = 0, second = 0; k < 32; second = ++k / 16) {
        p24.insert(p24.end(), {static_cast<unsigned char>(k % 16 * 16), second, 0});
        q12.insert(q12.end(), {static_cast<unsigned char>(k % 16), 15,
                               static_cast<unsigned char>(15 - second)});
    }
    write_file(dir + "/p.kcf", palette_file(24, 16, p24));
    write_file(dir + "/Q.KCF", kiss_file(0x10, 12, 16, 1, 0, 0, colours12(q12)));
    q12.resize(16 * 3);
    write_file(dir + "/old.kcf", colours12(q12)); // the headerless form of Q.KCF
    write_file(dir + "/two.cel", solid_cel(2, 2));
    write_file(dir + "/off.cel", solid_cel(2, 3, 1, 2));
    write_file(dir + "/old.cel", old_cel_file(3, 1, {0x44, 0x40}));
    write_file(dir + "/depth2.cel", cel_file(2, 1, 1, {0}));
    write_file(dir + "/ok.cel", cel_file(8, 1, 1, {1}));
    write_file(dir + "/a.cel", cel_file(8, 1, 1, {15}));
    write_file(dir + "/g.cel", cel32_file(1, 1, {0, 200, 100, 128}, 0, 0, 0x20));
    write_file(dir + "/huge.cel", cel32_file(65535, 65535, {0, 0, 255, 255})); // 4 bytes held
    write_file(dir + "/e8.cel", cel_file(8, 8, 1, {1, 2, 3, 4, 5, 6, 7, 8}));
    write_file(dir + "/cut.cel", cel_file(8, 3, 3, {5, 6, 7, 8})); // a row and a pixel
    // Four colours a group, 'j'.. in group 0 and 'J'.. in group 1; t.kcf lacks group 1's end.
    Bytes s24 = {0, 0, 0, 160, 0, 0, 176, 0, 0, 192, 0, 0};
    for (int k = 0; k < 12; ++k)
        s24.push_back(static_cast<unsigned char>(s24[k] + (k % 3 == 1)));
    write_file(dir + "/s.kcf", palette_file(24, 4, s24));
    s24.pop_back();
    write_file(dir + "/t.kcf", kiss_file(0x10, 24, 4, 2, 0, 0, s24));
}

// At most 256 colours are exact, the background's first; more are chosen to keep every pixel
// close. Reds over a background of (99,0,99), greens below, then blues; and a 32-bit cel of
// more colours than are counted one by one.
TEST_F(Doll, ColourTables) {
    std::vector<Bytes> palettes(3, Bytes(768));
    Bytes all(256), rgba;
    for (int k = 0; k < 256; ++k) {
        palettes[0][3 * k] = palettes[1][3 * k + 1] = palettes[2][3 * k + 2] = all[k] =
            static_cast<unsigned char>(k);
        palettes[1][3 * k + 2] = palettes[2][3 * k] = 40;
    }
    palettes[0][0] = palettes[0][2] = 99;
    const auto colour_at = [&](bool full, int x, int y) -> Bytes {
        if (full) return {uint8_t(x), uint8_t(y), uint8_t(x * 7 + y * 13 + y / 256 * 50)};
        const int index = y % 16 * 16 + x; // index 0 is clear: the background shows
        const unsigned char *rgb = &palettes[index ? y / 16 : 0][3 * index];
        return Bytes(rgb, rgb + 3);
    };
    for (int y = 0; y < 257; ++y)
        for (int x = 0; x < 256; ++x) {
            const Bytes rgb = colour_at(true, x, y);
            rgba.insert(rgba.end(), {rgb[2], rgb[1], rgb[0], 255});
        }
    for (int k = 0; k < 3; ++k)
        write_file(path("abc"[k] + std::string(".kcf")), palette_file(24, 256, palettes[k]));
    write_file(path("all.cel"), cel_file(8, 16, 16, all));
    write_file(path("full.cel"), kiss_file(0x21, 32, 256, 257, 0, 0, rgba));
    const std::string three =
        "\n%a.kcf\n%b.kcf\n%c.kcf\n#0 all.cel\n#1 all.cel *1\n#2 all.cel *2\n$0 0,0 0,16 0,32\n";
    // Each row: the CNF, how far a pixel may stray in all and on average (in hundredths).
    const std::tuple<std::string, int, int> cases[] = {
        {"(16,16)" + three, 0, 0},              // 256 colours
        {"(16,17)" + three, 4, 10},             // 271
        {"(16,48)" + three, 8, 100},            // 766
        {"(256,257)\n#0 full.cel\n", 80, 3100}, // 65,792
    };
    for (const auto &[cnf, most, mean] : cases) {
        write_file(path("m.cnf"), text(cnf));
        ASSERT_EQ(run_quondel(dir, {"m.cnf"}).err, "");
        Decoded m;
        ASSERT_TRUE(decode_gif(path("m.gif"), m));
        ASSERT_EQ(m.colours.size(), 768u);
        EXPECT_TRUE(most > 0 || Bytes(&m.colours[0], &m.colours[3]) == Bytes({99, 0, 99}))
            << "an exact table starts with the background";
        int total = 0;
        for (size_t i = 0; i < m.pixels.size(); ++i) {
            const int x = static_cast<int>(i) % m.frame[4], y = static_cast<int>(i) / m.frame[4];
            const Bytes want = colour_at(m.frame[4] == 256, x, y);
            int error = 0;
            for (int c = 0; c < 3; ++c)
                error += abs(m.colours[m.pixels[i] * 3 + c] - want[c]);
            EXPECT_LE(error, most) << cnf << " " << i;
            total += error;
        }
        EXPECT_LE(total * 100 / static_cast<int>(m.pixels.size()), mean) << cnf;
    }
}

// Each row: the CNF beside the files above, the line it gets, and the picture with its
// table, the smallest that holds the colours used (a doll that
// fails writes no GIF, and the next argument still converts.
TEST_F(Doll, PicturesAndRefusals) {
    const std::string five = "(5,4)\n%p.kcf\n%q.kcf\n",
                      nine = "d.cnf: playfield larger than 16384 or empty (9).\n",
                      seven = "d.cnf: not a doll configuration (7).\n",
                      ten = "d.cnf: two.cel uses an unlisted palette number (10).\n",
                      huge = std::string(MAX_CNF_BYTES, ';') + "\n";
    std::string many;
    for (size_t line = 0; line <= MAX_CEL_LINES; ++line)
        many += "#0 two.cel\n";
    std::string tall, plain; // plain: the playfield of a CNF without a size, 448 x 320
    for (int y = 2; y < 16382; ++y)
        tall += "|.";
    for (int y = 0; y < 318; ++y)
        plain += std::string(448, '.') + "|";
    plain += std::string(446, '.') + "b.|" + std::string(446, '.') + "bb 2";
    const std::string cases[][3] = {
        // clipped on every side, negative positions included; the forms real dolls use: CR
        // LF, blanks and tabs, high bytes, continued set lines, and the end mark ^Z
        {"( 5 , 4 )\r\n%\tp.kcf ; \xe9\xff\r\n%q.kcf\r\n#0. two.cel\r\n#1.3\ttwo.cel\t;\r\n"
         "#2 old.cel\r\n$0 -1,-1\r\n; between\r\n 4, 3\t3,1\r\n\x1a#3 gone.cel\n",
         "", "b....|...dd|.....|....b 4"},
        // the set's group, and group 0 of the 12-bit palette with one group; "*" and a
        // missing object are at (0,0)
        {five + "#0 two.cel *1\n#1 old.cel\n#2 off.cel\n$1 * 2,3\n", "",
         "2,,,,|22,,,|,C,,,|,CDDD 4"},
        // only set 0's cels; bare ':' is no set
        {five + "#0 two.cel :1\n#1 off.cel :\n#2 old.cel :01\n$0\n", "",
         "ddd..|.....|.....|..... 2"},
        // initialize() unmaps by name and object and maps again, in order; press() does not
        {five + ";@initialize()\n;@unmap(\"TWO.CEL\") unmap(#1) map(#2)\n#0 two.cel\n#1 old.cel\n"
                "#2 two.cel\n;@press(#0) unmap(#2)\n$0 0,0 0,0 3,2\n",
         "", ".....|.....|...b.|...bb 2"},
        // map and unmap of an object, at start-up and in set(0), reach every cel it is made of;
        // the first line on top, index 0 (top-right of each cel) shows what is below, cels at
        // their object's position plus their own offset (1,2)
        {five + ";@initialize()\n;@unmap(\"two.cel\") unmap(#2)\n;@set(0) map(#1)\n#0 two.cel\n"
                "#1 old.cel\n#1 off.cel\n#1 two.cel\n#2 off.cel\n#2 old.cel\n$0 0,0 0,1 3,0\n",
         "", ".....|ddd..|bb...|.c... 4"},
        // cels that end early: the rows and pixels there, also when clipped at the top; dashes
        // where an LZH method would stand make no archive
        {";------\n" + five + "#0 cut.cel\n#1 cut.cel\n#2 two.cel\n$0 0,0 3,-1 0,1\n", "",
         "efgh.|h....|bb...|..... 8"},
        // palettes of 4, 16 and 256 colours a group: colours past a palette's end are black;
        // a group the file does not hold whole falls back to group 0
        {five + "%s.kcf\n%t.kcf\n#0 e8.cel *2\n#1 e8.cel *3\n#2 e8.cel\n$1 0,0 0,1 0,2\n", "",
         "JKL..|jkl..|ABCDE|,,,,, 16"},
        {"(8,3)\n%p.kcf\n%q.kcf\n#0 e8.cel\n#1 e8.cel *1\n$0 0,0 0,1\n", "",
         "abcdefgh|12345678|........ 32"}, // 17 colours: the smallest table for them
        {"(8,2)\n%p.kcf\n%q.kcf\n#0 e8.cel\n#1 e8.cel *1\n$0 0,0 0,1\n", "",
         "abcdefgh|12345678 16"},                           // 16, the background hidden
        {"(3,2)\n%old.kcf\n#0 two.cel\n", "", "200|220 2"}, // a palette without a header
        // set lines: a negative group is group 0, a blank may stand for the comma; numbers
        // past any playfield or long
        {five + "#0 two.cel\n#1 two.cel *1\n#2 old.cel\n#3 two.cel\n"
                "$-1 0,0 2 1 4294967298,2 1,99999999999999999999\n",
         "", "b....|bb2..|..22.|..... 4"},
        // refusals: a missing or wrong file, palette numbers, cel lines, playfield, bytes
        {"%p.kcf\n%gone.kcf\n#0 two.cel\n", "d.cnf: gone.kcf not found (11).\n", ""},
        // a cel file the doll lacks (real archives are often incomplete): drawn without it,
        // one line however many lines name it
        {five + "#0 two.cel\n#0 lost.cel :1\n#1 lost.cel\n$0 0,0 1,1\n",
         "d.cnf: lost.cel not found; drawn without it.\n", "b....|bb...|.....|..... 2"},
        {"%p.kcf\n#0 p.kcf\n", "d.cnf: p.kcf is not a cel (12).\n", ""},
        {"%two.cel\n#0 two.cel\n", "d.cnf: two.cel is not a palette (13).\n", ""},
        {"%p.kcf\n#0 two.cel *1\n", ten, ""},
        {"#0 two.cel\n", ten, ""},
        {"", "d.cnf: no cel lines (8).\n", ""},
        {"(16385,1)\n%p.kcf\n#0 two.cel\n", nine, ""},
        {"(1,16385)\n%p.kcf\n#0 two.cel\n", nine, ""},
        {"(5,0)\n%p.kcf\n#0 two.cel\n", nine, ""},
        {"(0,4)\n%p.kcf\n#0 two.cel\n", nine, ""},
        {"%p.kcf\n#0 two.cel\n\x13", seven, ""},
        {std::string("%p.kcf ;\0\n#0 two.cel\n", 19), seven, ""},
        {"%p.kcf\n#0 depth2.cel\n", "d.cnf: depth2.cel is not a cel (12).\n", ""},
        // the largest playfields, a cel at each far edge
        {"(16384,1)\n%p.kcf\n#0 two.cel\n#1 two.cel\n$0 0,0 16383,0\n", "",
         "b" + std::string(16382, '.') + "b 2"},
        {"(1,16384)\n%p.kcf\n#0 two.cel\n#1 two.cel\n$0 0,0 0,16382\n", "",
         "b|b" + tall + "|b|b 2"},
        {"%p.kcf\n#0 two.cel\n$0 446,318\n", "",
         plain}, // no size: the default, a cel in its corner
        {huge + "%p.kcf\n#0 two.cel\n", seven, ""},
        // one cel line too many: refused before the parse or the drawing grows further
        {many + "%p.kcf\n", "d.cnf: too many cel lines or start-up actions (14).\n", ""},
    };
    write_doll_files(dir);
    write_file(path("after.cel"), read_file(path("ok.cel")));
    for (const char *first : {"ok.cel", "-i"}) // sequential, then interlaced pictures
        for (auto &[cnf, err, expected] : cases) {
            if (first[0] == '-' && expected.empty()) continue;
            write_file(path("d.cnf"), text(cnf));
            EXPECT_EQ(run_quondel(dir, {first, "d.cnf", "after.cel"}).err, err)
                << cnf.substr(0, 40);
            const bool made = fs::exists(path("d.gif"));
            EXPECT_EQ(made ? picture(path("d.gif")) : "", expected);
            fs::remove(path("d.gif"));
            fs::remove(path("ok.gif"));
            EXPECT_TRUE(fs::remove(path("after.gif")));
        }
}

// Laid over black by the formula of the notes (with p.kcf's index 15 = f00000, and g.cel
// 6464c8 at alpha 128): each row the CNF's own lines, then the picture's colours.
TEST_F(Doll, TranslucencyAndStartUp) {
    const std::string three = "(3,1)\n%p.kcf\n";
    const std::string cases[][2] = {
        // a sheer cel; %t300 is invisible, and no %t counts after the comment mark
        {three + "#0 a.cel ;%t128\n#1 a.cel %t300 ; %t9\n$0 1,0 0,0\n", "000000 780000 000000"},
        // 32-bit alpha times the line's translucency, over a cel and over the background; a
        // 32-bit cel needs no palette number
        {three + "#1 g.cel ;%t50\n#2 G.CEL *5 %t50\n#0 a.cel\n$0 0,0 0,0 1,0\n",
         "b85100 285100 000000"},
        // initialize(), begin(), then set(0), whatever their order in the file (altmap flips);
        // set(1) and press() are not run
        {three + "#1 a.cel\n#2 a.cel\n#3 a.cel\n$0 * 0,0 1,0 2,0\n;@set(0) map(#2) altmap(#3)\n"
                 ";@set(1) unmap(#1)\n;@begin()\n;@ map(#1) unmap(#2)\n;@press(#0) unmap(#2)\n"
                 ";@initialize() unmap(#1)\n",
         "f00000 f00000 000000"},
        // moves in order, on the set's positions
        {three + "#0 a.cel\n$0 2,0\n;@initialize() moveto(#0, 2, 0)\n;@begin() move(#0, -2, 0)\n"
                 ";@set(0) move(#0,1,0)\n",
         "000000 f00000 000000"},
        // transparent() clamps after each call: -255 then 120 sets 120 over the line's 90
        {three +
             "#0 a.cel ;%t90\n;@initialize() transparent(#0,-255) transparent(\"A.CEL\", 120)\n",
         "7f0000 000000 000000"},
        {three + "#0 a.cel\n;@initialize() transparent(#0,300)\n;@begin() transparent(#0,-100)\n",
         "5e0000 000000 000000"},
        // the program decides the first picture: %offset places a cel line within its object,
        // %u hides one, setframe picks one frame of a group, a label places an object, and
        // exitevent skips what follows it
        {three + "#0 a.cel ;%offset[2,0]\n", "000000 000000 f00000"},
        {three + "#0 a.cel ;%u\n#1 a.cel\n$0 0,0 1,0\n", "000000 f00000 000000"},
        {three + "#0 a.cel ;!hand :0\n#1 a.cel ;!hand :1\n$0 0,0 1,0\n"
                 ";@begin() setframe(!hand,1)\n",
         "000000 f00000 000000"},
        {three + "#0 a.cel\n;@begin() gosub(place)\n;@label(place) moveto(#0,2,0)\n",
         "000000 000000 f00000"},
        {three + "#0 a.cel\n;@set(0) exitevent() unmap(#0)\n", "f00000 000000 000000"},
        // a 32-bit cel declaring 65535 x 65535 pixels in a few bytes: read as far as it goes
        {three + "#0 huge.cel\n", "ff0000 000000 000000"},
    };
    write_doll_files(dir);
    for (auto &[cnf, expected] : cases) {
        write_file(path("d.cnf"), text(cnf));
        EXPECT_EQ(run_quondel(dir, {"d.cnf"}).err, "") << cnf;
        EXPECT_EQ(colours_of(path("d.gif"), " "), expected) << cnf;
    }
}

// A veil over checks and a ramp, as translucent dolls make them: 9,590 colours. The best
// peer without dithering gets 41.2 dB here (ImageMagick; Pillow: 39.3 to 40.5); the median cut
// boxes alone 42.6, refined by k-means 42.9. Then the veil over a wider ramp of 35,351
// colours, more than are weighed one by one: 32.72 dB, where cells a bit coarser lose 0.02.
TEST(ColourTable, CloseToTheTrueColours) {
    const std::tuple<uint32_t, uint32_t, uint32_t, double> rows[] = {{160, 120, 0, 42.8},
                                                                     {300, 120, 40, 32.71}};
    // Twice: the second pass may hold no more memory than the first left.
    size_t held = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto &[width, height, spread, least] : rows) {
            std::vector<uint32_t> truth(width * height), pixels;
            for (uint32_t y = 0; y < height; ++y)
                for (uint32_t x = 0; x < width; ++x) {
                    uint32_t c = (x / 10 + y / 10) % 2 && spread == 0
                                     ? 0xC8B496
                                     : x * 255 / width << 16 | y * 2 << 8 | (140 + x % 3 * spread);
                    const int dx = int(x) - 80, dy = int(y) - 60;
                    if (dx * dx + dy * dy < 50 * 50)
                        c = blend_colour(0x802850 + y * 0x010000, c, 255, 90 + x % 50);
                    truth[y * width + x] = c;
                }
            pixels = truth;
            ColourTable table;
            ASSERT_EQ(index_colours(pixels.data(), pixels.size(), 0, table), 0);
            const unsigned char *entries = reinterpret_cast<const unsigned char *>(pixels.data());
            double squares = 0;
            for (size_t i = 0; i < truth.size(); ++i)
                for (int c = 0; c < 3; ++c) {
                    const int d = int(truth[i] >> (16 - 8 * c) & 0xFF) -
                                  table.colours.rgb[entries[i] * 3 + c];
                    squares += d * d;
                }
            const double psnr = 10 * log10(255.0 * 255 * 3 * truth.size() / squares);
            EXPECT_GE(psnr, least) << table.count;
        }
        EXPECT_TRUE(pass == 0 || mallinfo2().uordblks <= held) << "memory kept";
        held = mallinfo2().uordblks;
    }
}

// Each row: a cel colour c with alpha p and translucency t over b, and the result, worked out
// with exact fractions from (c * a + b * (255 - a)) / 255, a = p * (255 - t) / 255, rounded.
TEST(Blend, FormulaAtItsBoundaries) {
    const uint32_t cases[][5] = {
        {200, 10, 255, 0, 200},   // opaque: a cel's own colour, as before translucency
        {200, 10, 255, 255, 10},  // %t255 is invisible
        {200, 10, 0, 0, 10},      // alpha 0 is clear
        {200, 10, 127, 0, 105},   // 104.6: rounded, not cut
        {255, 0, 127, 0, 127},    // 127.0
        {255, 0, 128, 0, 128},    // 128.0
        {0, 255, 128, 0, 127},    // 127.0 the other way round
        {200, 10, 255, 100, 125}, // 125.49
        {200, 10, 200, 128, 84},  // 84.22: exact arithmetic; alpha rounded first gives 85
        {255, 0, 128, 128, 64},   // alpha and translucency together: 63.75
        {1, 0, 255, 127, 1},      // 0.50196 rounds up
        {100, 200, 127, 1, 150},  // 150.4
    };
    for (const auto &c : cases) {
        uint32_t under = c[1] * 0x010101u;
        const unsigned char v = static_cast<unsigned char>(c[0]),
                            rgba[4] = {v, v, v, static_cast<unsigned char>(c[2])};
        blend_row(&under, rgba, 1, static_cast<int>(c[3]));
        EXPECT_EQ(under, c[4] * 0x010101u) << c[0] << " " << c[1] << " " << c[2] << " " << c[3];
    }
}

} // namespace
