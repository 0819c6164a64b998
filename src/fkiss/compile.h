#pragma once

#include "doll/cnf_parse.h"

#include <string>

// Compiles a doll's ";@" lines (`text`, one line each, without the ";@") into doll.program,
// against the doll's cel lines and groups, in time linear in the text. STATUS_OK, or
// STATUS_DOLL_TOO_LARGE beyond MAX_FKISS_ACTIONS actions.
int compile_fkiss(const std::string &text, DollConfig &doll);
