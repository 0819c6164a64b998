// Opens arbitrary bytes as an archive (LZH or ZIP, by their first bytes), reads every entry
// (each also decoded as an image cel) and draws every configuration inside it; and decodes the
// bytes themselves as an image cel.
// Properties: no crash, no hang, a known status, an entry read whole exactly when its status
// is 0, and a doll's GIF exactly when its status is 0.
#include "archive/archive.h"
#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "doll/convert_doll.h"
#include "image/image.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char *what) {
    fprintf(stderr, "property broken: %s\n", what);
    abort();
}

bool known(int status) {
    return status >= STATUS_OK && status <= STATUS_NO_IMAGE_CEL_SUPPORT && status != 15;
}

void check_image(const unsigned char *bytes, size_t size) {
    RgbaImage image;
    const int status = decode_image(bytes, size, image);
    if (!known(status)) fail("unknown image status");
    if (status == STATUS_OK && image.rgba.size() != size_t{image.width} * image.height * 4)
        fail("image size");
}

// Draws set 0 of the configuration at `index`; small playfields only, as a huge one is
// slow, not interesting.
void draw(Archive &archive, size_t index, FILE *input) {
    const std::vector<unsigned char> *bytes;
    if (entry_data(archive, index, &bytes) != STATUS_OK) return;
    std::vector<unsigned char> text = *bytes;
    DollConfig doll;
    if (read_doll_config(text, doll) != STATUS_OK || doll.width * doll.height > 1 << 20) return;
    remove(run_state.output_name.c_str());
    const DollFiles files = {&archive, folder_of(archive.entries[index].name)};
    const int status = write_doll_picture(doll, files, 0, input);
    if (!known(status)) fail("unknown doll status");
    FILE *gif = fopen(run_state.output_name.c_str(), "rb");
    if ((gif != nullptr) != (status == STATUS_OK)) fail("a GIF exactly when the status is 0");
    if (gif != nullptr) fclose(gif);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string path;
    if (path.empty()) {
        path = "/tmp/quondel-archive-fuzz-" + std::to_string(getpid());
        run_state.output_name = path + ".gif";
    }
    check_image(data, size);
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr || fwrite(data, 1, size, file) != size || fclose(file) != 0) abort();
    FILE *input = fopen(path.c_str(), "rb");
    Archive archive;
    std::string detail;
    const int status = open_archive(input, "in.lzh", archive, detail);
    if (!known(status)) fail("unknown archive status");
    for (size_t i = 0; status == STATUS_OK && i < archive.entries.size(); ++i) {
        const std::vector<unsigned char> *bytes;
        const int read = entry_data(archive, i, &bytes);
        if (!known(read)) fail("unknown entry status");
        if (read == STATUS_OK && bytes->size() != archive.entries[i].size) fail("entry size");
        if (read == STATUS_OK) check_image(bytes->data(), bytes->size());
        release_entry(archive, i);
    }
    for (size_t i = 0; status == STATUS_OK && i < archive.entries.size(); ++i)
        if (name_ends_with(archive.entries[i].name.c_str(), ".cnf")) draw(archive, i, input);
    close_archive(archive);
    fclose(input);
    return 0;
}
