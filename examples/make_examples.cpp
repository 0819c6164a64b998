// Writes the example KiSS files shipped in examples/: a 24-bit and a 12-bit palette, a
// 4-bit and an 8-bit cel, a cel in the original headerless form, and a doll made of them. Usage:
// make_examples DIRECTORY
#include "doll_like.h"
#include "kiss_writer.h"

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

// A doll of two objects: the face over the shirt, and the bow (headerless, 12-bit colours)
// over the face; the hat is unmapped at start. CR LF line ends and a DOS end mark, as in
// real archives, and a palette name whose case differs from the file's.
Bytes doll_cnf() {
    const char *text = "; quondel example doll\r\n"
                       "=16K\r\n"
                       "(80,84)\r\n"
                       "[0\r\n"
                       "%doll.kcf\r\n"
                       "%PASTEL.KCF\t; 16 colours of 12 bits\r\n"
                       "#1 bow.cel *1 :0 1\r\n"
                       "#1.5 hat.cel *1 :0 1\r\n"
                       "#0 face.cel\t:0 1\r\n"
                       "#0 shirt.cel :0 1 ; the ramp of doll.kcf\r\n"
                       "$0 10,4 28,5\r\n"
                       "; set 1: the bow moves to the shirt\r\n"
                       "$0 10,4\r\n"
                       " 24,44\r\n"
                       ";@EventHandler\r\n"
                       ";@initialize()\r\n"
                       ";@ unmap(\"hat.cel\") ; worn later\r\n"
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
    if (argc == 6 && std::string(argv[1]) == "--doll-cel") return write_doll_like_cel(argv);
    if (argc == 3 && std::string(argv[1]) == "--corpus") return write_corpus(argv[2]);
    if (argc != 2) {
        fprintf(stderr,
                "usage: %s DIRECTORY | --corpus DIRECTORY | --cel FILE DEPTH WIDTH HEIGHT | "
                "--doll-cel FILE DEPTH WIDTH HEIGHT\n",
                argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok =
        write_bytes(dir + "/doll.kcf", palette()) && write_bytes(dir + "/face.cel", face_cel()) &&
        write_bytes(dir + "/shirt.cel", shirt_cel()) &&
        write_bytes(dir + "/pastel.kcf", pastel_palette()) &&
        write_bytes(dir + "/bow.cel", bow_cel()) && write_bytes(dir + "/hat.cel", hat_cel()) &&
        write_bytes(dir + "/doll.cnf", doll_cnf());
    if (!ok) perror(dir.c_str());
    return ok ? 0 : 1;
}
