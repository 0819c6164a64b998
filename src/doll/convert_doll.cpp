#include "doll/convert_doll.h"

#include "colour/colour_table.h"
#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "convert/gif_container.h"
#include "convert/output_file.h"
#include "doll/cnf_parse.h"
#include "doll/doll_picture.h"
#include "doll/startup.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// A failure that names a file inside the doll.
int fail_with(int status, const std::string &name) {
    run_state.doll_detail = name;
    return status;
}

} // namespace

// One byte past the limit tells a file that is too large; a small file needs no more room.
int read_cnf(FILE *input, std::vector<unsigned char> &text) {
    const int64_t size = regular_file_size(input);
    text.resize(size >= 0 ? static_cast<size_t>(std::min<int64_t>(size, MAX_CNF_BYTES)) + 1
                          : MAX_CNF_BYTES + 1);
    text.resize(fread(text.data(), 1, text.size(), input));
    if (ferror(input)) return STATUS_READ_ERROR;
    return text.size() > MAX_CNF_BYTES ? STATUS_NOT_DOLL : STATUS_OK;
}

namespace {

std::string lower_case(std::string name) {
    for (char &ch : name)
        ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    return name;
}

// Every palette file must be there and be one; each distinct file is read once, in the set's
// group. `colours_of` gives each palette line's place in plan.colours.
int load_palettes(const DollConfig &doll, const DollView &view, DollPlan &plan,
                  std::vector<size_t> &colours_of) {
    std::unordered_map<std::string, size_t> loaded;
    colours_of.assign(doll.palettes.size(), 0);
    for (size_t p = 0; p < doll.palettes.size(); ++p) {
        const auto known = loaded.emplace(lower_case(doll.palettes[p]), plan.colours.size());
        colours_of[p] = known.first->second;
        if (!known.second) continue;
        plan.colours.emplace_back();
        const int status =
            read_palette_group(plan.files, doll.palettes[p], view.group, plan.colours.back());
        if (status != STATUS_OK) return fail_with(status, doll.palettes[p]);
    }
    return STATUS_OK;
}

// Every cel file must be there and be a cel, even those the set does not show, as a viewer
// loading the doll needs them all; each distinct file is read once. The shown cels are
// placed, last line first.
int plan_doll(const DollConfig &doll, const DollView &view, DollPlan &plan) {
    plan.width = static_cast<uint32_t>(doll.width);
    plan.height = static_cast<uint32_t>(doll.height);
    std::vector<size_t> colours_of;
    int status = load_palettes(doll, view, plan, colours_of);
    if (status != STATUS_OK) return status;
    const unsigned char *background = plan.colours.empty() ? nullptr : plan.colours[0].rgb;
    plan.background = background == nullptr
                          ? 0
                          : uint32_t{background[0]} << 16 | background[1] << 8 | background[2];
    std::unordered_map<std::string, DollCel> cels;
    std::unordered_set<std::string> missing;
    for (size_t i = doll.cels.size(); i-- > 0;) {
        const CelLine &line = doll.cels[i];
        const std::string key = lower_case(line.file);
        if (missing.count(key)) continue;
        const auto known = cels.emplace(key, DollCel{});
        const DollCel &cel = known.first->second;
        if (known.second) {
            RgbaCel picture;
            status = read_doll_cel(plan.files, line.file, known.first->second, picture);
            known.first->second.picture = plan.pictures.size();
            if (known.first->second.kind == KissKind::other)
                plan.pictures.push_back(std::move(picture));
        }
        // A viewer draws a doll without the cels it lacks; the driver names each.
        if (status == STATUS_DOLL_FILE_MISSING) {
            missing.insert(key);
            run_state.missing_cels.push_back(line.file);
            status = STATUS_OK;
            continue;
        }
        if (status != STATUS_OK) return fail_with(status, line.file);
        // 32-bit and image cels take no colours from a palette.
        const bool listed =
            line.palette >= 0 && static_cast<size_t>(line.palette) < doll.palettes.size();
        if (!listed && cel.kind != KissKind::cel32 && cel.kind != KissKind::other)
            return fail_with(STATUS_PALETTE_NOT_LISTED, line.file);
        if (!view.shown[i]) continue;
        const size_t object = static_cast<size_t>(line.object);
        const Position at = object < view.objects.size() ? view.objects[object] : Position{0, 0};
        plan.cels.push_back(PlacedCel{line.file, cel, at.x, at.y,
                                      listed ? colours_of[static_cast<size_t>(line.palette)] : 0,
                                      view.translucency[i]});
    }
    return STATUS_OK;
}

int write_doll_gif(FILE *input, const unsigned char *picture, const DollPlan &plan,
                   const ColourTable &table) {
    char out_buffer[OUTPUT_BUFFER_SIZE];
    OutputFile output;
    const int opened = open_output(input, out_buffer, output, &plan.files.archive->files_read);
    if (opened != STATUS_OK) return opened;
    // Always compressed, with the smallest table that holds the picture's colours. The
    // playfield has no holes: nothing is transparent.
    const int status =
        write_picture_gif(output.stream,
                          GifLayout{plan.width, plan.height, 0, 0, plan.width, plan.height, 8,
                                    table.colours.rgb, false, run_state.interlace},
                          picture);
    return close_output(output, status);
}

} // namespace

int write_doll_picture(const DollConfig &doll, const DollFiles &files, int set, FILE *input) {
    DollView view;
    run_startup(doll, set, view);
    DollPlan plan;
    plan.files = files;
    int status = plan_doll(doll, view, plan);
    if (status != STATUS_OK) return status;
    // Four bytes per playfield pixel: its colour, then in place its table entry.
    const size_t pixels = size_t{plan.width} * plan.height;
    uint32_t *colours = static_cast<uint32_t *>(malloc(pixels * 4));
    if (colours == nullptr) return STATUS_NO_MEMORY;
    status = draw_doll(plan, Canvas{plan.width, plan.height, colours});
    ColourTable table;
    if (status == STATUS_OK) status = index_colours(colours, pixels, 0, table);
    if (status == STATUS_OK)
        status = write_doll_gif(input, reinterpret_cast<unsigned char *>(colours), plan, table);
    free(colours);
    return status;
}

int read_doll_config(std::vector<unsigned char> &text, DollConfig &doll) {
    run_state.doll_detail.clear();
    int status = parse_cnf(text.data(), text.size(), doll);
    std::vector<unsigned char>().swap(text);
    return status == STATUS_OK ? check_cnf(doll) : status;
}

int convert_doll(FILE *input, const char *input_name, int set) {
    DollConfig doll;
    std::vector<unsigned char> text;
    int status = read_cnf(input, text);
    if (status == STATUS_OK) status = read_doll_config(text, doll);
    if (status != STATUS_OK) return status;
    Archive folder;
    open_folder(folder_of(input_name), folder);
    status = write_doll_picture(doll, DollFiles{&folder, ""}, set, input);
    close_archive(folder);
    return status;
}
