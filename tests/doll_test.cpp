// Whole dolls: the parse, the picture a viewer first shows (decoded by giflib) and the refusals.
#include "common/status.h"
#include "doll/cnf_parse.h"
#include "support.h"

#include <sstream>

namespace {

using Doll = TempDirTest;

// One line per field, so a table row reads like the configuration it came from.
std::string describe(const DollConfig &d) {
    std::ostringstream s;
    s << d.width << "x" << d.height << " pal";
    for (const auto &p : d.palettes)
        s << " " << p;
    for (const auto &c : d.cels)
        s << " | #" << c.object << " " << c.file << " *" << c.palette << " :" << c.sets
          << (c.translucency ? " %t" + std::to_string(c.translucency) : "");
    for (const auto &set : d.sets) {
        s << " | $" << set.group;
        for (const auto &p : set.positions)
            s << " " << p.x << "," << p.y;
    }
    for (int event = 0; event < STARTUP_EVENTS; ++event)
        for (const auto &a : d.startup[event])
            s << " e" << event << "+-~>@%"[static_cast<int>(a.kind)]
              << (a.object >= 0 ? "#" + std::to_string(a.object) : a.file)
              << (a.kind >= ActionKind::move ? " " + std::to_string(a.x) + "," + std::to_string(a.y)
                                             : "");
    return s.str();
}

TEST(CnfParse, EveryFormRealDollsUse) {
    const char *cases[][2] = {
        {"(640,480)\r\n%A.KCF\r\n#0 a.cel\r\n\x1a#1 junk.cel\r\n",
         "640x480 pal A.KCF | #0 a.cel *0 :1023"},
        {"( 10 , 20 )\n%\tp.kcf ; \xe9\xff high bytes\n#59. b.cel *11: 0 3\n",
         "10x20 pal p.kcf | #59 b.cel *11 :9"},
        // translucency after the comment mark or before it, and never read as sets
        {"#1.3\tc.cel\t*2\t:\n#2 d.cel :012 ;%t128\n#3 e.cel*1:5 %t300\n#4 f.cel %t7 ; %t9\n",
         "448x320 pal | #1 c.cel *2 :0 | #2 d.cel *0 :7 %t128 | #3 e.cel *1 :32 %t255 | "
         "#4 f.cel *0 :1023 %t7"},
        {"$2 1,2 * -3,-4\n; between\n\t5,6\n 7, 8\n$0 9,9\n 10,10\n",
         "448x320 pal | $2 1,2 0,0 -3,-4 5,6 7,8 | $0 9,9 10,10"},
        {"$1 1,1\n=16K\n 2,2\n", "448x320 pal | $1 1,1"},
        // each start-up event keeps its actions; other events end them
        {";@EventHandler\n;@initialize()\n;@ unmap(\"A.cel\") unmap(#3) ;x map(#4)\n"
         ";@map( #5 )\n;@press(#1) unmap(#6)\n;@ initialize() map(b.cel)\n"
         ";@set(2) altmap(#1) transparent(\"C.CEL\", -20) ;@begin() move(#1, 1, 1)\n"
         ";@begin() move(#2, -3, 4)\n"
         ";@ moveto(#2,5,6) set(10) map(#9) alarm(1) unmap(#9)\n",
         "448x320 pal e0-a.cel e0-#3 e0+#5 e0+b.cel e1>#2 -3,4 e1@#2 5,6 e4~#1 e4%c.cel -20,0"},
    };
    for (auto &c : cases) {
        DollConfig d;
        EXPECT_EQ(parse_cnf(reinterpret_cast<const unsigned char *>(c[0]), strlen(c[0]), d), 0);
        EXPECT_EQ(describe(d), c[1]) << c[0];
    }
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
    write_file(dir + "/two.cel", solid_cel(2, 2));
    write_file(dir + "/off.cel", solid_cel(2, 3, 1, 2));
    write_file(dir + "/old.cel", old_cel_file(3, 1, {0x44, 0x40}));
    write_file(dir + "/depth2.cel", cel_file(2, 1, 1, {0}));
    write_file(dir + "/ok.cel", cel_file(8, 1, 1, {1}));
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

// At most 256 colours are exact, the background's first; more go through median cut, which
// keeps every pixel close. Reds over a background of (99,0,99) above, greens below.
TEST_F(Doll, ColourTables) {
    Bytes reds(768), greens(768), all(256);
    for (int k = 0; k < 256; ++k) {
        reds[3 * k] = greens[3 * k + 1] = all[k] = static_cast<unsigned char>(k);
        greens[3 * k + 2] = 40;
    }
    reds[0] = reds[2] = 99;
    write_file(path("a.kcf"), palette_file(24, 256, reds));
    write_file(path("b.kcf"), palette_file(24, 256, greens));
    write_file(path("all.cel"), cel_file(8, 16, 16, all));
    const std::string both = "%a.kcf\n%b.kcf\n#0 all.cel\n#1 all.cel *1\n$0 0,0 0,16\n";
    // Each row: the playfield over the cels above, and how far a pixel may stray.
    const std::pair<std::string, int> cases[] = {
        {"(16,16)", 0}, // 256 colours
        {"(16,17)", 4}, // 271
        {"(16,32)", 8}, // 511
    };
    for (const auto &[playfield, error_allowed] : cases) {
        write_file(path("m.cnf"), text(playfield + "\n" + both));
        ASSERT_EQ(run_quondel(dir, {"m.cnf"}).err, "");
        Decoded m;
        ASSERT_TRUE(decode_gif(path("m.gif"), m));
        ASSERT_EQ(m.colours.size(), 768u);
        EXPECT_TRUE(error_allowed > 0 || Bytes(&m.colours[0], &m.colours[3]) == Bytes({99, 0, 99}))
            << "an exact table starts with the background";
        for (size_t i = 0; i < m.pixels.size(); ++i) { // index 0 is transparent
            const unsigned char *want =
                (i < 256 || i % 256 == 0 ? reds : greens).data() + i % 256 * 3;
            int error = 0;
            for (int c = 0; c < 3; ++c)
                error += abs(m.colours[m.pixels[i] * 3 + c] - want[c]);
            EXPECT_LE(error, error_allowed) << playfield << " " << i;
        }
    }
}

// Each row: the CNF beside the files above, the line it gets, and the picture with its
// table, the smallest that holds the colours used (a doll that
// fails writes no GIF, and the next argument still converts.
TEST_F(Doll, PicturesAndRefusals) {
    const std::string five = "(5,4)\n%p.kcf\n%q.kcf\n",
                      huge = std::string(MAX_CNF_BYTES, ';') + "\n";
    std::string tall;
    for (int y = 2; y < 16382; ++y)
        tall += "|.";
    const std::string cases[][3] = {
        // the first line on top; index 0 (top-right of each cel) shows what is below
        {five + "#0 two.cel\n#1 old.cel\n$0 0,0 0,1\n", "", "b....|bbd..|.....|..... 4"},
        // object position plus the cel's own offset (1,2)
        {five + "#0 off.cel\n$0 1,0\n", "", ".....|.....|..c..|..cc. 2"},
        // clipped on every side, negative positions included
        {five + "#0 two.cel\n#1 two.cel\n#2 old.cel\n$0 -1,-1 4,3 3,1\n", "",
         "b....|...dd|.....|....b 4"},
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
        // map and unmap of an object reach every cel it is made of
        {five + ";@initialize()\n;@unmap(\"two.cel\") map(#1) unmap(#2)\n#0 two.cel\n#1 old.cel\n"
                "#1 off.cel\n#1 two.cel\n#2 off.cel\n#2 old.cel\n$0 0,0 0,1 3,0\n",
         "", ".....|ddd..|bb...|.c... 4"},
        // cels that end early: the rows and pixels there, also when clipped at the top
        {five + "#0 cut.cel\n#1 cut.cel\n#2 two.cel\n$0 0,0 3,-1 0,1\n", "",
         "efgh.|h....|bb...|..... 8"},
        // palettes of 4, 16 and 256 colours a group: colours past a palette's end are black;
        // a group the file does not hold whole falls back to group 0
        {five + "%s.kcf\n%t.kcf\n#0 e8.cel *2\n#1 e8.cel *3\n#2 e8.cel\n$1 0,0 0,1 0,2\n", "",
         "JKL..|jkl..|ABCDE|,,,,,"},
        {"(8,3)\n%p.kcf\n%q.kcf\n#0 e8.cel\n#1 e8.cel *1\n$0 0,0 0,1\n", "",
         "abcdefgh|12345678|........ 32"}, // 17 colours: the smallest table for them
        {"(8,2)\n%p.kcf\n%q.kcf\n#0 e8.cel\n#1 e8.cel *1\n$0 0,0 0,1\n", "",
         "abcdefgh|12345678"}, // 16, the background hidden
        // set lines: a negative group is group 0; numbers past any playfield or long
        {five + "#0 two.cel\n#1 two.cel *1\n#2 old.cel\n#3 two.cel\n"
                "$-1 0,0 2,0 4294967298,2 1,99999999999999999999\n",
         "", "b.2..|bb22.|.....|..... 4"},
        // refusals: a missing or wrong file, palette numbers, cel lines, playfield, bytes
        {"%p.kcf\n%gone.kcf\n#0 two.cel\n", "d.cnf: gone.kcf not found (11).\n", ""},
        {"%p.kcf\n#0 two.cel\n#0 lost.cel :1\n", "d.cnf: lost.cel not found (11).\n", ""},
        {"%p.kcf\n#0 p.kcf\n", "d.cnf: p.kcf is not a cel (12).\n", ""},
        {"%two.cel\n#0 two.cel\n", "d.cnf: two.cel is not a palette (13).\n", ""},
        {"%p.kcf\n#0 two.cel *1\n", "d.cnf: two.cel uses an unlisted palette number (10).\n", ""},
        {"#0 two.cel\n", "d.cnf: two.cel uses an unlisted palette number (10).\n", ""},
        {"", "d.cnf: no cel lines (8).\n", ""},
        {"(16385,1)\n%p.kcf\n#0 two.cel\n", "d.cnf: playfield larger than 16384 or empty (9).\n",
         ""},
        {"(1,16385)\n%p.kcf\n#0 two.cel\n", "d.cnf: playfield larger than 16384 or empty (9).\n",
         ""},
        {"(5,0)\n%p.kcf\n#0 two.cel\n", "d.cnf: playfield larger than 16384 or empty (9).\n", ""},
        {"(0,4)\n%p.kcf\n#0 two.cel\n", "d.cnf: playfield larger than 16384 or empty (9).\n", ""},
        {"%p.kcf\n#0 two.cel\n\x13", "d.cnf: not a doll configuration (7).\n", ""},
        {std::string("%p.kcf ;\0\n#0 two.cel\n", 19), "d.cnf: not a doll configuration (7).\n", ""},
        {"%p.kcf\n#0 depth2.cel\n", "d.cnf: depth2.cel is not a cel (12).\n", ""},
        // the largest playfields, a cel at each far edge
        {"(16384,1)\n%p.kcf\n#0 two.cel\n#1 two.cel\n$0 0,0 16383,0\n", "",
         "b" + std::string(16382, '.') + "b 2"},
        {"(1,16384)\n%p.kcf\n#0 two.cel\n#1 two.cel\n$0 0,0 0,16382\n", "",
         "b|b" + tall + "|b|b 2"},
        {huge + "%p.kcf\n#0 two.cel\n", "d.cnf: not a doll configuration (7).\n", ""},
    };
    write_doll_files(dir);
    for (const char *first : {"ok.cel", "-i"}) // sequential, then interlaced
        for (auto &[cnf, err, expected] : cases) {
            write_file(path("d.cnf"), text(cnf));
            EXPECT_EQ(run_quondel(dir, {first, "d.cnf", "ok.cel"}).err, err) << cnf.substr(0, 40);
            const bool made = fs::exists(path("d.gif"));
            // The table is the smallest that holds the picture's colours; 16 entries unless the row
            // says otherwise.
            const bool sized = expected.find(' ') != std::string::npos;
            EXPECT_EQ(made ? picture(path("d.gif")) : "",
                      expected.empty() || sized ? expected : expected + " 16");
            fs::remove(path("d.gif"));
            EXPECT_TRUE(fs::remove(path("ok.gif")));
        }
}

} // namespace
