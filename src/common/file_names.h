#pragma once

#include <string>

// The folder part of a path, ending in '/' (empty for the current folder).
std::string folder_of(const std::string &path);

// Whether `name` ends in `suffix` (given in lower case), letters compared in any case.
bool name_ends_with(const char *name, const char *suffix);
