#include "doll/doll_plan.h"

#include "common/run_state.h"
#include "common/status.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace {

int fail_with(int status, const std::string &name) {
    run_state.doll_detail = name;
    return status;
}

std::string lower_case(std::string name) {
    for (char &ch : name)
        ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    return name;
}

// Every palette file must be there and be one; each distinct file is read once, in `group`.
int load_palettes(const DollConfig &doll, int64_t group, DollPlan &plan, DollAssets &assets) {
    std::unordered_map<std::string, size_t> loaded;
    assets.colours_of.assign(doll.palettes.size(), 0);
    plan.colours.clear();
    for (size_t p = 0; p < doll.palettes.size(); ++p) {
        const auto known = loaded.emplace(lower_case(doll.palettes[p]), plan.colours.size());
        assets.colours_of[p] = known.first->second;
        if (!known.second) continue;
        plan.colours.emplace_back();
        const int status =
            read_palette_group(plan.files, doll.palettes[p], group, plan.colours.back());
        if (status != STATUS_OK) return fail_with(status, doll.palettes[p]);
    }
    const unsigned char *background = plan.colours.empty() ? nullptr : plan.colours[0].rgb;
    plan.background = background == nullptr
                          ? 0
                          : uint32_t{background[0]} << 16 | background[1] << 8 | background[2];
    assets.loaded_group = group;
    return STATUS_OK;
}

bool listed_palette(const DollConfig &doll, const CelLine &line) {
    return line.palette >= 0 && static_cast<size_t>(line.palette) < doll.palettes.size();
}

constexpr uint64_t MAX_MASK_PIXELS = uint64_t{1} << 24; // larger cels collide by rectangle

// Which pixels of a cel are solid: palette index not 0, alpha not 0. Rows the file lacks are
// clear.
int read_mask(const DollPlan &plan, const std::string &file, const DollCel &cel,
              std::vector<uint8_t> &mask) {
    const CelImage &image = cel.image;
    mask.assign(size_t{image.width} * image.height, 0);
    if (cel.kind == KissKind::other) {
        const RgbaCel &picture = plan.pictures[cel.picture];
        for (size_t i = 0; i < mask.size(); ++i)
            mask[i] = picture.rgba[i * 4 + 3] != 0;
        return STATUS_OK;
    }
    EntryStream input;
    const int status = open_doll_file(plan.files, file, input);
    if (status != STATUS_OK) return status;
    std::vector<unsigned char> row(row_stride(image));
    bool readable = seek_entry(input, cel.pixels_at);
    for (unsigned y = 0; y < image.height && readable; ++y) {
        const size_t got = read_entry(input, row.data(), row.size());
        readable = got == row.size();
        std::memset(row.data() + got, 0, row.size() - got);
        uint8_t *out = &mask[size_t{y} * image.width];
        for (unsigned x = 0; x < image.width; ++x)
            out[x] = image.depth == 32  ? row[x * 4 + 3] != 0
                     : image.depth == 8 ? row[x] != 0
                                        : (x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4) != 0;
    }
    close_entry(input);
    return STATUS_OK;
}

// Masks for the cels that collide() and apart() compare pixel by pixel.
int load_masks(const DollConfig &doll, const DollPlan &plan, DollAssets &assets) {
    const FkissProgram &program = doll.program;
    for (const CollisionEvent &event : program.collisions) {
        if (event.kind != COLLISION_COLLIDE && event.kind != COLLISION_APART) continue;
        for (const Operand *side : {&event.a, &event.b})
            for (uint32_t k = 0; k < side->count; ++k) {
                const uint32_t cel = program.cel_lists[side->first + k];
                if (assets.shapes.masks.empty()) assets.shapes.masks.resize(doll.cels.size());
                const DollCel &dc = assets.cels[cel];
                if (!assets.shapes.masks[cel].empty() || assets.missing[cel] ||
                    uint64_t{dc.image.width} * dc.image.height > MAX_MASK_PIXELS)
                    continue;
                const int status =
                    read_mask(plan, doll.cels[cel].file, dc, assets.shapes.masks[cel]);
                if (status != STATUS_OK) return fail_with(status, doll.cels[cel].file);
            }
    }
    return STATUS_OK;
}

} // namespace

