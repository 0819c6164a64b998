#include "doll/doll_files.h"

#include "common/file_names.h"
#include "common/status.h"
#include "convert/palette_file.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Opens, reads the first bytes and classifies; the stream stays open for the caller.
int open_kiss_file(const std::string &path, FILE **input, KissFile &file, KissKind &kind) {
    *input = open_file(path.c_str(), "rb");
    if (*input == nullptr) return STATUS_READ_ERROR;
    const int status = read_kiss_file(*input, path.c_str(), file);
    if (status != STATUS_OK) {
        fclose(*input);
        return status;
    }
    kind = classify_kiss_file(file);
    return STATUS_OK;
}

} // namespace

bool find_doll_file(const std::string &folder, const std::string &name, std::string &path) {
    if (name.empty() || name.find_first_of("/\\") != std::string::npos) return false;
    path = folder + name;
    if (FILE *exact = open_file(path.c_str(), "rb")) {
        fclose(exact);
        return true;
    }
    std::vector<std::string> names;
    if (!list_folder(folder, names)) return false;
    for (const std::string &entry : names)
        if (same_name_any_case(entry, name)) {
            path = folder + entry;
            return true;
        }
    return false;
}

int read_doll_cel(const std::string &path, DollCel &cel) {
    FILE *input;
    KissFile file;
    KissKind kind;
    const int status = open_kiss_file(path, &input, file, kind);
    if (status != STATUS_OK) return status;
    fclose(input);
    if (kind != KissKind::cel && kind != KissKind::old_cel) return STATUS_NOT_DOLL_CEL;
    cel = DollCel{path, decode_cel_image(file), pixel_data_offset(kind)};
    return cel.image.depth == 4 || cel.image.depth == 8 ? STATUS_OK : STATUS_NOT_DOLL_CEL;
}

int read_palette_group(const std::string &path, int64_t group, Palette &colours) {
    FILE *input;
    KissFile file;
    KissKind kind;
    int status = open_kiss_file(path, &input, file, kind);
    if (status != STATUS_OK) return status;
    std::memset(colours.rgb, 0, sizeof colours.rgb);
    if (kind == KissKind::palette || kind == KissKind::old_palette) {
        const PaletteLayout layout = palette_layout(file);
        const int64_t group_bytes =
            int64_t{layout.colours_per_group} * (layout.bits_per_colour == 12 ? 2 : 3);
        // A group beyond the header's count, or whose bytes the file does not hold, falls back.
        const bool held = group < int64_t{layout.groups} && file.size >= 0 &&
                          layout.data_offset + (group + 1) * group_bytes <= file.size;
        const int64_t start = layout.data_offset + (held ? group : 0) * group_bytes;
        unsigned char bytes[sizeof colours.rgb];
        size_t got = 0;
        if (seek_to(input, start)) got = fread(bytes, 1, static_cast<size_t>(group_bytes), input);
        if (ferror(input))
            status = STATUS_READ_ERROR;
        else
            decode_colours(bytes, got, layout.bits_per_colour, layout.colours_per_group, colours);
    } else {
        status = STATUS_NOT_DOLL_PALETTE;
    }
    fclose(input);
    return status;
}
