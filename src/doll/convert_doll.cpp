#include "doll/convert_doll.h"

#include "colour/colour_table.h"
#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "convert/gif_container.h"
#include "convert/output_file.h"
#include "doll/cnf_parse.h"
#include "doll/doll_animation.h"
#include "doll/doll_picture.h"
#include "doll/doll_plan.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdlib>
#include <unordered_map>
#include <vector>

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
    if (run_state.animate_seconds > 0) return write_doll_animation(doll, files, set, input);
    DollPlan plan;
    plan.files = files;
    DollAssets assets;
    int status = load_doll(doll, plan, assets);
    if (status != STATUS_OK) return status;
    FkissState state;
    start_fkiss(doll, assets.shapes, set, run_state.seed, state);
    warn_if_stopped(state);
    status = plan_from_state(doll, state, assets, plan);
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
    Archive folder{};
    open_folder(folder_of(input_name), folder);
    status = write_doll_picture(doll, DollFiles{&folder, ""}, set, input);
    close_archive(folder);
    return status;
}
