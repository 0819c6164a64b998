#include "doll/doll_files.h"

#include "common/file_names.h"
#include "common/status.h"
#include "convert/palette_file.h"
#include "image/image.h"

#include <cstring>
#include <vector>

namespace {

// Opens, reads the first bytes and classifies; the stream stays open for the caller.
int open_kiss_file(const DollFiles &files, const std::string &name, EntryStream &input,
                   KissFile &file, KissKind &kind) {
    const int status = open_doll_file(files, name, input);
    if (status != STATUS_OK) return status;
    file.header_bytes = read_entry(input, file.header.bytes, CEL_HEADER_SIZE);
    file.size = entry_size(input);
    file.kcf_name = name_ends_with(name.c_str(), ".kcf");
    if (entry_failed(input)) {
        close_entry(input);
        return STATUS_READ_ERROR;
    }
    kind = classify_kiss_file(file);
    return STATUS_OK;
}

} // namespace

bool find_doll_file(const DollFiles &files, const std::string &name, size_t &index) {
    Archive &archive = *files.archive;
    if (find_entry(archive, files.folder, name, index)) return true;
    // A folder that cannot be listed may still let its files be opened by their names.
    if (archive.kind != ArchiveKind::folder || name.empty() ||
        name.find_first_of("/\\") != std::string::npos)
        return false;
    FILE *exact = open_file((archive.location + name).c_str(), "rb");
    if (exact == nullptr) return false;
    fclose(exact);
    index = archive.entries.size();
    archive.entries.push_back(ArchiveEntry{name, 0, 0, 0, "", 0});
    archive.unpacked.emplace_back();
    return true;
}

int open_doll_file(const DollFiles &files, const std::string &name, EntryStream &stream) {
    size_t index;
    if (!find_doll_file(files, name, index)) return STATUS_DOLL_FILE_MISSING;
    return open_entry(*files.archive, index, stream);
}

int read_doll_cel(const DollFiles &files, const std::string &name, DollCel &cel, RgbaCel &picture) {
    if (is_image_cel_name(name.c_str())) {
        size_t index;
        if (!find_doll_file(files, name, index)) return STATUS_DOLL_FILE_MISSING;
        const std::vector<unsigned char> *bytes = nullptr;
        int status = entry_data(*files.archive, index, &bytes);
        RgbaImage image;
        if (status == STATUS_OK) status = decode_image(bytes->data(), bytes->size(), image);
        // Decoded, the file's own bytes are no longer needed.
        release_entry(*files.archive, index);
        if (status != STATUS_OK) return status;
        cel = DollCel{KissKind::other, CelImage{32, image.width, image.height, 0, 0}, 0, 0};
        picture = RgbaCel{image.width, image.height, 0, 0, std::move(image.rgba)};
        return STATUS_OK;
    }
    EntryStream input;
    KissFile file;
    const int status = open_kiss_file(files, name, input, file, cel.kind);
    if (status != STATUS_OK) return status;
    close_entry(input);
    if (cel.kind != KissKind::cel && cel.kind != KissKind::old_cel && cel.kind != KissKind::cel32)
        return STATUS_NOT_DOLL_CEL;
    cel.image = decode_cel_image(file);
    cel.pixels_at = pixel_data_offset(cel.kind);
    const int depth = cel.image.depth;
    return depth == 4 || depth == 8 || depth == 32 ? STATUS_OK : STATUS_NOT_DOLL_CEL;
}

int read_palette_group(const DollFiles &files, const std::string &name, int64_t group,
                       Palette &colours) {
    EntryStream input;
    KissFile file;
    KissKind kind;
    int status = open_kiss_file(files, name, input, file, kind);
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
        if (seek_entry(input, start))
            got = read_entry(input, bytes, static_cast<size_t>(group_bytes));
        if (entry_failed(input))
            status = STATUS_READ_ERROR;
        else
            decode_colours(bytes, got, layout.bits_per_colour, layout.colours_per_group, colours);
    } else {
        status = STATUS_NOT_DOLL_PALETTE;
    }
    close_entry(input);
    return status;
}
