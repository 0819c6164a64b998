#include "convert/output_file.h"

#include "common/file_names.h"
#include "common/run_state.h"
#include "common/status.h"
#include "convert/pending_output.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int MAX_LINK_DEPTH = 40;

// Truncating the output must never destroy the file being read, whatever name or
// link leads to it.
bool names_the_input(FILE *input, const char *output_name) {
    struct stat input_stat, output_stat;
    if (stat(output_name, &output_stat) != 0) return false;
    if (fstat(fileno(input), &input_stat) != 0) return false;
    return input_stat.st_dev == output_stat.st_dev && input_stat.st_ino == output_stat.st_ino;
}

// Follows symbolic links, so that the link stays and the file it leads to is replaced.
std::string follow_links(std::string path) {
    for (int depth = 0; depth < MAX_LINK_DEPTH; ++depth) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
        const ssize_t length = readlink(path.c_str(), &target[0], target.size());
        if (length < 0 || static_cast<size_t>(length) >= target.size()) return path;
        target.resize(static_cast<size_t>(length));
        path = target[0] == '/' ? target : folder_of(path) + target;
    }
    return path;
}

mode_t creation_mask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// The mode fopen would have given a new file, or the mode of the file being replaced.
void give_mode(int fd, const struct stat *replaced) {
    if (replaced == nullptr) {
        fchmod(fd, 0666 & ~creation_mask());
        return;
    }
    // Keeps the owner where we may (as root), before the mode, as a change of owner clears
    // set-id bits; otherwise the file is simply ours, without set-id bits meant for another.
    const bool owned = (replaced->st_uid == geteuid() && replaced->st_gid == getegid()) ||
                       fchown(fd, replaced->st_uid, replaced->st_gid) == 0;
    fchmod(fd, replaced->st_mode & (owned ? 07777 : 0777));
}

int open_temporary(OutputFile &output, const struct stat *replaced) {
    const std::string folder = folder_of(output.target);
    std::string name = folder + "." + output.target.substr(folder.size()) + ".XXXXXX";
    block_ending_signals(true);
    int fd = mkstemp(&name[0]);
    if (fd < 0 && errno == ENAMETOOLONG) { // a file name near the limit has no room for more
        name = folder + ".quondel-XXXXXX";
        fd = mkstemp(&name[0]);
    }
    if (fd >= 0) set_pending_output(name.c_str());
    block_ending_signals(false);
    if (fd < 0) return STATUS_NO_MEMORY;
    give_mode(fd, replaced);
    output.temporary = name;
    output.stream = fdopen(fd, "wb");
    return STATUS_OK;
}

void discard_temporary(const OutputFile &output) {
    unlink(output.temporary.c_str());
    clear_pending_output();
}

} // namespace

int open_output(FILE *input, char *buffer, OutputFile &output) {
    const char *name = run_state.output_name.c_str();
    if (names_the_input(input, name)) return STATUS_SAME_FILE;
    output = OutputFile{nullptr, std::string(), follow_links(name)};
    struct stat existing;
    const bool exists = stat(output.target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        output.stream = fopen(name, "wb"); // a device or FIFO has nothing to lose
        if (output.stream == nullptr) return STATUS_NO_MEMORY;
    } else {
        const int status = open_temporary(output, exists ? &existing : nullptr);
        if (status != STATUS_OK) return status;
        if (output.stream == nullptr) {
            discard_temporary(output);
            return STATUS_NO_MEMORY;
        }
    }
    setvbuf(output.stream, buffer, _IOFBF, OUTPUT_BUFFER_SIZE);
    return STATUS_OK;
}

int close_output(OutputFile &output, int status) {
    const bool write_failed = ferror(output.stream) != 0;
    const bool close_failed = fclose(output.stream) != 0;
    if (status == STATUS_OK && (write_failed || close_failed)) status = STATUS_WRITE_ERROR;
    if (output.temporary.empty()) return status;
    if (status == STATUS_OK && rename(output.temporary.c_str(), output.target.c_str()) != 0)
        status = STATUS_WRITE_ERROR;
    if (status != STATUS_OK)
        discard_temporary(output);
    else
        clear_pending_output();
    return status;
}
