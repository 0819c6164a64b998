// Writes the example KiSS files shipped in examples/: a 24-bit and a 12-bit palette, a
// 4-bit and an 8-bit cel, a cel in the original headerless form, and a doll made of them. Usage:
// make_examples DIRECTORY
#include "archive_writer.h"
#include "doll_like.h"
#include "image_cels.h"
#include "kiss_writer.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// 16 named colours, then a smooth ramp for the 8-bit cel.
Bytes palette() {
    Bytes file = kiss_file(0x10, 0, 0, 0, 0, 0, {});
    static const unsigned char named[16][3] = {
        {0, 0, 0},      {255, 224, 189}, {60, 40, 20},    {255, 255, 255},
        {30, 30, 120},  {200, 40, 60},   {250, 180, 60},  {40, 150, 70},
        {90, 200, 230}, {130, 60, 170},  {240, 240, 80},  {120, 120, 120},
        {200, 120, 90}, {20, 80, 40},    {255, 150, 190}, {10, 10, 10}};
    for (const auto &rgb : named)
        file.insert(file.end(), rgb, rgb + 3);
    for (int i = 16; i < 256; ++i) {
        const int t = (i - 16) * 255 / 239;
        file.push_back(static_cast<unsigned char>(t));
        file.push_back(static_cast<unsigned char>(64 + t / 2));
        file.push_back(static_cast<unsigned char>(255 - t));
    }
    return file;
}

// A round face, odd width so the unused low nibble of each row is exercised.
Bytes face_cel() {
    const int width = 33, height = 29;
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int dx = x - 16, dy = y - 14, r2 = dx * dx + dy * dy;
            int index = r2 < 14 * 14 ? 1 : 0;
            if ((dx == -5 || dx == 5) && dy == -4) index = 4;
            if (dy == 6 && dx > -6 && dx < 6) index = 5;
            if (r2 >= 13 * 13 && r2 < 14 * 14) index = 2;
            pixels.push_back(static_cast<unsigned char>(index));
        }
    return cel_file(4, width, height, pack_rows(4, width, pixels), 12, 7);
}

// A shaded shirt that uses the whole ramp.
Bytes shirt_cel() {
    const int width = 48, height = 40;
    Bytes file = kiss_file(0x20, 8, width, height, 4, 36, {});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool sleeve = y < 14 && (x < 8 || x >= 40);
            const bool body = x >= 8 && x < 40;
            const bool collar = y < 4 && x >= 18 && x < 30;
            int index = 0;
            if (body || sleeve) index = 16 + (x * 5 + y * 3) % 240;
            if (collar) index = 3;
            file.push_back(static_cast<unsigned char>(index));
        }
    return file;
}

// Soft colours in 12 bits, as older 16-colour dolls store them.
Bytes pastel_palette() {
    static const unsigned char rgb4[16 * 3] = {0, 0,  0,  15, 14, 12, 9,  6,  3, 15, 15, 15,
                                               6, 8,  14, 14, 7,  9,  15, 12, 6, 7,  12, 8,
                                               9, 13, 15, 11, 8,  13, 15, 15, 9, 8,  8,  8};
    return palette_file(12, 16, Bytes(rgb4, rgb4 + sizeof rgb4));
}

// A bow in the headerless form: odd width, stripes of three colours.
Bytes bow_cel() {
    const int width = 21, height = 11;
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int dx = x < 10 ? 10 - x : x - 10, dy = y < 5 ? 5 - y : y - 5;
            int index = dy <= dx / 2 + 1 ? 4 + (x + y) % 3 : 0;
            if (dx <= 1 && dy <= 1) index = 3;
            pixels.push_back(static_cast<unsigned char>(index));
        }
    return old_cel_file(width, height, pack_rows(4, width, pixels));
}

// A straw hat in the 12-bit palette; the doll hides it until it is worn.
Bytes hat_cel() {
    const int width = 24, height = 8;
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += 2) {
            const bool brim = y >= 6, crown = y < 6 && x >= 6 && x < 18;
            const int index = brim || crown ? (y == 4 ? 5 : 6) : 0;
            pixels.push_back(static_cast<unsigned char>(index << 4 | index));
        }
    return cel_file(4, width, height, pixels);
}

