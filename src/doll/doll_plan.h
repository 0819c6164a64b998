#pragma once

#include "doll/cnf_parse.h"
#include "doll/doll_picture.h"
#include "fkiss/state.h"

#include <string>
#include <vector>

// What a doll's files give once, for every picture of it: each cel line's cel, the shapes the
// program needs, and the palettes of the group last drawn.
struct DollAssets {
    std::vector<DollCel> cels;    // per cel line
    std::vector<uint8_t> missing; // per cel line: its file is not in the doll, never drawn
    CelShapes shapes;
    int64_t loaded_group;           // -1 before any palette is read
    std::vector<size_t> colours_of; // per palette line: its place in DollPlan::colours
};

// Reads every cel file's header (each distinct file once; image cels decoded into
// plan.pictures) and checks every line's palette number. A missing cel file is noted in
// run_state.missing_cels and the doll drawn without it. A conversion status; on a failure
// about a file, run_state.doll_detail names it.
int load_doll(const DollConfig &doll, DollPlan &plan, DollAssets &assets);

// The cels the state shows, placed, last line first, with the palettes of the state's group
// (read when the group changes).
int plan_from_state(const DollConfig &doll, const FkissState &state, DollAssets &assets,
                    DollPlan &plan);

// Notes in run_state.program_stopped when the doll's program was stopped by a bound.
void warn_if_stopped(const FkissState &state);
