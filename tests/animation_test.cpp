#include "colour/frame_colours.h"
#include "convert/gif_animation.h"
#include "doll_like.h"
#include "support.h"

#include <functional>
#include <gif_lib.h>

namespace {

using Canvas = std::vector<uint32_t>;
struct Shot {
    Canvas canvas;
    int64_t at_ms;
};

// What a player sees: each frame's rectangle, delay and transparent index (-1 none; a still's
// delay is -1 as it has no control), and the screen after each frame, composited.
struct Played {
    bool loops = false;
    std::vector<std::array<int, 4>> rects;
    std::vector<int> delays, transparent;
    std::vector<Canvas> pictures;
    Canvas table;
};

bool play(const std::string &file, Played &p) {
    int error = 0;
    GifFileType *gif = DGifOpenFileName(file.c_str(), &error);
    if (gif == nullptr) return false;
    bool ok = DGifSlurp(gif) == GIF_OK && gif->SColorMap != nullptr;
    for (int i = 0; ok && i < gif->SColorMap->ColorCount; ++i) {
        const GifColorType &c = gif->SColorMap->Colors[i];
        p.table.push_back(uint32_t(c.Red) << 16 | c.Green << 8 | c.Blue);
    }
    Canvas screen(size_t(gif->SWidth) * gif->SHeight, 0xFF000000); // nothing drawn yet
    for (int k = 0; ok && k < gif->ImageCount; ++k) {
        const SavedImage &image = gif->SavedImages[k];
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e)
            p.loops |= image.ExtensionBlocks[e].Function == APPLICATION_EXT_FUNC_CODE &&
                       memcmp(image.ExtensionBlocks[e].Bytes, "NETSCAPE2.0", 11) == 0 &&
                       memcmp(image.ExtensionBlocks[e + 1].Bytes, "\1\0\0", 3) == 0;
        GraphicsControlBlock control{0, false, -1, -1};
        if (DGifSavedExtensionToGCB(gif, k, &control) != GIF_OK) control.DelayTime = -1;
        const GifImageDesc &d = image.ImageDesc;
        ok = control.DisposalMode == DISPOSE_DO_NOT || control.DelayTime == -1;
        p.rects.push_back({d.Left, d.Top, d.Width, d.Height});
        p.delays.push_back(control.DelayTime);
        p.transparent.push_back(control.TransparentColor);
        for (int i = 0; i < d.Width * d.Height; ++i) {
            const int entry = image.RasterBits[i];
            if (entry != control.TransparentColor)
                screen[(d.Top + i / d.Width) * gif->SWidth + d.Left + i % d.Width] = p.table[entry];
        }
        p.pictures.push_back(screen);
    }
    DGifCloseFile(gif, &error);
    return ok;
}

// The table entry a colour should take: its own, else the nearest (never a transparent one).
uint32_t nearest(const Played &p, uint32_t c) {
    uint32_t best = 0;
    int least = 1 << 30;
    for (size_t k = p.transparent.back() == 0 ? 1 : 0; k < p.table.size(); ++k) {
        int d = 0;
        for (int s = 0; s < 24; s += 8) {
            const int diff = int(c >> s & 0xFF) - int(p.table[k] >> s & 0xFF);
            d += diff * diff;
        }
        if (d < least) least = d, best = p.table[k];
    }
    return best;
}

// Gathers the shots' colours, then writes them as an animation lasting to `end_ms`.
void animate(const std::string &file, unsigned w, unsigned h, const std::vector<Shot> &shots,
             int64_t end_ms, int interlace = 0) {
    FrameColours colours{};
    for (const Shot &s : shots)
        ASSERT_EQ(gather_frame_colours(colours, s.canvas.data(), s.canvas.size()), 0);
    ColourTable table;
    bool has_transparent = false;
    ASSERT_EQ(choose_frame_table(colours, table, has_transparent), 0);
    release_frame_colours(colours);
    FILE *out = fopen(file.c_str(), "wb");
    AnimationWriter writer;
    ASSERT_EQ(begin_animation(writer, out, w, h, table, has_transparent, interlace), 0);
    for (const Shot &s : shots)
        ASSERT_EQ(add_animation_frame(writer, s.canvas.data(), s.at_ms), 0);
    ASSERT_EQ(finish_animation(writer, end_ms), 0);
    fclose(out);
}

Canvas filled(unsigned w, unsigned h, uint32_t colour, std::array<unsigned, 5> box = {}) {
    Canvas c(size_t(w) * h, colour);
    for (unsigned y = box[1]; y < box[1] + box[3]; ++y)
        for (unsigned x = box[0]; x < box[0] + box[2]; ++x)
            c[y * w + x] = box[4];
    return c;
}

// Distinct colours, `count` of them from `first` on.
Canvas ramp(unsigned w, unsigned h, uint32_t first, uint32_t count) {
    Canvas c(size_t(w) * h);
    for (size_t i = 0; i < c.size(); ++i)
        c[i] = (first + uint32_t(i % count)) * 0x010305 & 0xFFFFFF;
    return c;
}

} // namespace

class Animation : public TempDirTest {};

