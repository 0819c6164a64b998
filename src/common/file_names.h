#pragma once

#include <string>

// The folder part of a path, ending in its separator (empty for the current folder).
std::string folder_of(const std::string &path);

// Whether two names are the same, letters A to Z compared in any case (other bytes as they are).
bool same_name_any_case(const std::string &a, const std::string &b);

// Whether `name` ends in `suffix` (given in lower case), letters compared in any case.
bool name_ends_with(const char *name, const char *suffix);
