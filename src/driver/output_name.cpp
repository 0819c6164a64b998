#include "driver/output_name.h"

namespace {

#ifdef _WIN32
constexpr const char *DIRECTORY_SEPARATORS = "/\\";
#else
constexpr const char *DIRECTORY_SEPARATORS = "/";
#endif

} // namespace

std::string derive_output_name(const char *argument) {
    std::string name = argument;
    const size_t separator = name.find_last_of(DIRECTORY_SEPARATORS);
    const size_t file_part = separator == std::string::npos ? 0 : separator + 1;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot >= file_part) name.erase(dot);
    return name + ".gif";
}
