// What each compression technique earns: every GIF named is decoded (giflib) and written
// again with each set of encoder choices; sizes beside the size of FILE.ref.gif (the same
// pixels from another writer, gifsicle -O3 say), and the time each set takes.
// Usage: lzw_study FILE.gif...
#include "convert/gif_container.h"
#include "encode/lzw.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gif_lib.h>
#include <string>
#include <vector>

namespace {

struct Technique {
    const char *name;
    LzwChoices choices;
};

LzwChoices with(int tries, int growing, int full, int per_life, int quarters = 4) {
    LzwChoices c = LZW_CHOICES;
    c.shorter_tries = tries;
    c.margin_growing = growing;
    c.margin_full = full;
    c.candidates_per_life = per_life;
    c.trial_quarter_lives = quarters;
    return c;
}

long file_size(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (f == nullptr) return -1;
    fseek(f, 0, SEEK_END);
    const long size = ftell(f);
    fclose(f);
    return size;
}

} // namespace

int main(int argc, char **argv) {
    // QUONDEL_STUDY="tries growing full per_life quarters;..." replaces the list below.
    std::vector<Technique> techniques;
    static std::vector<std::string> names;
    if (const char *spec = getenv("QUONDEL_STUDY")) {
        for (std::string rest = spec; !rest.empty();) {
            const size_t end = rest.find(';');
            names.push_back(rest.substr(0, end));
            rest = end == std::string::npos ? "" : rest.substr(end + 1);
        }
        for (const std::string &name : names) {
            int v[5] = {0, 0, 0, 0, 4};
            sscanf(name.c_str(), "%d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4]);
            techniques.push_back({name.c_str(), with(v[0], v[1], v[2], v[3], v[4])});
        }
    } else
        techniques = {
            {"greedy, clear when full", with(0, 0, 0, 0)},
            {"+ lookahead", with(4, 8, 1, 0)},
            {"clear-point search, greedy", with(0, 0, 0, 4, 2)},
            {"search + lookahead (quondel)", LZW_CHOICES},
            {"search 8 a life, a life past", with(4, 8, 1, 8, 4)},
        };
    const size_t count = techniques.size();
    std::vector<double> total(count), worst(count), seconds(count);
    double reference_total = 0;
    for (int i = 1; i < argc; ++i) {
        int error = 0;
        GifFileType *gif = DGifOpenFileName(argv[i], &error);
        if (gif == nullptr || DGifSlurp(gif) != GIF_OK) return 1;
        const SavedImage &image = gif->SavedImages[0];
        std::vector<unsigned char> rgb(768);
        for (int c = 0; c < gif->SColorMap->ColorCount; ++c) {
            rgb[3 * c] = gif->SColorMap->Colors[c].Red;
            rgb[3 * c + 1] = gif->SColorMap->Colors[c].Green;
            rgb[3 * c + 2] = gif->SColorMap->Colors[c].Blue;
        }
        const unsigned width = image.ImageDesc.Width, height = image.ImageDesc.Height;
        std::string base = argv[i];
        base = base.substr(0, base.size() - 4);
        const double reference = static_cast<double>(file_size(base + ".ref.gif"));
        reference_total += reference;
        printf("%-28s %9.0f", argv[i], reference);
        for (size_t t = 0; t < count; ++t) {
            FILE *out = fopen("/dev/null", "wb");
            char *buffer = nullptr;
            size_t size = 0;
            out = open_memstream(&buffer, &size);
            const auto start = std::chrono::steady_clock::now();
            write_picture_gif(out,
                              GifLayout{width, height, 0, 0, width, height, 8, rgb.data(), false,
                                        image.ImageDesc.Interlace},
                              image.RasterBits, techniques[t].choices);
            fclose(out);
            seconds[t] +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            free(buffer);
            total[t] += static_cast<double>(size);
            worst[t] = std::max(worst[t], static_cast<double>(size) / reference);
            printf(" %6.4f", static_cast<double>(size) / reference);
        }
        printf("\n");
        DGifCloseFile(gif, &error);
    }
    printf("%-34s %8s %8s %9s\n", "technique", "total", "worst", "seconds");
    for (size_t t = 0; t < count; ++t)
        printf("%-34s %8.4f %8.4f %9.3f\n", techniques[t].name, total[t] / reference_total,
               worst[t], seconds[t]);
    return 0;
}
