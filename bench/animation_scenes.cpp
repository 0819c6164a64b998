// Animations like a doll's, written through the animated GIF writer for measuring size and
// time: a blink, a clock hand, a sprite crossing, a scrolling background and a fade over many
// colours. Prints each scene's frames, bytes and processor seconds (colours gathered, then
// written; both threads counted).
// Usage: animation_scenes DIRECTORY
#include "colour/frame_colours.h"
#include "convert/gif_animation.h"
#include "doll_like.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

using Canvas = std::vector<uint32_t>;
// Draws the scene at a time in milliseconds.
using Draw = std::function<void(Canvas &, int64_t)>;

struct Scene {
    const char *name;
    unsigned width, height;
    int64_t step_ms, end_ms;
    Draw draw;
};

Canvas doll_background(unsigned w, unsigned h, uint32_t seed) {
    const Bytes indices = doll_like_pixels(w, h, 8, seed), palette = doll_like_palette(8);
    Canvas c(indices.size());
    for (size_t i = 0; i < c.size(); ++i) {
        const unsigned char *rgb = &palette[indices[i] * 3];
        c[i] = uint32_t(rgb[0]) << 16 | rgb[1] << 8 | rgb[2];
    }
    return c;
}

void box(Canvas &c, unsigned w, int left, int top, int bw, int bh, uint32_t colour) {
    const int h = static_cast<int>(c.size() / w);
    for (int y = std::max(top, 0); y < std::min(top + bh, h); ++y)
        for (int x = std::max(left, 0); x < std::min(left + bw, int(w)); ++x)
            c[size_t(y) * w + x] = colour;
}

// Sampled every step; the writer merges samples that show nothing new.
bool run(const Scene &s, const std::string &dir) {
    Canvas canvas(size_t(s.width) * s.height);
    const std::clock_t started = std::clock();
    FrameColours colours{};
    for (int64_t t = 0; t < s.end_ms; t += s.step_ms) {
        s.draw(canvas, t);
        gather_frame_colours(colours, canvas.data(), canvas.size());
    }
    ColourTable table;
    bool transparent = false;
    if (choose_frame_table(colours, table, transparent) != 0) return false;
    release_frame_colours(colours);
    const std::string file = dir + "/" + s.name + ".gif";
    FILE *out = fopen(file.c_str(), "wb");
    AnimationWriter writer;
    if (out == nullptr || begin_animation(writer, out, s.width, s.height, table, transparent, 0))
        return false;
    for (int64_t t = 0; t < s.end_ms; t += s.step_ms) {
        s.draw(canvas, t);
        if (add_animation_frame(writer, canvas.data(), t) != 0) return false;
    }
    const uint64_t frames = writer.frames_written + writer.has_pending;
    if (finish_animation(writer, s.end_ms) != 0) return false;
    const long bytes = ftell(out);
    fclose(out);
    const double seconds = double(std::clock() - started) / CLOCKS_PER_SEC;
    printf("%-8s %6llu frames %9ld bytes %7.3f s %s\n", s.name,
           static_cast<unsigned long long>(frames), bytes, seconds,
           transparent ? "" : "(no transparent index)");
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    const Canvas doll = doll_background(448, 320, 3), wide = doll_background(640, 480, 5),
                 strip = doll_background(640, 200, 9);
    const Scene scenes[] = {
        {"blink", 448, 320, 20, 30000,
         [&](Canvas &c, int64_t t) {
             c = doll;
             if (t % 3000 < 160) box(c, 448, 200, 120, 14, 6, 0xE0B090); // eyelids
         }},
        {"clock", 320, 320, 20, 12000,
         [&](Canvas &c, int64_t t) {
             std::fill(c.begin(), c.end(), 0xF4F0E0);
             box(c, 320, 150, 150, 20, 20, 0x202020);
             const double a = t / 12000.0 * 2 * M_PI; // one turn in the animation
             for (int r = 0; r < 140; ++r)
                 box(c, 320, 160 + int(r * sin(a)), 160 - int(r * cos(a)), 3, 3, 0xA01010);
         }},
        {"sprite", 640, 480, 20, 30000,
         [&](Canvas &c, int64_t t) {
             c = wide;
             const int x = int(t / 50 % 700) - 30, y = 200 + int(40 * sin(t / 700.0));
             box(c, 640, x, y, 32, 24, 0x3060C0);
             box(c, 640, x + 6, y + 6, 8, 8, 0xFFFFFF);
         }},
        {"scroll", 640, 200, 20, 10000,
         [&](Canvas &c, int64_t t) {
             const unsigned shift = unsigned(t / 50) % 640;
             for (unsigned y = 0; y < 200; ++y)
                 for (unsigned x = 0; x < 640; ++x)
                     c[y * 640 + x] = strip[y * 640 + (x + shift) % 640];
         }},
        {"fade", 448, 320, 20, 3000,
         [&](Canvas &c, int64_t t) {
             const unsigned a = unsigned(std::min<int64_t>(255, t * 255 / 2000));
             for (size_t i = 0; i < c.size(); ++i) {
                 uint32_t out = 0;
                 for (int s = 0; s < 24; s += 8)
                     out |= ((doll[i] >> s & 0xFF) * (255 - a) + (0x60 + i % 448 / 4) * a) / 255
                            << s;
                 c[i] = out;
             }
         }},
    };
    for (const Scene &s : scenes)
        if (!run(s, argv[1])) return 1;
    return 0;
}