// A sheer scarf in one colour: a band that waves, drawn translucent by the doll.
Bytes scarf_cel() {
    const int width = 40, height = 10;
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int middle = 5 + (x / 5) % 2;
            pixels.push_back(y >= middle - 3 && y <= middle + 2 ? 8 : 0);
        }
    return cel_file(4, width, height, pack_rows(4, width, pixels));
}

// Two soft pink cheeks in 32 bits: straight alpha fading out from each centre.
Bytes blush_cel() {
    const int width = 24, height = 8;
    Bytes bgra;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int dx = (x < 12 ? x - 4 : x - 19), dy = y - 4, r2 = dx * dx + dy * dy;
            const int alpha = r2 >= 16 ? 0 : 200 - r2 * 12;
            bgra.insert(bgra.end(), {150, 120, 255, static_cast<unsigned char>(alpha)});
        }
    return cel32_file(width, height, bgra);
}

// Closed eyelids over the face's two eyes, which the doll shows for a moment now and then.
Bytes blink_cel() {
    const int width = 13;
    Bytes pixels(width, 0);
    for (const int x : {0, 1, 2, 10, 11, 12})
        pixels[x] = 2;
    return cel_file(4, width, 1, pack_rows(4, width, pixels), 22, 17);
}

// A doll of four objects: the face over the shirt, the bow (headerless, 12-bit colours) over
// the face, a translucent scarf, and 32-bit cheeks that begin() moves into place; the hat is
// unmapped at start. The eyes blink by a timer: closed for 160 ms every 3.16 s. CR LF line ends and
// a DOS end mark, as in real archives, and a palette name whose case differs from the file's.
Bytes doll_cnf() {
    const char *text = "; quondel example doll\r\n"
                       "=16K\r\n"
                       "(80,84)\r\n"
                       "[0\r\n"
                       "%doll.kcf\r\n"
                       "%PASTEL.KCF\t; 16 colours of 12 bits\r\n"
                       "#1 bow.cel *1 :0 1\r\n"
                       "#1.5 hat.cel *1 :0 1\r\n"
                       "#3 blush.cel :0 1\t; soft edges in 32 bits\r\n"
                       "#0 blink.cel :0 1 ;%u closed eyes, shown by the timers\r\n"
                       "#0 face.cel\t:0 1\r\n"
                       "#2 scarf.cel :0 1 ;%t110 sheer\r\n"
                       "#0 shirt.cel :0 1 ; the ramp of doll.kcf\r\n"
                       "$0 10,4 28,5 18,41 25,22\r\n"
                       "; set 1: the bow moves to the shirt\r\n"
                       "$0 10,4\r\n"
                       " 24,44 18,41 25,22\r\n"
                       ";@EventHandler\r\n"
                       ";@initialize()\r\n"
                       ";@ unmap(\"hat.cel\") ; worn later\r\n"
                       ";@begin()\r\n"
                       ";@ move(#3, 1, 2) ; the cheeks settle\r\n"
                       ";@ timer(1, 3000)\r\n"
                       ";@alarm(1) map(\"blink.cel\") timer(2, 160)\r\n"
                       ";@alarm(2) unmap(\"blink.cel\") timer(1, 3000)\r\n"
                       ";@press(#1)\r\n"
                       ";@ map(\"hat.cel\")\r\n"
                       "\x1a";
    const std::string bytes = text;
    return Bytes(bytes.begin(), bytes.end());
}

} // namespace

// A cel of random pixels at offset (0, 0), for measuring: --cel FILE DEPTH WIDTH HEIGHT.
int write_random_cel(char **argv) {
    const int depth = atoi(argv[3]);
    const unsigned width = static_cast<unsigned>(atoi(argv[4])),
                   height = static_cast<unsigned>(atoi(argv[5]));
    Bytes pixels(size_t{depth == 8 ? width : (width + 1) / 2} * height);
    uint32_t state = 2463534242u;
    for (auto &p : pixels) { // xorshift: fast, and the same file on every run
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        p = static_cast<unsigned char>(state);
    }
    if (write_bytes(argv[2], cel_file(depth, width, height, pixels))) return 0;
    perror(argv[2]);
    return 1;
}

