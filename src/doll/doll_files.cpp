#include "doll/doll_files.h"

#include "common/file_names.h"
#include "common/status.h"
#include "convert/palette_file.h"

#include <cstring>
#include <vector>

namespace {

// Opens, reads the first bytes and classifies; the stream stays open for the caller.
int open_kiss_file(const DollFiles &files, const std::string &name, FILE **input, KissFile &file,
                   KissKind &kind) {
    *input = open_doll_file(files, name);
    if (*input == nullptr) return STATUS_DOLL_FILE_MISSING;
    const int status = read_kiss_file(*input, name.c_str(), file);
    if (status != STATUS_OK) {
        fclose(*input);
        return status;
    }
    kind = classify_kiss_file(file);
    return STATUS_OK;
}

} // namespace

FILE *open_doll_file(const DollFiles &files, const std::string &name) {
    if (name.empty() || name.find_first_of("/\\") != std::string::npos) return nullptr;
    if (FILE *exact = open_file((files.folder + name).c_str(), "rb")) return exact;
    std::vector<std::string> names;
    if (!list_folder(files.folder, names)) return nullptr;
    for (const std::string &entry : names)
        if (same_name_any_case(entry, name)) return open_file((files.folder + entry).c_str(), "rb");
    return nullptr;
}

int read_doll_cel(const DollFiles &files, const std::string &name, DollCel &cel) {
    FILE *input;
    KissFile file;
    const int status = open_kiss_file(files, name, &input, file, cel.kind);
    if (status != STATUS_OK) return status;
    fclose(input);
    if (cel.kind != KissKind::cel && cel.kind != KissKind::old_cel && cel.kind != KissKind::cel32)
        return STATUS_NOT_DOLL_CEL;
    cel.image = decode_cel_image(file);
    cel.pixels_at = pixel_data_offset(cel.kind);
    const int depth = cel.image.depth;
    return depth == 4 || depth == 8 || depth == 32 ? STATUS_OK : STATUS_NOT_DOLL_CEL;
}

int read_palette_group(const DollFiles &files, const std::string &name, int64_t group,
                       Palette &colours) {
    FILE *input;
    KissFile file;
    KissKind kind;
    int status = open_kiss_file(files, name, &input, file, kind);
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
