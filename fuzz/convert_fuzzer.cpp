// Converts arbitrary bytes as a KiSS file (sequential and interlaced, after a palette) and
// as a doll configuration beside the example palettes and cels.
// Properties: no crash, no hang, a known status, a GIF only with status 0 and then one whose
// image data is sound (sub-blocks, code widths, the end code), and no GIF with status 0 only
// for a palette. A cel converted with -z too decodes (LZW) to the pixels of its uncompressed
// GIF and is no larger. The doll animated for a few seconds gives frames giflib reads, each
// inside the playfield.
#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "doll/cnf_parse.h"
#include "doll/convert_doll.h"
#include "fkiss/state.h"
#include "gif_check.h"
#include "kiss_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gif_lib.h>
#include <unistd.h>

namespace {

std::string dir; // the example palettes and cels, which the example doll (a seed) names

[[noreturn]] void fail(const char *what) {
    fprintf(stderr, "property broken: %s\n", what);
    abort();
}

// Converts the file `name` in the folder and checks the properties; `palette` tells whether
// the bytes may be a palette. The GIF's bytes and its decoded pixels, when there is one.
// `compressed`: the GIF is LZW whatever the switch says (dolls, 32-bit cels).
Bytes convert(const char *name, bool compressed, bool doll, bool palette, Bytes &pixels) {
    const std::string path = dir + "/" + name;
    run_state.output_name = dir + "/out.gif";
    unlink(run_state.output_name.c_str());
    FILE *input = fopen(path.c_str(), "rb");
    const int status = doll ? convert_doll(input, path.c_str(), 0) : convert_cel(input, name);
    fclose(input);
    if (status < STATUS_OK || status > STATUS_DOLL_TOO_LARGE) fail("unknown status");
    FILE *gif_file = fopen(run_state.output_name.c_str(), "rb");
    if (gif_file == nullptr) {
        if (status == STATUS_OK && !palette) fail("status 0 without a GIF");
        return {};
    }
    Bytes gif(1 << 22); // more than any input here can make
    gif.resize(fread(gif.data(), 1, gif.size(), gif_file));
    fclose(gif_file);
    if (status != STATUS_OK) fail("a GIF after a failure");
    const size_t at = image_data_start(gif);
    // Uncompressed data has one width throughout; anything else is read as LZW.
    const bool plain = !compressed && !run_state.compress;
    if (!decode_lzw(gif, at, gif.at(at - 1), pixels, nullptr, nullptr, plain).empty())
        fail("image data");
    return gif;
}

// The doll as an animation: every frame read by giflib, inside the logical screen.
void check_animation() {
    run_state.animate_seconds = 3;
    run_state.output_name = dir + "/out.gif";
    unlink(run_state.output_name.c_str());
    const std::string path = dir + "/doll.cnf";
    FILE *input = fopen(path.c_str(), "rb");
    const int status = convert_doll(input, path.c_str(), 0);
    fclose(input);
    run_state.animate_seconds = 0;
    if (status < STATUS_OK || status > STATUS_DOLL_TOO_LARGE) fail("unknown status");
    int error = 0;
    GifFileType *gif = DGifOpenFileName(run_state.output_name.c_str(), &error);
    if ((gif != nullptr) != (status == STATUS_OK)) fail("an animation exactly when converted");
    if (gif == nullptr) return;
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) fail("animation unreadable");
    for (int k = 0; k < gif->ImageCount; ++k) {
        const GifImageDesc &d = gif->SavedImages[k].ImageDesc;
        if (d.Left + d.Width > gif->SWidth || d.Top + d.Height > gif->SHeight)
            fail("a frame outside the playfield");
    }
    DGifCloseFile(gif, &error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (dir.empty()) {
        char name[] = "/tmp/quondel-fuzz-XXXXXX";
        if (mkdtemp(name) == nullptr) abort();
        dir = name;
        if (system(("cp " QUONDEL_EXAMPLES "/*.kcf " QUONDEL_EXAMPLES "/*.cel " + dir).c_str()))
            abort();
        Bytes none;
        convert("pastel.kcf", false, false, true, none); // cels get colours
    }
    // The last byte picks the name, so headerless palettes are reached too.
    const bool kcf = size > 0 && data[size - 1] & 1;
    const bool palette = kcf || (size >= 5 && std::memcmp(data, "KiSS\x10", 5) == 0);
    if (!write_bytes(dir + (kcf ? "/in.kcf" : "/in.cel"), Bytes(data, data + size)) ||
        !write_bytes(dir + "/doll.cnf", Bytes(data, data + size)))
        abort();
    // A huge interlaced picture or playfield is as large as declared: slow, not interesting.
    const bool huge = size >= 12 && ((data[9] && data[11]) || (data[1] && data[3]));
    const bool cel32 = size >= 6 && std::memcmp(data, "KiSS", 4) == 0 &&
                       (data[4] == 0x21 || (data[4] == 0x20 && data[5] == 32));
    DollConfig doll;
    const bool parsed = parse_cnf(data, size, doll) == STATUS_OK;
    const bool big_doll = parsed && doll.width * doll.height > 1 << 20;
    // Every set's start-up, not only set 0's, which the conversion runs.
    for (int set = 0; parsed && set < MAX_SETS; ++set) {
        const CelShapes unread;
        FkissState state;
        start_fkiss(doll, unread, set, 1, state);
        advance_fkiss(state, 2000);
        if (state.depth != 0) fail("events left open");
    }
    for (int interlace : {0, 1}) {
        run_state.interlace = interlace;
        Bytes plain_pixels, pixels;
        run_state.compress = 0;
        if (!huge || !interlace) {
            const Bytes plain =
                convert(kcf ? "in.kcf" : "in.cel", cel32, false, palette, plain_pixels);
            run_state.compress = 1;
            const Bytes packed = convert(kcf ? "in.kcf" : "in.cel", cel32, false, palette, pixels);
            if (pixels != plain_pixels) fail("-z changed the pixels");
            if (packed.size() > plain.size()) fail("-z made the file larger");
        }
        if (!big_doll) convert("doll.cnf", true, true, false, pixels);
    }
    if (!big_doll) check_animation();
    return 0;
}
