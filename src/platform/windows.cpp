// The platform layer on Windows. What it absorbs:
// - names are UTF-16: the arguments arrive as UTF-16 and every file is opened through a wide
//   call, so that the rest of the program keeps UTF-8;
// - rename() does not replace an existing file: MoveFileExW with MOVEFILE_REPLACE_EXISTING
//   does, in one step, and MOVEFILE_WRITE_THROUGH returns only once it is on the disk;
// - st_ino is always 0: the volume serial number and the file index tell the same file;
// - the C runtime's text mode writes "\r\n" for "\n" on the standard streams;
// - Ctrl-C, Ctrl-Break and closing the console run a handler on a thread of its own: it
//   takes the lock under which the temporary file is created, named and renamed, and the
//   file is opened so that it can be deleted while the main thread still writes to it;
// - huge pages need a privilege ordinary users lack: the pixel area is plain memory;
// - a console of the program's own (started from Explorer) closes when it ends: it is counted;
// - the shells leave wildcards to the program: the C runtime expands them.
#include "platform/platform.h"

#include "common/file_names.h"

#include <cstdlib>
#include <cwctype>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace {

constexpr int TEMPORARY_TRIES = 100;

// Guards pending_path against the interrupt handler's thread.
SRWLOCK pending_lock = SRWLOCK_INIT;
std::wstring pending_path; // the temporary file being written; empty when there is none

std::wstring wide(const std::string &utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], n);
    return text;
}

std::string utf8(const wchar_t *text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], n, nullptr, nullptr);
    bytes.resize(static_cast<size_t>(n - 1));
    return bytes;
}

HANDLE handle_of(FILE *file) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

