#include "driver/output_name.h"

#include "platform/platform.h"

std::string derive_output_name(const char *argument) {
    std::string name = argument;
    const size_t separator = name.find_last_of(PATH_SEPARATORS);
    const size_t file_part = separator == std::string::npos ? 0 : separator + 1;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot >= file_part) name.erase(dot);
    return name + ".gif";
}
