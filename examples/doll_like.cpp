#include "doll_like.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr int BAYER[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

struct Random {
    uint32_t state;
};

uint32_t next(Random &r) { // xorshift: the same picture on every run
    r.state ^= r.state << 13, r.state ^= r.state >> 17, r.state ^= r.state << 5;
    return r.state;
}

int between(Random &r, int low, int high) {
    return low + static_cast<int>(next(r) % static_cast<uint32_t>(high - low + 1));
}

// Ramps of shades: 15 ramps of 16 from index 16 at 8 bits, 3 of 4 from index 2 at 4 bits.
struct Ramps {
    int count, shades, first;
};

unsigned char shade(const Ramps &ramps, int ramp, int level) {
    level = std::clamp(level, 0, ramps.shades - 1);
    return static_cast<unsigned char>(ramps.first + ramp * ramps.shades + level);
}

// A value in shades, dithered: ordered (Bayer) or scattered, as painted shading is.
int dithered(double value, int x, int y, int style, Random &r) {
    const double fraction = value - std::floor(value);
    const double threshold = style == 0   ? 0.5
                             : style == 1 ? (BAYER[y & 3][x & 3] + 0.5) / 16
                                          : (next(r) % 1024) / 1024.0;
    return static_cast<int>(std::floor(value)) + (fraction > threshold ? 1 : 0);
}

// An ellipse with a one-pixel outline (index 1), a softened edge outside it, and shading
// inside in bands, flat or dithered.
void ellipse(Bytes &p, unsigned width, unsigned height, const Ramps &ramps, Random &r) {
    const double cx = between(r, 0, static_cast<int>(width)),
                 cy = between(r, 0, static_cast<int>(height));
    const double a = between(r, 8, std::max(9, static_cast<int>(width) / 4)),
                 b = between(r, 8, std::max(9, static_cast<int>(height) / 3));
    const int ramp = between(r, 1, ramps.count - 1), style = between(r, 0, 2);
    const double levels = between(r, 2, ramps.shades - 1);
    auto inside = [&](double x, double y) {
        const double dx = (x - cx) / a, dy = (y - cy) / b;
        return dx * dx + dy * dy;
    };
    const int x0 = std::max(0, static_cast<int>(cx - a - 2)),
              x1 = std::min(static_cast<int>(width) - 1, static_cast<int>(cx + a + 2));
    const int y0 = std::max(0, static_cast<int>(cy - b - 2)),
              y1 = std::min(static_cast<int>(height) - 1, static_cast<int>(cy + b + 2));
    const double soft = 1.6 / std::min(a, b);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const double d = inside(x, y);
            unsigned char &pixel = p[size_t(y) * width + size_t(x)];
            if (d >= 1) {
                // Anti-aliased: a mid shade of the shape's ramp just outside the outline.
                if (std::sqrt(d) < 1 + soft) pixel = shade(ramps, ramp, ramps.shades / 2);
                continue;
            }
            const bool edge = inside(x + 1, y) >= 1 || inside(x - 1, y) >= 1 ||
                              inside(x, y + 1) >= 1 || inside(x, y - 1) >= 1;
            if (edge) {
                pixel = 1;
                continue;
            }
            const double light = ((x - cx) / a + (y - cy) / b + 2) / 4 * levels;
            pixel = shade(ramps, ramp, dithered(light, x, y, style, r));
        }
}