// Each row: the shots and when the last ends, the frames a player should get (rectangle,
// delay), whether it loops, and which frames leave pixels unchanged through a transparent
// index (-2: either way). Every frame must also show exactly the shot due at its start,
// through the table.
TEST_F(Animation, FramesRectanglesAndDelays) {
    const uint32_t bg = 0x102030, red = 0xFF0000;
    const unsigned W = 8, H = 6;
    Canvas noisy = ramp(64, 8, 1, 200), speckled = noisy, dotted;
    speckled[0] = speckled[511] = 0xFFFFFF;
    dotted = speckled;
    dotted[3 * 64 + 10] = 0xFFFFFF;
    struct Row {
        const char *reason;
        unsigned w, h;
        std::vector<Shot> shots;
        int64_t end_ms;
        std::vector<std::array<int, 4>> rects;
        std::vector<int> delays, transparent;
        bool loops;
        int interlace;
    };
    const Row rows[] = {
        {"a blink: only the square is redrawn",
         W,
         H,
         {{filled(W, H, bg), 0},
          {filled(W, H, bg, {3, 2, 2, 2, red}), 500},
          {filled(W, H, bg), 1000}},
         1500,
         {{0, 0, 8, 6}, {3, 2, 2, 2}, {3, 2, 2, 2}},
         {50, 50, 50},
         {-1, -2, -2},
         true,
         0},
        {"an unchanged shot lengthens the frame before; the top byte is no colour",
         W,
         H,
         {{filled(W, H, bg), 0},
          {filled(W, H, bg), 20},
          {filled(W, H, bg, {7, 5, 1, 1, red}), 40},
          {filled(W, H, bg, {7, 5, 1, 1, red | 0xFF000000}), 60}},
         100,
         {{0, 0, 8, 6}, {7, 5, 1, 1}},
         {4, 6},
         {-1, -2},
         true,
         1},
        {"over 65535 cs: the rest in a frame that changes nothing",
         W,
         H,
         {{filled(W, H, bg), 0}, {filled(W, H, bg, {0, 0, 1, 1, red}), 700000}},
         700020,
         {{0, 0, 8, 6}, {0, 0, 1, 1}, {0, 0, 1, 1}},
         {65535, 4465, 2},
         {-1, -2, -2},
         true,
         0},
        {"one picture is a still: no loop, no control",
         W,
         H,
         {{filled(W, H, bg), 0}},
         3000,
         {{0, 0, 8, 6}},
         {-1},
         {-1},
         false,
         0},
        {"two far corners change in noise: the rest goes transparent, and stays as it was",
         64,
         8,
         {{noisy, 0}, {speckled, 30}},
         60,
         {{0, 0, 64, 8}, {0, 0, 64, 8}},
         {3, 3},
         {-1, 0},
         true,
         0},
        {"512 colours across two frames: 255 chosen, one left transparent",
         16,
         16,
         {{ramp(16, 16, 0, 256), 0}, {ramp(16, 16, 256, 256), 20}},
         40,
         {{0, 0, 16, 16}, {0, 0, 16, 16}},
         {2, 2},
         {-1, -2},
         true,
         0},
        {"256 colours across frames stay exact, with no transparent index",
         16,
         16,
         {{ramp(16, 16, 0, 200), 0}, {ramp(16, 16, 56, 200), 20}},
         40,
         {{0, 0, 16, 16}, {0, 0, 16, 16}},
         {2, 2},
         {-1, -1},
         true,
         0},
    };
    for (const Row &row : rows) {
        animate(path("a.gif"), row.w, row.h, row.shots, row.end_ms, row.interlace);
        Played p;
        ASSERT_TRUE(play(path("a.gif"), p)) << row.reason;
        EXPECT_EQ(p.loops, row.loops) << row.reason;
        EXPECT_EQ(p.rects, row.rects) << row.reason;
        EXPECT_EQ(p.delays, row.delays) << row.reason;
        for (size_t k = 0; k < p.transparent.size() && k < row.transparent.size(); ++k)
            EXPECT_TRUE(row.transparent[k] == -2 || p.transparent[k] == row.transparent[k])
                << row.reason << ": frame " << k;
        for (size_t k = 0, start = 0; k < p.pictures.size(); start += std::max(0, p.delays[k++])) {
            size_t due = 0;
            while (due + 1 < row.shots.size() && row.shots[due + 1].at_ms <= int64_t(start) * 10)
                ++due;
            for (size_t i = 0; i < p.pictures[k].size(); ++i)
                ASSERT_EQ(p.pictures[k][i], nearest(p, row.shots[due].canvas[i] & 0xFFFFFF))
                    << row.reason << ": frame " << k << " pixel " << i;
        }
    }
}

// A 640 x 480 doll-like picture with a 16 x 16 sprite moving 8 pixels a frame: each frame is
// the 24 x 16 it crossed, and twenty of them cost less than the first picture again.
TEST_F(Animation, SmallMovingObjectCostsLittle) {
    const unsigned W = 640, H = 480;
    const Bytes indices = doll_like_pixels(W, H, 8, 7), palette = doll_like_palette(8);
    Canvas back(size_t(W) * H);
    for (size_t i = 0; i < back.size(); ++i) {
        const unsigned char *rgb = &palette[indices[i] * 3];
        back[i] = uint32_t(rgb[0]) << 16 | rgb[1] << 8 | rgb[2];
    }
    std::vector<Shot> shots;
    for (unsigned k = 0; k <= 20; ++k) {
        shots.push_back({back, k * 100});
        for (unsigned y = 200; y < 216; ++y)
            for (unsigned x = 100 + 8 * k; x < 116 + 8 * k; ++x)
                shots.back().canvas[y * W + x] = (x + y) % 3 ? 0xFFFF00 : 0x000080;
    }
    animate(path("still.gif"), W, H, {shots[0]}, 0);
    animate(path("moving.gif"), W, H, shots, 2100);
    Played p;
    ASSERT_TRUE(play(path("moving.gif"), p));
    ASSERT_EQ(p.rects.size(), 21u);
    for (int k = 1; k <= 20; ++k)
        EXPECT_EQ(p.rects[k], (std::array<int, 4>{92 + 8 * k, 200, 24, 16})) << k;
    EXPECT_LT(fs::file_size(path("moving.gif")), 2 * fs::file_size(path("still.gif")));
}
