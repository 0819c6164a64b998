#pragma once

// What differs between systems, named by what quondel needs done. posix.cpp and windows.cpp
// each implement it (processor.cpp serves both); no other file includes a system header.
// Names are UTF-8 throughout; on Windows the implementation turns them into UTF-16.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The characters that end a folder part of a path. Windows takes both slashes, and the colon
// of a drive ("C:doll.cel"); elsewhere a backslash is an ordinary character of a name.
#ifdef _WIN32
constexpr const char *PATH_SEPARATORS = "/\\:";
#else
constexpr const char *PATH_SEPARATORS = "/";
#endif

// Standard output and error as plain bytes: a message ends in "\n" alone everywhere.
void prepare_standard_streams();

// Opens a file by name as fopen does (the mode is fopen's, with "b").
FILE *open_file(const char *name, const char *mode);
// The size of the open file, or -1 when it is not a regular file.
int64_t regular_file_size(FILE *file);
// Moves to `offset` bytes from the start, past 2 and 4 GiB too; false when it cannot.
bool seek_to(FILE *file, int64_t offset);
// Whether `name` leads to the file open as `file`, through any name or link.
bool is_same_file(FILE *file, const char *name);
// Whether `name` leads to a folder.
bool is_folder(const char *name);
// Where a file lies, the same through any name or link that leads to it; false when `name`
// leads to no file.
struct FileIdentity {
    uint64_t volume, index;
};
bool identify_file(const char *name, FileIdentity &identity);
// Why the last file operation failed, in the system's words ("Permission denied"), and
// whether it failed because the name leads to nothing.
std::string failure_reason();
bool failure_is_missing();
// Whether the stream goes to a terminal (a console), where a line may be rewritten in place.
bool is_terminal(FILE *stream);
// Milliseconds on a clock that never goes back, from an arbitrary start.
int64_t clock_ms();
// The names in a folder ("" is the current one), without "." and "..", in no particular
// order; false when it cannot be read.
bool list_folder(const std::string &folder, std::vector<std::string> &names);

// An output that replaces a file whole or not at all: written to a temporary file beside the
// file the name leads to (links followed), which then takes that file's place. A name that
// leads to no regular file (a device, a FIFO) is written directly, as nothing there is kept.
struct ReplacementFile {
    FILE *stream;
    std::string temporary; // empty when writing directly
    std::string target;    // the file the temporary replaces
};
// False when nothing could be created. The temporary file gets the mode a new file would get,
// or that of the file it replaces; an interruption (a signal, Ctrl-C, a closed console) until
// end_replacement removes it.
bool begin_replacement(const char *name, ReplacementFile &output);
// After the stream is closed: a `complete` temporary file takes the target's place in one
// step, any other is removed. False when the complete one could not take its place.
bool end_replacement(const ReplacementFile &output, bool complete);
// From now on an interruption removes the temporary file, then ends the run as it would have.
void remove_temporary_on_interrupt();

// A buffer for a cel's pixel area (its bytes not yet set), in huge pages where the system
// offers them; null when there is no memory. Released with free().
unsigned char *reserve_pixel_area(size_t size);

// What the encoder asks of the processor; all zero where there is no such query.
struct Processor {
    char vendor[13]; // "GenuineIntel", "AuthenticAMD", ...
    unsigned family; // with the extended family added, as the vendors count it
    unsigned model;  // with the extended model
    bool bmi2;
};
Processor query_processor();

// The processes attached to this program's console (itself included); 0 without a console.
unsigned console_process_count();
// Reads standard input up to the end of a line (or of the input).
void wait_for_enter();

#ifdef _WIN32
// The entry point's work where Windows gives arguments as UTF-16: `run` gets them as UTF-8.
int run_with_utf8_arguments(int argc, wchar_t **argv, int (*run)(int, char **));
#endif