// Seeds for fuzzing archives: every LZH header level packed with -lh5-, and one viewer's
// damaged form; --seeds DIR.
int write_archive_seeds(const std::string &dir) {
    const Bytes cel = face_cel(), cnf = doll_cnf();
    bool ok = true;
    for (int level = 0; level < 3; ++level)
        ok = ok && write_bytes(dir + "/lh5-level" + std::to_string(level) + ".lzh",
                               lzh_archive({{"doll.cnf", cnf, level, "-lh5-"},
                                            {"sub/face.cel", cel, level, "-lh5-"}}));
    ok = ok && write_bytes(dir + "/lhd.lzh", lzh_archive({{"face.cel", cel, 1, "-lhd-", true}}));
    // A doll of one image cel: a 2 x 1 BMP of 24 bits.
    const std::string bmp_cnf = "(4,2)\r\n#0 pic.bmp\r\n$0 1,1\r\n";
    Bytes bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40,
                 0,   0,   0, 2, 0, 0, 0, 1, 0, 0, 0,  1, 0, 24};
    bmp.resize(54, 0);
    bmp.insert(bmp.end(), {30, 20, 10, 60, 50, 40, 0, 0});
    ok = ok && write_bytes(dir + "/image.zip",
                           zip_archive({{"pic.cnf", Bytes(bmp_cnf.begin(), bmp_cnf.end())},
                                        {"PIC.BMP", bmp}}));
    if (!ok) perror(dir.c_str());
    return ok ? 0 : 1;
}

// A large doll for measuring, in DIR: a 1700 x 700 playfield, 13 palette files, and 150 cel
// lines over a patterned background, one in five translucent and some in 32 bits with soft
// edges, so that the picture needs far more than 256 colours: --large-doll DIR.
int write_large_doll(const std::string &dir) {
    std::string cnf = "(1700,700)\n";
    bool ok = true;
    for (int p = 0; p < 13; ++p) {
        Bytes rgb;
        for (int i = 0; i < 256; ++i)
            for (int c = 0; c < 3; ++c)
                rgb.push_back(static_cast<unsigned char>((i * (c + 1) + p * 40 + c * 85) % 256));
        ok = ok && write_bytes(dir + "/p" + std::to_string(p) + ".kcf", palette_file(24, 256, rgb));
        cnf += "%p" + std::to_string(p) + ".kcf\n";
    }
    for (int k = 0; k < 30; ++k) { // 8-bit cels of stripes and rings
        const unsigned width = 120 + k * 7, height = 160 + k * 5;
        Bytes pixels(size_t{width} * height);
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x) {
                const int dx = static_cast<int>(x - width / 2),
                          dy = static_cast<int>(y - height / 2);
                const bool inside =
                    dx * dx * 4 / static_cast<int>(width) + dy * dy * 4 / static_cast<int>(height) <
                    static_cast<int>(width + height) / 2;
                pixels[y * width + x] =
                    inside ? static_cast<unsigned char>(1 + (x / 6 + y / 9 + k) % 255) : 0;
            }
        ok = ok && write_bytes(dir + "/c" + std::to_string(k) + ".cel",
                               cel_file(8, width, height, pixels));
    }
    for (int k = 0; k < 6; ++k) { // 32-bit cels with soft edges
        const int size = 150 + k * 20;
        Bytes bgra;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const int dx = x - size / 2, dy = y - size / 2, r = size / 2;
                const int d2 = dx * dx + dy * dy,
                          alpha = d2 >= r * r ? 0 : 255 - d2 * 255 / (r * r);
                bgra.insert(bgra.end(), {static_cast<unsigned char>(x * 255 / size),
                                         static_cast<unsigned char>(80 + k * 30),
                                         static_cast<unsigned char>(y * 255 / size),
                                         static_cast<unsigned char>(alpha)});
            }
        ok = ok &&
             write_bytes(dir + "/s" + std::to_string(k) + ".cel", cel32_file(size, size, bgra));
    }
    Bytes background(1700 * 700);
    for (size_t i = 0; i < background.size(); ++i)
        background[i] = static_cast<unsigned char>(1 + (i % 1700 / 20 + i / 1700 / 20) % 2 * 100 +
                                                   i % 1700 % 50);
    ok = ok && write_bytes(dir + "/back.cel", cel_file(8, 1700, 700, background));
    std::string positions = "$0";
    for (int line = 0; line < 149; ++line) {
        const bool soft = line % 25 == 7;
        cnf += "#" + std::to_string(line) + " " +
               (soft ? "s" + std::to_string(line % 6) : "c" + std::to_string(line % 30)) +
               ".cel *" + std::to_string(line % 13) +
               (line % 5 == 2 ? " ;%t" + std::to_string(60 + line % 120) : "") + "\n";
        positions += " " + std::to_string(line * 97 % 1600) + "," + std::to_string(line * 53 % 560);
    }
    cnf += "#149 back.cel *3\n" + positions + " 0,0\n";
    ok = ok && write_bytes(dir + "/large.cnf", Bytes(cnf.begin(), cnf.end()));
    if (!ok) perror(dir.c_str());
    return ok ? 0 : 1;
}

