// Feeds arbitrary bytes as a doll configuration beside a fixed folder of palettes and cels
// (named like the example doll's, so its CNF is a good seed). Properties: no crash, no hang,
// a known status, and a GIF of the playfield's size exactly when the status is 0.
#include "common/run_state.h"
#include "common/status.h"
#include "doll/cnf_parse.h"
#include "doll/convert_doll.h"
#include "kiss_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gif_lib.h>
#include <string>
#include <unistd.h>

namespace {

// Playfields above this many pixels are skipped: they are slow, not interesting.
constexpr long AREA_LIMIT = 1 << 20;

Bytes ramp(unsigned colours, unsigned groups, int step) {
    Bytes rgb;
    for (unsigned i = 0; i < colours * groups; ++i)
        rgb.insert(rgb.end(), {static_cast<unsigned char>(i * step), static_cast<unsigned char>(i),
                               static_cast<unsigned char>(255 - i)});
    return rgb;
}

const std::string &work_dir() {
    static const std::string dir = [] {
        std::string name = access("/dev/shm", W_OK) == 0 ? "/dev/shm/quondel-doll-XXXXXX"
                                                         : "/tmp/quondel-doll-XXXXXX";
        if (mkdtemp(&name[0]) == nullptr) abort();
        const Bytes rgb12(16 * 3 * 3, 7); // three groups of one grey
        const bool ok =
            write_bytes(name + "/doll.kcf", palette_file(24, 16, ramp(16, 2, 9))) &&
            write_bytes(name + "/pastel.kcf", palette_file(12, 16, rgb12)) &&
            write_bytes(name + "/old.kcf", Bytes(320, 0x5A)) &&
            write_bytes(name + "/face.cel", cel_file(4, 5, 3, Bytes(9, 0x12), 2, 1)) &&
            write_bytes(name + "/shirt.cel", cel_file(8, 4, 4, ramp(4, 1, 20), 0, 3)) &&
            write_bytes(name + "/bow.cel", old_cel_file(3, 2, {0x34, 0x50, 0x06, 0x70})) &&
            write_bytes(name + "/HAT.CEL", cel_file(4, 2, 1, {0xF1}, 70, 0)) &&
            write_bytes(name + "/text.cel", Bytes(40, 'x'));
        if (!ok) abort();
        return name;
    }();
    return dir;
}

[[noreturn]] void fail(const char *what) {
    fprintf(stderr, "property broken: %s\n", what);
    abort();
}

// giflib reads the whole GIF, one image exactly covering the playfield.
bool gif_covers(const std::string &file, long width, long height) {
    int error = 0;
    GifFileType *gif = DGifOpenFileName(file.c_str(), &error);
    if (gif == nullptr) return false;
    const bool ok = DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1 && gif->SWidth == width &&
                    gif->SHeight == height && gif->SavedImages[0].ImageDesc.Width == width &&
                    gif->SavedImages[0].ImageDesc.Height == height;
    DGifCloseFile(gif, &error);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    DollConfig doll;
    if (parse_cnf(data, size, doll) == STATUS_OK && doll.width > 0 && doll.height > 0 &&
        doll.width * doll.height > AREA_LIMIT)
        return 0;
    const std::string cnf = work_dir() + "/doll.cnf";
    run_state.output_name = work_dir() + "/doll.gif";
    if (!write_bytes(cnf, Bytes(data, data + size))) abort();
    for (int interlace : {0, 1}) {
        run_state.interlace = interlace;
        unlink(run_state.output_name.c_str());
        FILE *input = fopen(cnf.c_str(), "rb");
        const int status = convert_doll(input, cnf.c_str());
        fclose(input);
        if (status < STATUS_OK || status > STATUS_NOT_DOLL_PALETTE) fail("unknown status");
        const bool written = access(run_state.output_name.c_str(), F_OK) == 0;
        if (written != (status == STATUS_OK)) fail("a GIF exactly when the status is 0");
        if (written && !gif_covers(run_state.output_name, doll.width, doll.height))
            fail("giflib reads one image covering the playfield");
    }
    return 0;
}
