// Writes the example KiSS files shipped in examples/: a palette, a 4-bit cel and an
// 8-bit cel. Usage: make_examples DIRECTORY
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes kiss_header(unsigned char mark, int depth, int width, int height, int x, int y) {
    Bytes header(32, 0);
    header[0] = 'K', header[1] = 'i', header[2] = 'S', header[3] = 'S';
    header[4] = mark;
    header[5] = static_cast<unsigned char>(depth);
    const int words[4] = {width, height, x, y};
    for (int i = 0; i < 4; ++i) {
        header[8 + 2 * i] = static_cast<unsigned char>(words[i]);
        header[9 + 2 * i] = static_cast<unsigned char>(words[i] >> 8);
    }
    return header;
}

// 16 named colours, then a smooth ramp for the 8-bit cel.
Bytes palette() {
    Bytes file = kiss_header(0x10, 0, 0, 0, 0, 0);
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
    Bytes file = kiss_header(0x20, 4, width, height, 12, 7);
    for (int y = 0; y < height; ++y) {
        Bytes row((width + 1) / 2, 0);
        for (int x = 0; x < width; ++x) {
            const int dx = x - 16, dy = y - 14, r2 = dx * dx + dy * dy;
            int index = r2 < 14 * 14 ? 1 : 0;
            if ((dx == -5 || dx == 5) && dy == -4) index = 4;
            if (dy == 6 && dx > -6 && dx < 6) index = 5;
            if (r2 >= 13 * 13 && r2 < 14 * 14) index = 2;
            row[x / 2] |= static_cast<unsigned char>(x % 2 ? index : index << 4);
        }
        file.insert(file.end(), row.begin(), row.end());
    }
    return file;
}

// A shaded shirt that uses the whole ramp.
Bytes shirt_cel() {
    const int width = 48, height = 40;
    Bytes file = kiss_header(0x20, 8, width, height, 4, 36);
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

bool write_file(const std::string &path, const Bytes &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = write_file(dir + "/doll.kcf", palette()) &&
                    write_file(dir + "/face.cel", face_cel()) &&
                    write_file(dir + "/shirt.cel", shirt_cel());
    if (!ok) perror(dir.c_str());
    return ok ? 0 : 1;
}