// A clock-like doll for measuring animations, in DIR: a 640 x 480 doll-like background, a
// hand that one cel file draws at 60 places (a group with a frame each), set forward every
// second by an alarm that fires every 2 ms, and a bob swinging 1 pixel every 2 ms:
// --clock-doll DIR.
int write_clock_doll(const std::string &dir) {
    const unsigned width = 640, height = 480;
    std::string cnf = "(640,480)\n%clock.kcf\n#2 bob.cel\n";
    for (int k = 0; k < 60; ++k) {
        const double angle = k * 6 * 3.14159265358979 / 180;
        const int x = static_cast<int>(316 + 200 * std::sin(angle)),
                  y = static_cast<int>(236 - 200 * std::cos(angle));
        cnf += "#1 hand.cel ;%offset[" + std::to_string(x) + "," + std::to_string(y) +
               "] !hand :" + std::to_string(k) + "\n";
    }
    cnf += "#0 back.cel\n$0 0,0 0,0 100,40\n"
           ";@begin() setframe(!hand,0) let(d,1) timer(1,2)\n"
           ";@alarm(1) timer(1,2) add(t,t,2) move(#2,d,0)\n"
           ";@ ifequal(t,1000) let(t,0) add(s,s,1) gosub(2) endif()\n"
           ";@ letobjectx(x,#2) ifgreaterthan(x,500) let(d,-1) elseiflessthan(x,100) let(d,1)\n"
           ";@label(2) ifequal(s,60) let(s,0) endif() setframe(!hand,s)\n";
    Bytes hand(8 * 8, 1), bob(16 * 16, 2);
    const bool ok =
        write_bytes(dir + "/clock.kcf", palette_file(24, 256, doll_like_palette(8))) &&
        write_bytes(dir + "/back.cel",
                    cel_file(8, width, height, doll_like_pixels(width, height, 8, 7))) &&
        write_bytes(dir + "/hand.cel", cel_file(8, 8, 8, hand)) &&
        write_bytes(dir + "/bob.cel", cel_file(8, 16, 16, bob)) &&
        write_bytes(dir + "/clock.cnf", Bytes(cnf.begin(), cnf.end()));
    if (!ok) perror(dir.c_str());
    return ok ? 0 : 1;
}

// A cel of a doll-like picture at offset (0, 0): --doll-cel FILE DEPTH WIDTH HEIGHT.
int write_doll_like_cel(char **argv) {
    const int depth = atoi(argv[3]);
    const unsigned width = static_cast<unsigned>(atoi(argv[4])),
                   height = static_cast<unsigned>(atoi(argv[5]));
    const Bytes pixels = pack_rows(depth, width, doll_like_pixels(width, height, depth, 1));
    if (write_bytes(argv[2], cel_file(depth, width, height, pixels))) return 0;
    perror(argv[2]);
    return 1;
}

