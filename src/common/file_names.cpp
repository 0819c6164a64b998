#include "common/file_names.h"

#include "platform/platform.h"

#include <cctype>
#include <cstring>

std::string folder_of(const std::string &path) {
    const size_t separator = path.find_last_of(PATH_SEPARATORS);
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

bool same_name_any_case(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool name_ends_with(const char *name, const char *suffix) {
    const size_t length = strlen(name), suffix_length = strlen(suffix);
    if (length < suffix_length) return false;
    for (size_t i = 0; i < suffix_length; ++i)
        if (tolower(static_cast<unsigned char>(name[length - suffix_length + i])) != suffix[i])
            return false;
    return true;
}
