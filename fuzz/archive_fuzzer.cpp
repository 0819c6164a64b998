// Opens arbitrary bytes as an archive (LZH or ZIP, by their first bytes) and reads every
// entry, each also decoded as an image cel; and decodes the bytes themselves as an image.
// Properties: no crash, no hang, no read past what an archive declares, a known status,
// and an entry read whole exactly when its status is 0.
#include "archive/archive.h"
#include "common/status.h"
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
    return status == STATUS_OK || status == STATUS_NO_MEMORY || status == STATUS_READ_ERROR ||
           status == STATUS_NOT_DOLL_CEL ||
           (status >= STATUS_ARCHIVE_DAMAGED && status <= STATUS_TOO_LARGE);
}

void check_image(const unsigned char *bytes, size_t size) {
    RgbaImage image;
    const int status = decode_image(bytes, size, image);
    if (!known(status)) fail("unknown image status");
    if (status == STATUS_OK && image.rgba.size() != size_t{image.width} * image.height * 4)
        fail("image size");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string path;
    if (path.empty()) path = "/tmp/quondel-archive-fuzz-" + std::to_string(getpid());
    check_image(data, size);
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr || fwrite(data, 1, size, file) != size || fclose(file) != 0) abort();
    FILE *input = fopen(path.c_str(), "rb");
    Archive archive;
    std::string detail;
    const int status = open_archive(input, "in.lzh", archive, detail);
    fclose(input);
    if (!known(status)) fail("unknown archive status");
    for (size_t i = 0; status == STATUS_OK && i < archive.entries.size(); ++i) {
        const std::vector<unsigned char> *bytes;
        const int read = entry_data(archive, i, &bytes);
        if (!known(read)) fail("unknown entry status");
        if (read == STATUS_OK && bytes->size() != archive.entries[i].size) fail("entry size");
        if (read == STATUS_OK) check_image(bytes->data(), bytes->size());
        release_entry(archive, i);
    }
    close_archive(archive);
    return 0;
}
