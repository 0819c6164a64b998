// A doll's folder as an archive: its regular files, read where they lie. The only file here
// that calls the system directly (folder listing, sizes, 64-bit seeks).
#include "archive/archive.h"

#include "common/status.h"

#include <dirent.h>
#include <sys/stat.h>

int list_folder(Archive &archive) {
    const std::string folder = archive.location.empty() ? "." : archive.location;
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr) return STATUS_READ_ERROR;
    while (const dirent *found = readdir(dir)) {
        struct stat st;
        const std::string name = found->d_name;
        if (stat((archive.location + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        archive.entries.push_back(
            ArchiveEntry{name, static_cast<uint64_t>(st.st_size), 0, 0, "", 0});
    }
    closedir(dir);
    return STATUS_OK;
}

int read_folder_file(const Archive &archive, const ArchiveEntry &entry, uint64_t offset,
                     unsigned char *buffer, size_t length, size_t &got) {
    got = 0;
    FILE *input = fopen((archive.location + entry.name).c_str(), "rb");
    if (input == nullptr) return STATUS_READ_ERROR;
#ifdef _WIN32
    const bool placed = _fseeki64(input, static_cast<int64_t>(offset), SEEK_SET) == 0;
#else
    const bool placed = fseeko(input, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
    if (placed) got = fread(buffer, 1, length, input);
    const bool failed = !placed || ferror(input);
    fclose(input);
    return failed ? STATUS_READ_ERROR : STATUS_OK;
}
