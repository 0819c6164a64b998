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

std::string derive_doll_output_name(const char *argument, const std::string &configuration,
                                    int set) {
    std::string name = derive_output_name(argument);
    name.erase(name.size() - 4);
    if (!configuration.empty()) {
        const size_t slash = configuration.rfind('/');
        std::string stem = configuration.substr(slash == std::string::npos ? 0 : slash + 1);
        const size_t dot = stem.rfind('.');
        if (dot != std::string::npos) stem.erase(dot);
        name += "-" + stem;
    }
    if (set > 0) name += "-" + std::to_string(set);
    return name + ".gif";
}

std::string place_output(const std::string &name, const std::string &folder) {
    if (folder.empty()) return name;
    const size_t separator = name.find_last_of(PATH_SEPARATORS);
    const std::string file = separator == std::string::npos ? name : name.substr(separator + 1);
    const bool ends_in_separator =
        std::string(PATH_SEPARATORS).find(folder.back()) != std::string::npos;
    return folder + (ends_in_separator ? "" : "/") + file;
}
