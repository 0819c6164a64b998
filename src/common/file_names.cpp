#include "common/file_names.h"

#include <cctype>
#include <cstring>

std::string folder_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool name_ends_with(const char *name, const char *suffix) {
    const size_t length = strlen(name), suffix_length = strlen(suffix);
    if (length < suffix_length) return false;
    for (size_t i = 0; i < suffix_length; ++i)
        if (tolower(static_cast<unsigned char>(name[length - suffix_length + i])) != suffix[i])
            return false;
    return true;
}
