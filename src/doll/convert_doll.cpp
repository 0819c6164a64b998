#include "doll/convert_doll.h"

#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "convert/gif_container.h"
#include "convert/output_file.h"
#include "doll/cnf_parse.h"
#include "doll/colour_table.h"
#include "doll/doll_picture.h"

#include <cstdlib>
#include <map>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

namespace {

// A failure that names a file inside the doll.
int fail_with(int status, const std::string &name) {
    run_state.doll_detail = name;
    return status;
}

// One byte past the limit tells a file that is too large; a small file needs no more room.
int read_cnf(FILE *input, std::vector<unsigned char> &text) {
    struct stat st;
    const bool sized = fstat(fileno(input), &st) == 0 && S_ISREG(st.st_mode);
    text.resize(sized ? std::min<size_t>(static_cast<size_t>(st.st_size), MAX_CNF_BYTES) + 1
                      : MAX_CNF_BYTES + 1);
    text.resize(fread(text.data(), 1, text.size(), input));
    if (ferror(input)) return STATUS_READ_ERROR;
    return text.size() > MAX_CNF_BYTES ? STATUS_NOT_DOLL : STATUS_OK;
}

// Every palette file must be there and be one; the ones set 0 draws with get a slot each,
// one per distinct file, palette file 0 first for the background.
int load_palettes(const DollConfig &doll, const std::string &folder,
                  const std::vector<bool> &needed, DollPlan &plan, std::vector<unsigned> &slot_of) {
    std::map<std::string, unsigned> slot_of_path;
    slot_of.assign(doll.palettes.size(), 0);
    for (size_t p = 0; p < doll.palettes.size(); ++p) {
        std::string path;
        if (!find_doll_file(folder, doll.palettes[p], path))
            return fail_with(STATUS_DOLL_FILE_MISSING, doll.palettes[p]);
        Palette colours;
        const int status = read_palette_group(path, doll.group, colours);
        if (status != STATUS_OK) return fail_with(status, doll.palettes[p]);
        if (!needed[p] && p != 0) continue;
        const auto known = slot_of_path.find(path);
        if (known != slot_of_path.end()) {
            slot_of[p] = known->second;
            continue;
        }
        slot_of[p] = slot_of_path[path] = static_cast<unsigned>(plan.colours.size());
        plan.colours.push_back(colours);
    }
    return STATUS_OK;
}

// Which cel lines set 0 shows: those listing set 0, after initialize()'s map and unmap.
std::vector<bool> shown_in_set_0(const DollConfig &doll) {
    std::vector<bool> mapped(doll.cels.size(), true);
    for (const MapAction &action : doll.initial_actions)
        for (size_t i = 0; i < doll.cels.size(); ++i)
            if (action.object >= 0
                    ? doll.cels[i].object == action.object
                    : strcasecmp(doll.cels[i].file.c_str(), action.file.c_str()) == 0)
                mapped[i] = action.map;
    for (size_t i = 0; i < doll.cels.size(); ++i)
        mapped[i] = mapped[i] && (doll.cels[i].sets & 1u);
    return mapped;
}

// Every cel file must be there and be a cel; the shown ones are placed, last line first.
int plan_doll(const DollConfig &doll, const char *input_name, DollPlan &plan) {
    const std::string folder = folder_of(input_name);
    const std::vector<bool> shown = shown_in_set_0(doll);
    std::vector<bool> palette_needed(doll.palettes.size(), false);
    for (size_t i = 0; i < doll.cels.size(); ++i)
        if (shown[i]) palette_needed[static_cast<size_t>(doll.cels[i].palette)] = true;
    std::vector<unsigned> slot_of;
    int status = load_palettes(doll, folder, palette_needed, plan, slot_of);
    if (status != STATUS_OK) return status;
    plan.width = static_cast<unsigned>(doll.width);
    plan.height = static_cast<unsigned>(doll.height);
    plan.background_id = slot_of[0] * 256;
    for (size_t i = doll.cels.size(); i-- > 0;) {
        const CelLine &line = doll.cels[i];
        PlacedCel placed;
        std::string path;
        if (!find_doll_file(folder, line.file, path))
            return fail_with(STATUS_DOLL_FILE_MISSING, line.file);
        status = read_doll_cel(path, placed.cel);
        if (status != STATUS_OK) return fail_with(status, line.file);
        if (!shown[i]) continue;
        const size_t object = static_cast<size_t>(line.object);
        const Position at =
            object < doll.positions.size() ? doll.positions[object] : Position{0, 0};
        placed.left = at.x + long{placed.cel.image.x_offset};
        placed.top = at.y + long{placed.cel.image.y_offset};
        placed.slot = slot_of[static_cast<size_t>(line.palette)];
        plan.cels.push_back(placed);
    }
    return STATUS_OK;
}

// Counts the pixels of every colour id, band by band in `scratch` (picture-sized, so the
// count needs no memory of its own), then draws the picture's table indices into it.
int compose(const DollPlan &plan, unsigned char *scratch, size_t scratch_bytes,
            ColourTable &table) {
    std::vector<uint32_t> counts(plan.colours.size() * 256, 0);
    const unsigned band_rows = static_cast<unsigned>(scratch_bytes / 4 / plan.width);
    uint32_t *ids = reinterpret_cast<uint32_t *>(scratch);
    for (unsigned row = 0; row < plan.height; row += band_rows) {
        const Canvas band = {row, std::min(row + band_rows, plan.height), ids, nullptr, nullptr};
        const int status = draw_doll(plan, band);
        if (status != STATUS_OK) return status;
        for (size_t i = 0, n = size_t{band.row_end - row} * plan.width; i < n; ++i)
            ++counts[ids[i]];
    }
    std::vector<unsigned char> id_to_index;
    build_colour_table(counts, plan.colours, plan.background_id, table, id_to_index);
    return draw_doll(plan, Canvas{0, plan.height, nullptr, scratch, id_to_index.data()});
}

int write_doll_gif(FILE *input, const unsigned char *picture, const DollPlan &plan,
                   const ColourTable &table) {
    char out_buffer[OUTPUT_BUFFER_SIZE];
    OutputFile output;
    const int opened = open_output(input, out_buffer, output);
    if (opened != STATUS_OK) return opened;
    // Always compressed, with the smallest table that holds the picture's colours. The
    // playfield has no holes: nothing is transparent.
    const int status =
        write_picture_gif(output.stream,
                          GifLayout{plan.width, plan.height, 0, 0, plan.width, plan.height,
                                    table.depth, table.colours.rgb, false, run_state.interlace},
                          picture);
    return close_output(output, status);
}

} // namespace

int convert_doll(FILE *input, const char *input_name) {
    run_state.doll_detail.clear();
    DollConfig doll;
    {
        std::vector<unsigned char> text;
        int status = read_cnf(input, text);
        if (status == STATUS_OK) status = parse_cnf(text.data(), text.size(), doll);
        if (status != STATUS_OK) return status;
    }
    int status = check_cnf(doll, run_state.doll_detail);
    DollPlan plan;
    if (status == STATUS_OK) status = plan_doll(doll, input_name, plan);
    if (status != STATUS_OK) return status;
    // One byte per playfield pixel, and room for at least one band row of ids.
    const size_t bytes = std::max(size_t{plan.width} * plan.height, size_t{plan.width} * 4);
    unsigned char *picture = static_cast<unsigned char *>(malloc((bytes + 3) / 4 * 4));
    if (picture == nullptr) return STATUS_NO_MEMORY;
    ColourTable table;
    status = compose(plan, picture, (bytes + 3) / 4 * 4, table);
    if (status == STATUS_OK) status = write_doll_gif(input, picture, plan, table);
    free(picture);
    return status;
}
