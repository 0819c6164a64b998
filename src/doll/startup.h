#pragma once

#include "doll/cnf_parse.h"

#include <vector>

// What the first view of one set shows, after the start-up FKiSS.
struct DollView {
    int64_t group;                 // the set's palette group
    std::vector<Position> objects; // per object; a missing one is at (0, 0)
    std::vector<bool> shown;       // per cel line: in the set and mapped
    std::vector<int> translucency; // per cel line, 0 to 255
};

// Runs the actions of initialize(), then begin(), then set(`set`), each in file order, on the
// set's positions and the cel lines' visibility and translucency. A set the doll does not
// define is at group 0 with every object at (0, 0).
void run_startup(const DollConfig &doll, int set, DollView &view);
