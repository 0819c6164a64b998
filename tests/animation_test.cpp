#include "colour/frame_colours.h"
#include "convert/frame_pixels.h"
#include "convert/gif_animation.h"
#include "convert/gif_container.h"
#include "doll_like.h"
#include "support.h"

#include <gif_lib.h>
#include <set>

namespace {

struct Shot {
    Canvas canvas;
    int64_t at_ms;
};

// The table entry a colour should take: its own, else the nearest (never a transparent one).
uint32_t nearest(const Played &p, uint32_t c) {
    const auto distance = [c](uint32_t t) {
        int d = 0;
        for (int s = 0; s < 24; s += 8)
            d += (int(c >> s & 255) - int(t >> s & 255)) * (int(c >> s & 255) - int(t >> s & 255));
        return d;
    };
    return *std::min_element(p.table.begin() + p.transparent, p.table.end(),
                             [&](uint32_t a, uint32_t b) { return distance(a) < distance(b); });
}

// Gathers the shots' colours, then writes them as an animation lasting to `end_ms`.
void animate(const std::string &file, unsigned w, const std::vector<Shot> &shots, int64_t end_ms,
             int interlace = 0) {
    FrameColours colours{};
    for (const Shot &s : shots)
        ASSERT_EQ(gather_frame_colours(colours, s.canvas.data(), s.canvas.size()), 0);
    ColourTable table;
    bool has_transparent = false;
    ASSERT_EQ(choose_frame_table(colours, table, has_transparent), 0);
    release_frame_colours(colours);
    FILE *out = fopen(file.c_str(), "wb");
    AnimationWriter writer;
    const unsigned h = unsigned(shots[0].canvas.size() / w);
    ASSERT_EQ(begin_animation(writer, out, w, h, table, has_transparent, interlace), 0);
    for (const Shot &s : shots)
        ASSERT_EQ(add_animation_frame(writer, s.canvas.data(), s.at_ms), 0);
    ASSERT_EQ(finish_animation(writer, end_ms), 0);
    fclose(out);
}

// 8 x 6 of one colour, with a box (left, top, width, height) of another.
Canvas filled(uint32_t colour, std::array<unsigned, 4> box = {}, uint32_t inside = 0) {
    Canvas c(8 * 6, colour);
    for (unsigned y = box[1]; y < box[1] + box[3]; ++y)
        for (unsigned x = box[0]; x < box[0] + box[2]; ++x)
            c[y * 8 + x] = inside;
    return c;
}

// Distinct colours, `count` of them from `first` on, repeating.
Canvas ramp(size_t pixels, uint32_t first, uint32_t count) {
    Canvas c(pixels);
    for (size_t i = 0; i < c.size(); ++i)
        c[i] = (first + uint32_t(i % count)) * 0x010305 & 0xFFFFFF;
    return c;
}

Canvas with(Canvas c, size_t at, uint32_t colour) {
    c[at] = colour;
    return c;
}

} // namespace

class Animation : public TempDirTest {};

// Each row: the shots, when the last ends, and the frames a player should get ("?" after a
// frame: transparent or not, as encodes smaller). Every frame must also show exactly the shot
// due at its start, through the table.
TEST_F(Animation, FramesRectanglesAndDelays) {
    const uint32_t bg = 0x102030, red = 0xFF0000;
    const Canvas plain = filled(bg), square = filled(bg, {3, 2, 2, 2}, red),
                 corner = filled(bg, {7, 5, 1, 1}, red), striped = ramp(48, 9, 5),
                 noisy = ramp(512, 1, 200), speckled = with(with(noisy, 0, 0), 511, 0);
    struct Row {
        unsigned w;
        std::vector<Shot> shots;
        int64_t end_ms;
        std::string frames;
        int interlace = 0;
    };
    const Row rows[] = {
        // A blink redraws only the square.
        {8,
         {{plain, 0}, {square, 500}, {plain, 1000}},
         1500,
         "loop 0,0,8x6/50 3,2,2x2/50? 3,2,2x2/50?"},
        // An unchanged shot (the top byte is no colour) lengthens the frame before.
        {8,
         {{plain, 0}, {plain, 20}, {corner, 40}, {with(corner, 47, red | 1 << 24), 60}},
         100,
         "loop 0,0,8x6/4 7,5,1x1/6?"},
        // Interlaced rows are still the right rows.
        {8, {{striped, 0}, {with(striped, 9, red), 20}}, 40, "loop 0,0,8x6/2 1,1,1x1/2?", 1},
        // Past 65535 cs the rest is a frame that changes nothing.
        {8,
         {{plain, 0}, {with(plain, 0, red), 700000}},
         700020,
         "loop 0,0,8x6/65535 0,0,1x1/4465? 0,0,1x1/2?"},
        // Rounding to centiseconds does not pile up.
        {8,
         {{plain, 0}, {square, 14}, {plain, 29}, {square, 44}},
         59,
         "loop 0,0,8x6/1 3,2,2x2/2? 3,2,2x2/1? 3,2,2x2/2?"},
        // One picture is a still: no loop, no control.
        {8, {{plain, 0}, {plain, 500}}, 3000, "0,0,8x6/-"},
        // Two far corners change in noise: what lies between goes transparent, and the next
        // frame starts from what is shown.
        {64,
         {{noisy, 0}, {speckled, 30}, {with(speckled, 200, 0), 60}},
         80,
         "loop 0,0,64x8/3 0,0,64x8/3* 8,3,1x1/2?"},
        // 512 colours across two frames: 255 chosen and one entry left transparent.
        {16,
         {{ramp(256, 0, 256), 0}, {ramp(256, 256, 256), 20}},
         40,
         "loop 0,0,16x16/2 0,0,16x16/2?"},
        // 256 across frames stay exact and leave no entry transparent.
        {16,
         {{ramp(256, 0, 200), 0}, {ramp(256, 56, 200), 20}},
         40,
         "loop 0,0,16x16/2 0,0,16x16/2"},
    };
    for (const Row &row : rows) {
        animate(path("a.gif"), row.w, row.shots, row.end_ms, row.interlace);
        Played p;
        ASSERT_TRUE(play(path("a.gif"), p)) << row.frames;
        std::string want = row.frames;
        for (size_t at; (at = want.find('?')) != std::string::npos;) {
            want.erase(at, 1);
            if (p.frames.size() > at && p.frames[at] == '*') want.insert(at, "*");
        }
        EXPECT_EQ(p.frames, want);
        std::set<uint32_t> colours; // up to 256 are exact
        for (const Shot &s : row.shots)
            for (const uint32_t c : s.canvas)
                colours.insert(c & 0xFFFFFF);
        for (size_t k = 0, start = 0; k < p.pictures.size(); start += p.delays[k++]) {
            size_t due = 0; // the last shot at or before the frame's start, to the centisecond
            while (due + 1 < row.shots.size() &&
                   (row.shots[due + 1].at_ms + 5) / 10 <= int64_t(start))
                ++due;
            for (size_t i = 0; i < p.pictures[k].size(); ++i) {
                const uint32_t c = row.shots[due].canvas[i] & 0xFFFFFF;
                ASSERT_EQ(p.pictures[k][i], colours.size() <= 256 ? c : nearest(p, c))
                    << row.frames << ": frame " << k << " pixel " << i;
            }
        }
    }
}

