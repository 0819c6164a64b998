#pragma once

#include <string>

// The GIF name for a file argument: the extension of its file-name part becomes
// ".gif", or ".gif" is appended when there is none. Directory parts are never touched.
std::string derive_output_name(const char *argument);

// The GIF name for one picture of a doll: as above, with "-CNF" for a configuration inside
// an archive that holds several (`configuration` is its name there, else empty), and "-N"
// for a set N above 0. `lucca.lzh` gives `lucca.gif`, with set 3 `lucca-3.gif`;
// `2ranmas.lzh` with `KISS.CNF` among others gives `2ranmas-KISS-3.gif`: the configuration's
// name keeps the case it is stored in.
std::string derive_doll_output_name(const char *argument, const std::string &configuration,
                                    int set);

// `name` in `folder` ("-o"): its folder part replaced; unchanged when `folder` is empty.
std::string place_output(const std::string &name, const std::string &folder);
