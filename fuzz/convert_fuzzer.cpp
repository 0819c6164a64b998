// Runs the conversion on arbitrary bytes, sequential and interlaced, with and without a
// palette loaded first, and checks what comes out, not only that nothing crashes.
#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "gif_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gif_lib.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Interlaced cels above this many pixel bytes are skipped: their output is as large as the
// header says, whatever the input holds.
constexpr uint64_t INTERLACED_AREA_LIMIT = 1 << 16;

const std::string &work_dir() {
    static const std::string dir = [] {
        // In memory where possible: every input is written and converted four times.
        std::string name = access("/dev/shm", W_OK) == 0 ? "/dev/shm/quondel-fuzz-XXXXXX"
                                                         : "/tmp/quondel-fuzz-XXXXXX";
        if (mkdtemp(&name[0]) == nullptr) abort();
        return name;
    }();
    return dir;
}

Bytes read_all(const std::string &path) {
    Bytes bytes;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        int c;
        while ((c = getc(f)) != EOF)
            bytes.push_back(static_cast<unsigned char>(c));
        fclose(f);
    }
    return bytes;
}

int convert_bytes(const uint8_t *data, size_t size, const char *name) {
    FILE *input = fopen((work_dir() + "/" + name).c_str(), "w+b");
    if (size > 0) fwrite(data, 1, size, input);
    rewind(input);
    const int status = convert_cel(input, name);
    fclose(input);
    return status;
}

struct MemoryReader {
    const Bytes *bytes;
    size_t at;
};

int read_memory(GifFileType *gif, GifByteType *buffer, int count) {
    auto *reader = static_cast<MemoryReader *>(gif->UserData);
    const size_t n = std::min<size_t>(count, reader->bytes->size() - reader->at);
    std::memcpy(buffer, reader->bytes->data() + reader->at, n);
    reader->at += n;
    return static_cast<int>(n);
}

// giflib's picture of the GIF, as one byte per pixel in row order.
bool decode_with_giflib(const Bytes &gif, Bytes &pixels) {
    MemoryReader reader = {&gif, 0};
    int error = 0;
    GifFileType *file = DGifOpen(&reader, read_memory, &error);
    if (file == nullptr) return false;
    const bool ok = DGifSlurp(file) == GIF_OK && file->ImageCount == 1;
    if (ok) {
        const SavedImage &image = file->SavedImages[0];
        pixels.assign(image.RasterBits,
                      image.RasterBits + image.ImageDesc.Width * image.ImageDesc.Height);
    }
    DGifCloseFile(file, &error);
    return ok;
}

Bytes cel_pixels(const uint8_t *data, size_t size, const ExpectedImage &im, size_t start) {
    Bytes pixels;
    const size_t stride = im.depth == 8 ? im.width : (im.width + 1) / 2;
    for (size_t y = 0; y < im.height; ++y)
        for (size_t x = 0; x < im.width; ++x) {
            const size_t at = start + y * stride + (im.depth == 8 ? x : x / 2);
            const unsigned char byte = at < size ? data[at] : 0;
            pixels.push_back(im.depth == 8 ? byte : x % 2 ? byte & 15 : byte >> 4);
        }
    return pixels;
}

[[noreturn]] void fail(const char *what, const std::string &detail) {
    fprintf(stderr, "property broken: %s: %s\n", what, detail.c_str());
    abort();
}

void check_output(const uint8_t *data, size_t size, const ExpectedImage &im, size_t start) {
    const Bytes gif = read_all(run_state.output_name);
    std::vector<int> codes;
    const std::string fault = check_gif(gif, im, codes);
    if (!fault.empty()) fail("GIF structure", fault);
    const uint64_t area = uint64_t{im.depth == 8 ? im.width : (im.width + 1) / 2} * im.height;
    const bool complete =
        im.depth == 4 || im.interlace ? size - start >= area : size - start == area;
    if (!complete || area == 0) return;
    Bytes decoded;
    if (!decode_with_giflib(gif, decoded)) fail("giflib", "cannot decode");
    if (decoded != cel_pixels(data, size, im, start)) fail("giflib", "pixels differ from the cel");
}

// What the bytes are, judged independently of the converter's own classification.
struct Judged {
    ExpectedImage image;
    size_t pixel_start; // 0 when the bytes are no convertible cel
};

Judged judge(const uint8_t *data, size_t size, bool kcf_name, int interlace) {
    auto word = [&](size_t at) { return unsigned(data[at] | data[at + 1] << 8); };
    if (size >= 32 && std::memcmp(data, "KiSS\x20", 5) == 0 && (data[5] == 4 || data[5] == 8))
        return {{data[5], word(8), word(10), word(12), word(14), interlace}, 32};
    const bool magic = size >= 4 && std::memcmp(data, "KiSS", 4) == 0;
    const bool old_palette = kcf_name && !magic && size % 32 == 0 && size >= 32 && size <= 512;
    if (!magic && !old_palette && size >= 4 && word(0) > 0 && word(2) > 0 &&
        size == 4 + (word(0) + 1) / 2 * size_t{word(2)})
        return {{4, word(0), word(2), 0, 0, interlace}, 4};
    return {{0, 0, 0, 0, 0, interlace}, 0};
}

void convert_and_check(const uint8_t *data, size_t size, const char *name, int interlace) {
    const Judged judged = judge(data, size, std::strstr(name, ".kcf") != nullptr, interlace);
    const ExpectedImage &im = judged.image;
    const uint64_t area = uint64_t{im.depth == 8 ? im.width : (im.width + 1) / 2} * im.height;
    if (interlace && area > INTERLACED_AREA_LIMIT) return;
    run_state.interlace = interlace;
    unlink(run_state.output_name.c_str());
    const int status = convert_bytes(data, size, name);
    if (status < STATUS_OK || status > STATUS_READ_ERROR) fail("status", std::to_string(status));
    const bool written = access(run_state.output_name.c_str(), F_OK) == 0;
    if (written != (status == STATUS_OK && judged.pixel_start != 0))
        fail("output", "made exactly for converted cels");
    if (written) check_output(data, size, im, judged.pixel_start);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    run_state.output_name = work_dir() + "/out.gif";
    static const unsigned char palette[40] = {'K', 'i', 'S', 'S', 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                              0,   0,   0,   0,   0,    0, 0, 0, 0, 0, 0, 0, 0, 0,
                                              0,   0,   0,   0,   9,    8, 7, 6, 5, 4, 3, 2};
    for (int with_palette : {0, 1}) {
        std::memset(&run_state.palette, 0, sizeof run_state.palette);
        if (with_palette && convert_bytes(palette, sizeof palette, "p.kcf") != STATUS_OK)
            fail("palette", "not loaded");
        // The last byte picks the name, so headerless palettes are reached too.
        const char *name = size > 0 && data[size - 1] & 1 ? "in.kcf" : "in.cel";
        for (int interlace : {0, 1})
            convert_and_check(data, size, name, interlace);
    }
    return 0;
}