// Opens a name only to ask about the file it leads to (a folder too).
HANDLE open_to_query(const std::string &name) {
    return CreateFileW(wide(name).c_str(), 0,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The file's final path, for file systems that give every file the index 0.
std::wstring final_path(HANDLE file) {
    wchar_t path[MAX_PATH * 4];
    const DWORD n = GetFinalPathNameByHandleW(file, path, MAX_PATH * 4, FILE_NAME_NORMALIZED);
    return n > 0 && n < MAX_PATH * 4 ? std::wstring(path, n) : std::wstring();
}

bool same_identity(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (!GetFileInformationByHandle(a, &ia) || !GetFileInformationByHandle(b, &ib)) return false;
    if (ia.dwVolumeSerialNumber != ib.dwVolumeSerialNumber ||
        ia.nFileIndexHigh != ib.nFileIndexHigh || ia.nFileIndexLow != ib.nFileIndexLow)
        return false;
    if ((ia.nFileIndexHigh | ia.nFileIndexLow) != 0) return true;
    const std::wstring pa = final_path(a);
    return !pa.empty() &&
           CompareStringOrdinal(pa.c_str(), -1, final_path(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Whether a name leads to a regular file: absent names and files are, folders and devices
// (NUL, CON, pipes) are not.
bool replaceable(const std::string &name) {
    const HANDLE file = open_to_query(name);
    if (file == INVALID_HANDLE_VALUE) return true;
    BY_HANDLE_FILE_INFORMATION info;
    const bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                         GetFileInformationByHandle(file, &info) &&
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(file);
    return regular;
}

// Six letters that differ from try to try and from process to process.
std::string random_suffix(unsigned try_number) {
    uint64_t x = GetTickCount64() ^ (uint64_t{GetCurrentProcessId()} << 32) ^
                 (uint64_t{try_number} * 0x9E3779B97F4A7C15);
    std::string suffix;
    for (int i = 0; i < 6; ++i) {
        x = x * 6364136223846793005 + 1442695040888963407;
        suffix += "abcdefghijklmnopqrstuvwxyz0123456789"[(x >> 33) % 36];
    }
    return suffix;
}

// Creates the temporary file and names it pending, with the handler kept out.
HANDLE create_temporary(const std::string &stem, std::string &name) {
    for (unsigned t = 0; t < TEMPORARY_TRIES; ++t) {
        name = stem + random_suffix(t);
        AcquireSRWLockExclusive(&pending_lock);
        const std::wstring path = wide(name);
        const HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) pending_path = path;
        ReleaseSRWLockExclusive(&pending_lock);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// Runs on a thread of its own. The lock stays taken, so no temporary file is created or
// renamed while the process ends; returning FALSE lets the default handler end it.
BOOL WINAPI end_by_interrupt(DWORD) {
    AcquireSRWLockExclusive(&pending_lock);
    if (!pending_path.empty()) DeleteFileW(pending_path.c_str());
    return FALSE;
}

} // namespace

void prepare_standard_streams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

FILE *open_file(const char *name, const char *mode) {
    return _wfopen(wide(name).c_str(), wide(mode).c_str());
}

int64_t regular_file_size(FILE *file) {
    struct _stat64 st;
    return _fstat64(_fileno(file), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG
               ? int64_t{st.st_size}
               : -1;
}

bool seek_to(FILE *file, int64_t offset) {
    return _fseeki64(file, offset, SEEK_SET) == 0;
}

bool is_same_file(FILE *file, const char *name) {
    const HANDLE other = open_to_query(name);
    if (other == INVALID_HANDLE_VALUE) return false;
    const bool same = same_identity(handle_of(file), other);
    CloseHandle(other);
    return same;
}

bool is_folder(const char *name) {
    const DWORD attributes = GetFileAttributesW(wide(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool identify_file(const char *name, FileIdentity &identity) {
    const HANDLE file = open_to_query(name);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(file, &info);
    uint64_t index = uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    // File systems that give every file the index 0: its final path, folded, hashed.
    if (known && index == 0) {
        index = 14695981039346656037u;
        for (const wchar_t ch : final_path(file))
            index = (index ^ static_cast<uint64_t>(towlower(ch))) * 1099511628211u;
    }
    CloseHandle(file);
    if (known) identity = FileIdentity{info.dwVolumeSerialNumber, index};
    return known;
}

// The C runtime's calls set errno as POSIX does; the wide system calls only the last error,
// which the runtime's calls set too.
std::string failure_reason() {
    const DWORD error = GetLastError();
    wchar_t *text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string reason = n > 0 ? utf8(text) : "error " + std::to_string(error);
    LocalFree(text);
    // The system's sentences end in a full stop and a line break; a message adds its own.
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == '.' || reason.back() == ' '))
        reason.pop_back();
    return reason;
}

bool failure_is_missing() {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME;
}

bool is_terminal(FILE *stream) {
    DWORD mode;
    return GetConsoleMode(handle_of(stream), &mode) != 0;
}

int64_t clock_ms() {
    return static_cast<int64_t>(GetTickCount64());
}

bool list_folder(const std::string &folder, std::vector<std::string> &names) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((wide(folder) + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    names.clear();
    do {
        const std::string name = utf8(found.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

bool begin_replacement(const char *name, ReplacementFile &output) {
    output = ReplacementFile{nullptr, std::string(), name};
    if (!replaceable(output.target)) {
        output.stream = open_file(name, "wb"); // a device has nothing to lose
        return output.stream != nullptr;
    }
    const std::string folder = folder_of(output.target);
    HANDLE file = create_temporary(folder + "." + output.target.substr(folder.size()) + ".",
                                   output.temporary);
    if (file == INVALID_HANDLE_VALUE) // a name near the limit has no room for more
        file = create_temporary(folder + ".quondel-", output.temporary);
    if (file == INVALID_HANDLE_VALUE) return false;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (fd < 0) CloseHandle(file);
    output.stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (output.stream != nullptr) return true;
    if (fd >= 0) _close(fd);
    end_replacement(output, false);
    return false;
}

bool end_replacement(const ReplacementFile &output, bool complete) {
    if (output.temporary.empty()) return true;
    const std::wstring temporary = wide(output.temporary);
    AcquireSRWLockExclusive(&pending_lock);
    const bool replaced =
        complete && MoveFileExW(temporary.c_str(), wide(output.target).c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced) DeleteFileW(temporary.c_str());
    pending_path.clear();
    ReleaseSRWLockExclusive(&pending_lock);
    return replaced || !complete;
}

void remove_temporary_on_interrupt() {
    SetConsoleCtrlHandler(end_by_interrupt, TRUE);
}

unsigned char *reserve_pixel_area(size_t size) {
    return static_cast<unsigned char *>(malloc(size));
}

// Command Prompt and PowerShell hand "*.lzh" over as it is typed; a Windows program expands it
// itself. This asks mingw-w64's start-up code (through the C runtime) to do so.
extern "C" {
int _dowildcard = -1;
}

int run_with_utf8_arguments(int argc, wchar_t **argv, int (*run)(int, char **)) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(utf8(argv[i]));
    std::vector<char *> pointers;
    for (std::string &argument : arguments)
        pointers.push_back(&argument[0]);
    pointers.push_back(nullptr);
    return run(argc, pointers.data());
}

unsigned console_process_count() {
    DWORD processes[4];
    // The count, even when more than fit (they are not needed); 0 when there is no console.
    return GetConsoleProcessList(processes, 4);
}

void wait_for_enter() {
    for (int c = getchar(); c != EOF && c != '\n';)
        c = getchar();
}