// A 640 x 480 doll-like picture with a 16 x 16 sprite moving 8 pixels a frame: each frame is
// the 24 x 16 it crossed, and twenty of them cost less than the first picture again. The
// sprite's two colours, which every later frame draws, take the first entries, so that small
// frames' codes start narrow.
TEST_F(Animation, SmallMovingObjectCostsLittle) {
    const unsigned W = 640, H = 480;
    const Bytes indices = doll_like_pixels(W, H, 8, 7), palette = doll_like_palette(8);
    Canvas back(size_t(W) * H);
    for (size_t i = 0; i < back.size(); ++i)
        back[i] = uint32_t(palette[indices[i] * 3]) << 16 | palette[indices[i] * 3 + 1] << 8 |
                  palette[indices[i] * 3 + 2];
    std::vector<Shot> shots;
    std::string want = "loop 0,0,640x480/10";
    for (unsigned k = 0; k <= 20; ++k) {
        shots.push_back({back, k * 100});
        for (unsigned y = 200; y < 216; ++y)
            for (unsigned x = 100 + 8 * k; x < 116 + 8 * k; ++x)
                shots.back().canvas[y * W + x] = (x + y) % 3 ? 0xFFFF00 : 0x000080;
        if (k > 0) want += " " + std::to_string(92 + 8 * k) + ",200,24x16/10";
    }
    animate(path("still.gif"), W, {shots[0]}, 0);
    animate(path("moving.gif"), W, shots, 2100);
    Played p;
    ASSERT_TRUE(play(path("moving.gif"), p));
    EXPECT_EQ(p.frames, want);
    EXPECT_EQ(std::set<uint32_t>(&p.table[1], &p.table[3]), std::set<uint32_t>({0x80, 0xFFFF00}));
    EXPECT_LT(fs::file_size(path("moving.gif")), 2 * fs::file_size(path("still.gif")));
    // One frame is the still, byte for byte, as the doll picture writer makes it.
    ColourTable table;
    Canvas first = shots[0].canvas;
    ASSERT_EQ(index_colours(first.data(), first.size(), 0, table), 0);
    FILE *out = fopen(path("picture.gif").c_str(), "wb");
    ASSERT_EQ(write_picture_gif(out, {W, H, 0, 0, W, H, 8, table.colours.rgb, false, 0},
                                reinterpret_cast<unsigned char *>(first.data())),
              0);
    fclose(out);
    EXPECT_EQ(read_file(path("still.gif")), read_file(path("picture.gif")));
}

// Each row: entries, which are unchanged (1), and what goes out: a stretch of unchanged pixels
// of more than one colour becomes transparent (0); one of a single colour stays, to join its run.
TEST(FramePixels, StretchesOfManyColoursGoTransparent) {
    const struct {
        Bytes entries, unchanged, out;
    } rows[] = {
        {{5, 5, 5, 5}, {0, 1, 1, 0}, {5, 5, 5, 5}}, // one colour: the run stays whole
        {{5, 6, 7, 5}, {0, 1, 1, 0}, {5, 0, 0, 5}}, // two colours: one transparent run
        {{6, 7, 7, 7}, {1, 1, 0, 1}, {0, 0, 7, 7}}, // stretches end at a changed pixel
    };
    for (const auto &row : rows) {
        Bytes hidden = row.entries, out(row.entries.size());
        for (size_t i = 0; i < hidden.size(); ++i)
            hidden[i] = row.unchanged[i] ? 0 : hidden[i];
        hide_mixed_stretches(row.entries.data(), hidden.data(), hidden.size(), out.data());
        EXPECT_EQ(out, row.out);
    }
}
