#pragma once

#include <string>

// The GIF name for a file argument: the extension of its file-name part becomes
// ".gif", or ".gif" is appended when there is none. Directory parts are never touched.
std::string derive_output_name(const char *argument);
