// Converts arbitrary bytes as a KiSS file (sequential and interlaced, after a palette) and
// as a doll configuration beside the example palettes and cels.
// Properties: no crash, no hang, a known status, a GIF only with status 0 and then one whose
// image data is sound (sub-blocks, code widths, the end code), and no GIF with status 0 only
// for a palette.
#include "common/run_state.h"
#include "common/status.h"
#include "convert/convert_cel.h"
#include "doll/cnf_parse.h"
#include "doll/convert_doll.h"
#include "gif_check.h"
#include "kiss_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

std::string dir; // the example palettes and cels, which the example doll (a seed) names

[[noreturn]] void fail(const char *what) {
    fprintf(stderr, "property broken: %s\n", what);
    abort();
}

// Converts the file `name` in the folder and checks the properties; `palette` tells whether
// the bytes may be a palette.
void convert(const char *name, bool doll, bool palette) {
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
        return;
    }
    Bytes gif(1 << 22); // more than any input here can make
    gif.resize(fread(gif.data(), 1, gif.size(), gif_file));
    fclose(gif_file);
    if (status != STATUS_OK) fail("a GIF after a failure");
    // The image data: after the colour table, the control extension (cels only), the
    // descriptor and the code size.
    const size_t table = size_t{3} << ((gif.at(10) & 7) + 1),
                 at = 13 + table + 11 + (gif.at(13 + table) == 0x21 ? 8 : 0);
    Bytes pixels;
    if (!read_pixels(gif, at, gif.at(at - 1), pixels).empty()) fail("image data");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (dir.empty()) {
        char name[] = "/tmp/quondel-fuzz-XXXXXX";
        if (mkdtemp(name) == nullptr) abort();
        dir = name;
        if (system(("cp " QUONDEL_EXAMPLES "/*.kcf " QUONDEL_EXAMPLES "/*.cel " + dir).c_str()))
            abort();
        convert("pastel.kcf", false, true); // cels get colours
    }
    // The last byte picks the name, so headerless palettes are reached too.
    const bool kcf = size > 0 && data[size - 1] & 1;
    const bool palette = kcf || (size >= 5 && std::memcmp(data, "KiSS\x10", 5) == 0);
    if (!write_bytes(dir + (kcf ? "/in.kcf" : "/in.cel"), Bytes(data, data + size)) ||
        !write_bytes(dir + "/doll.cnf", Bytes(data, data + size)))
        abort();
    // A huge interlaced picture or playfield is as large as declared: slow, not interesting.
    const bool huge = size >= 12 && ((data[9] && data[11]) || (data[1] && data[3]));
    DollConfig doll;
    const bool big_doll =
        parse_cnf(data, size, doll) == STATUS_OK && doll.width * doll.height > 1 << 20;
    for (int interlace : {0, 1}) {
        run_state.interlace = interlace;
        if (!huge || !interlace) convert(kcf ? "in.kcf" : "in.cel", false, palette);
        if (!big_doll) convert("doll.cnf", true, false);
    }
    return 0;
}