// Every cel file must be there and be a cel, even those no set shows, as a viewer loading the
// doll needs them all. Read from the last line up, so that a failure names the file the
// drawing would meet first.
int load_doll(const DollConfig &doll, DollPlan &plan, DollAssets &assets) {
    plan.width = static_cast<uint32_t>(doll.width);
    plan.height = static_cast<uint32_t>(doll.height);
    assets.loaded_group = -1;
    int status = load_palettes(doll, doll.sets.empty() ? 0 : doll.sets[0].group, plan, assets);
    if (status != STATUS_OK) return status;
    assets.cels.assign(doll.cels.size(), DollCel{});
    assets.shapes.boxes.assign(doll.cels.size(), CelBox{0, 0, 0, 0});
    assets.missing.assign(doll.cels.size(), 0);
    std::unordered_map<std::string, size_t> first_line; // a file's line already read
    for (size_t i = doll.cels.size(); i-- > 0;) {
        const CelLine &line = doll.cels[i];
        const auto known = first_line.emplace(lower_case(line.file), i);
        if (known.second) {
            RgbaCel picture;
            DollCel &cel = assets.cels[i];
            status = read_doll_cel(plan.files, line.file, cel, picture);
            cel.picture = plan.pictures.size();
            if (cel.kind == KissKind::other) plan.pictures.push_back(std::move(picture));
            // A viewer draws a doll without the cels it lacks; the driver names each.
            if (status == STATUS_DOLL_FILE_MISSING) {
                assets.missing[i] = 1;
                run_state.missing_cels.push_back(line.file);
                continue;
            }
            if (status != STATUS_OK) return fail_with(status, line.file);
        } else {
            assets.cels[i] = assets.cels[known.first->second];
            assets.missing[i] = assets.missing[known.first->second];
            if (assets.missing[i]) continue;
        }
        const DollCel &cel = assets.cels[i];
        // 32-bit and image cels take no colours from a palette.
        if (!listed_palette(doll, line) && cel.kind != KissKind::cel32 &&
            cel.kind != KissKind::other)
            return fail_with(STATUS_PALETTE_NOT_LISTED, line.file);
        assets.shapes.boxes[i] =
            CelBox{cel.image.x_offset + line.offset_x, cel.image.y_offset + line.offset_y,
                   cel.image.width, cel.image.height};
    }
    return load_masks(doll, plan, assets);
}

int plan_from_state(const DollConfig &doll, const FkissState &state, DollAssets &assets,
                    DollPlan &plan) {
    if (state.group != assets.loaded_group) {
        const int status = load_palettes(doll, state.group, plan, assets);
        if (status != STATUS_OK) return status;
    }
    plan.cels.clear();
    for (size_t i = doll.cels.size(); i-- > 0;) {
        const uint32_t cel = static_cast<uint32_t>(i);
        if (!cel_visible(state, cel) || assets.missing[i]) continue;
        const CelLine &line = doll.cels[i];
        const Position at = object_position(state, line.object);
        plan.cels.push_back(PlacedCel{
            line.file, assets.cels[i], at.x + line.offset_x, at.y + line.offset_y,
            listed_palette(doll, line) ? assets.colours_of[static_cast<size_t>(line.palette)] : 0,
            state.translucency[i]});
    }
    return STATUS_OK;
}

void warn_if_stopped(const FkissState &state) {
    // The driver names the doll; the worst bound met in the run of one picture counts.
    const int stopped = state.exhausted ? PROGRAM_EXHAUSTED : state.capped ? PROGRAM_CAPPED : 0;
    if (stopped > run_state.program_stopped) run_state.program_stopped = stopped;
}