// Dolls for measuring compression, each one cel of a doll-like picture in its own palette:
// --corpus DIRECTORY writes dNN.cnf, dNN.kcf and dNN.cel (about 18 MB in all).
int write_corpus(const std::string &dir) {
    static const unsigned sizes[][3] = {
        {448, 320, 8},   {640, 480, 8}, {800, 600, 8},  {1024, 768, 8}, {1700, 700, 8},
        {1200, 900, 8},  {500, 700, 4}, {640, 480, 4},  {320, 240, 8},  {960, 540, 8},
        {1280, 1024, 8}, {800, 600, 4}, {1600, 1200, 8}};
    for (unsigned i = 0; i < sizeof sizes / sizeof sizes[0]; ++i) {
        const unsigned width = sizes[i][0], height = sizes[i][1];
        const int depth = static_cast<int>(sizes[i][2]);
        char name[8];
        snprintf(name, sizeof name, "d%02u", i + 1);
        const std::string base = dir + "/" + name, cnf = "(" + std::to_string(width) + "," +
                                                         std::to_string(height) + ")\r\n%" + name +
                                                         ".kcf\r\n#0 " + name + ".cel\r\n";
        const Bytes pixels = doll_like_pixels(width, height, depth, i + 1);
        if (!write_bytes(base + ".kcf", palette_file(24, 1u << depth, doll_like_palette(depth))) ||
            !write_bytes(base + ".cel",
                         cel_file(depth, width, height, pack_rows(depth, width, pixels))) ||
            !write_bytes(base + ".cnf", Bytes(cnf.begin(), cnf.end()))) {
            perror(base.c_str());
            return 1;
        }
    }
    return 0;
}

int main(int argc, char **argv) {
    if (argc == 6 && std::string(argv[1]) == "--cel") return write_random_cel(argv);
    if (argc == 3 && std::string(argv[1]) == "--large-doll") return write_large_doll(argv[2]);
    if (argc == 6 && std::string(argv[1]) == "--doll-cel") return write_doll_like_cel(argv);
    if (argc == 3 && std::string(argv[1]) == "--corpus") return write_corpus(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--clock-doll") return write_clock_doll(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--seeds") return write_archive_seeds(argv[2]);
#ifdef QUONDEL_IMAGE_CELS
    if (argc == 3 && std::string(argv[1]) == "--image-cels") return write_image_cels(argv[2]);
#endif
    if (argc != 2) {
        fprintf(
            stderr,
            "usage: %s DIRECTORY | --corpus DIRECTORY | --large-doll DIRECTORY | --clock-doll "
            "DIRECTORY | --seeds "
            "DIRECTORY | --cel FILE "
            "DEPTH WIDTH HEIGHT | --doll-cel FILE DEPTH WIDTH HEIGHT | --image-cels DIRECTORY\n",
            argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"doll.kcf", palette()},          {"face.cel", face_cel()},   {"shirt.cel", shirt_cel()},
        {"pastel.kcf", pastel_palette()}, {"bow.cel", bow_cel()},     {"hat.cel", hat_cel()},
        {"scarf.cel", scarf_cel()},       {"blush.cel", blush_cel()}, {"blink.cel", blink_cel()},
        {"doll.cnf", doll_cnf()}};
    // The doll as people get it: one archive of its files. The LZH has the header levels
    // real archives use, its cels in a folder of their own (the CNF names them without it).
    std::vector<ArchiveMember> lzh, zip;
    for (const auto &[name, bytes] : files) {
        const bool cel = name.size() > 4 && name.substr(name.size() - 4) == ".cel";
        lzh.push_back({(cel ? "cels/" : "") + name, bytes, cel ? 2 : 1});
        zip.push_back({name, bytes});
    }
    bool ok = true;
    for (const auto &[name, bytes] : files)
        ok = ok && write_bytes(dir + "/" + name, bytes);
    ok = ok && write_bytes(dir + "/doll.lzh", lzh_archive(lzh)) &&
         write_bytes(dir + "/doll.zip", zip_archive(zip));
    if (!ok) perror(dir.c_str());
    return ok ? 0 : 1;
}
