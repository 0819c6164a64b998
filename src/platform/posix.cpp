// The platform layer on POSIX systems (Linux, the BSDs, macOS). What it absorbs:
// - rename() replaces a file in one step, but only within a folder's file system, so the
//   temporary file goes beside the file it replaces, links followed;
// - mkstemp() creates files 0600: a new output gets the mode fopen would give it (0666 less
//   the umask), a replaced one keeps its mode and, where we may, its owner;
// - a file name near the system's limit has no room for a temporary suffix;
// - signals may arrive at any point: a handler may only unlink(), and the signals are
//   blocked while the temporary file is created and named, so none falls in between;
// - st_dev and st_ino tell the same file through any name.
#include "platform/platform.h"

#include "common/file_names.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <initializer_list>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int MAX_LINK_DEPTH = 40;
constexpr size_t HUGE_PAGE = size_t{2} << 20;

// The temporary file being written, owned here; a handler only ever reads it.
char *volatile pending_path = nullptr;

void set_pending_output(const char *temporary_path) {
    pending_path = strdup(temporary_path);
}

void clear_pending_output() {
    char *path = pending_path;
    pending_path = nullptr;
    free(path);
}

// Async-signal-safe.
void remove_pending_output() {
    if (pending_path != nullptr) unlink(pending_path);
}

// Blocks (or restores) the signals that end a run, around creating and naming a
// temporary file, so none arrives between the two.
void block_ending_signals(bool block) {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, signal_number);
    sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &signals, nullptr);
}

// A run ended by a signal leaves no temporary file behind, and still ends by that signal.
void end_by_signal(int signal_number) {
    remove_pending_output();
    signal(signal_number, SIG_DFL);
    raise(signal_number);
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

bool open_temporary(ReplacementFile &output, const struct stat *replaced) {
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
    if (fd < 0) return false;
    give_mode(fd, replaced);
    output.temporary = name;
    output.stream = fdopen(fd, "wb");
    if (output.stream != nullptr) return true;
    close(fd);
    end_replacement(output, false);
    return false;
}

} // namespace

void prepare_standard_streams() {
#ifdef __EMSCRIPTEN__
    // Its runtime starts with umask 0777: every output would come out unreadable.
    umask(022);
#endif
}

FILE *open_file(const char *name, const char *mode) {
    return fopen(name, mode);
}

int64_t regular_file_size(FILE *file) {
    struct stat st;
    return fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) ? int64_t{st.st_size} : -1;
}

bool seek_to(FILE *file, int64_t offset) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

// Truncating the output must never destroy the file being read, whatever name or
// link leads to it.
bool is_same_file(FILE *file, const char *name) {
    struct stat input_stat, output_stat;
    if (stat(name, &output_stat) != 0) return false;
    if (fstat(fileno(file), &input_stat) != 0) return false;
    return input_stat.st_dev == output_stat.st_dev && input_stat.st_ino == output_stat.st_ino;
}

bool is_folder(const char *name) {
    struct stat st;
    return stat(name, &st) == 0 && S_ISDIR(st.st_mode);
}

bool identify_file(const char *name, FileIdentity &identity) {
    struct stat st;
    if (stat(name, &st) != 0) return false;
    identity = FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
}

std::string failure_reason() {
    return strerror(errno);
}

bool failure_is_missing() {
    return errno == ENOENT || errno == ENOTDIR;
}

bool is_terminal(FILE *stream) {
    return isatty(fileno(stream)) == 1;
}

int64_t clock_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

bool list_folder(const std::string &folder, std::vector<std::string> &names) {
    DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return false;
    names.clear();
    while (const dirent *entry = readdir(dir))
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    closedir(dir);
    return true;
}

bool begin_replacement(const char *name, ReplacementFile &output) {
    output = ReplacementFile{nullptr, std::string(), follow_links(name)};
    struct stat existing;
    const bool exists = stat(output.target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        output.stream = fopen(name, "wb"); // a device or FIFO has nothing to lose
        return output.stream != nullptr;
    }
    return open_temporary(output, exists ? &existing : nullptr);
}

bool end_replacement(const ReplacementFile &output, bool complete) {
    if (output.temporary.empty()) return true;
    if (complete && rename(output.temporary.c_str(), output.target.c_str()) == 0) {
        clear_pending_output();
        return true;
    }
    unlink(output.temporary.c_str());
    clear_pending_output();
    return !complete;
}

void remove_temporary_on_interrupt() {
    struct sigaction action = {};
    action.sa_handler = end_by_signal;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous;
        // A signal the caller chose to ignore stays ignored (nohup, for instance).
        if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        sigaction(signal_number, &action, nullptr);
    }
}

unsigned char *reserve_pixel_area(size_t size) {
    // Large areas in huge pages where the system offers them: thousands of page faults
    // fewer, which is most of what holding the area costs.
    void *area = nullptr;
    if (posix_memalign(&area, size >= HUGE_PAGE ? HUGE_PAGE : sizeof(void *), size) != 0)
        return nullptr;
#ifdef MADV_HUGEPAGE
    if (size >= HUGE_PAGE) madvise(area, size, MADV_HUGEPAGE);
#endif
    return static_cast<unsigned char *>(area);
}

unsigned console_process_count() {
    return 0; // a terminal outlives the program: nothing to wait for
}

void wait_for_enter() {
    for (int c = getchar(); c != EOF && c != '\n';)
        c = getchar();
}