// A rectangle (a garment's panel): flat, outlined, with a stripe pattern half the time.
void panel(Bytes &p, unsigned width, unsigned height, const Ramps &ramps, Random &r) {
    const int w = between(r, 6, std::max(7, static_cast<int>(width) / 5)),
              h = between(r, 6, std::max(7, static_cast<int>(height) / 4));
    const int x0 = between(r, 0, static_cast<int>(width) - 1),
              y0 = between(r, 0, static_cast<int>(height) - 1);
    const int ramp = between(r, 1, ramps.count - 1), stripes = between(r, 0, 1) * between(r, 3, 9);
    for (int y = y0; y < std::min(y0 + h, static_cast<int>(height)); ++y)
        for (int x = x0; x < std::min(x0 + w, static_cast<int>(width)); ++x) {
            const bool edge = x == x0 || y == y0 || x == x0 + w - 1 || y == y0 + h - 1;
            const int level = stripes && (x - x0) / stripes % 2 ? 1 : ramps.shades - 2;
            p[size_t(y) * width + size_t(x)] = edge ? 1 : shade(ramps, ramp, level);
        }
}

// A line of text in a 5 x 7 font of made-up glyphs.
void text(Bytes &p, unsigned width, unsigned height, Random &r) {
    unsigned glyphs[26][7];
    Random font = {0x12345678};
    for (auto &glyph : glyphs)
        for (unsigned &row : glyph)
            row = next(font) & 31;
    const int y0 = between(r, 0, std::max(0, static_cast<int>(height) - 8));
    int x = between(r, 0, static_cast<int>(width) / 2);
    const int letters = between(r, 8, 40);
    for (int i = 0; i < letters && x + 6 < static_cast<int>(width); ++i, x += 6) {
        if (between(r, 0, 5) == 0) continue; // a space
        const unsigned *glyph = glyphs[next(r) % 26];
        for (int gy = 0; gy < 7 && y0 + gy < static_cast<int>(height); ++gy)
            for (int gx = 0; gx < 5; ++gx)
                if (glyph[gy] >> gx & 1) p[size_t(y0 + gy) * width + size_t(x + gx)] = 1;
    }
}

} // namespace

Bytes doll_like_pixels(unsigned width, unsigned height, int depth, uint32_t seed) {
    Bytes p(size_t{width} * height, 0);
    if (p.empty()) return p;
    const Ramps ramps = depth == 8 ? Ramps{15, 16, 16} : Ramps{3, 4, 2};
    Random r = {seed * 2654435761u + 1};
    // Flat floor below a dithered sky, as a doll's backdrop.
    const unsigned horizon = height * static_cast<unsigned>(between(r, 50, 80)) / 100;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            p[size_t{y} * width + x] =
                y >= horizon ? 2
                             : shade(ramps, 0,
                                     dithered(double(y) * (ramps.shades - 1) / horizon,
                                              static_cast<int>(x), static_cast<int>(y), 1, r));
    const int shapes = 6 + static_cast<int>(size_t{width} * height / 40000);
    for (int i = 0; i < shapes; ++i) {
        if (i % 3 == 2)
            panel(p, width, height, ramps, r);
        else
            ellipse(p, width, height, ramps, r);
    }
    for (int i = 0, lines = 1 + static_cast<int>(height / 200); i < lines; ++i)
        text(p, width, height, r);
    return p;
}

Bytes doll_like_palette(int depth) {
    Bytes rgb = {250, 244, 230, 20, 16, 24};
    const Ramps ramps = depth == 8 ? Ramps{15, 16, 16} : Ramps{3, 4, 2};
    for (unsigned char k = 2; rgb.size() < size_t(ramps.first) * 3; ++k) // distinct greens
        rgb.insert(rgb.end(), {static_cast<unsigned char>(100 + k), 170, 90});
    for (int ramp = 0; ramp < ramps.count; ++ramp)
        for (int level = 0; level < ramps.shades; ++level) {
            const double t = (level + 1.0) / ramps.shades;
            rgb.push_back(
                static_cast<unsigned char>(255 * t * (0.5 + 0.5 * ((ramp * 5) % 7) / 6.0)));
            rgb.push_back(
                static_cast<unsigned char>(255 * t * (0.5 + 0.5 * ((ramp * 3) % 5) / 4.0)));
            rgb.push_back(
                static_cast<unsigned char>(255 * t * (0.4 + 0.6 * ((ramp * 2) % 3) / 2.0)));
        }
    return rgb;
}
