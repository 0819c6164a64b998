#include "convert/output_file.h"

#include "common/run_state.h"
#include "common/status.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Truncating the output must never destroy the file being read, whatever name or
// link leads to it.
bool names_the_input(FILE *input, const char *output_name) {
    struct stat input_stat, output_stat;
    if (stat(output_name, &output_stat) != 0) return false;
    if (fstat(fileno(input), &input_stat) != 0) return false;
    return input_stat.st_dev == output_stat.st_dev && input_stat.st_ino == output_stat.st_ino;
}

// Removes what a failed conversion wrote. A name that is not a plain file of ours
// (a link or a device the user set up) stays; a linked plain file is emptied instead.
void discard_output(const char *output_name) {
    struct stat link_stat, target_stat;
    if (lstat(output_name, &link_stat) != 0) return;
    if (S_ISREG(link_stat.st_mode)) {
        unlink(output_name);
    } else if (S_ISLNK(link_stat.st_mode) && stat(output_name, &target_stat) == 0 &&
               S_ISREG(target_stat.st_mode)) {
        FILE *emptied = fopen(output_name, "wb");
        if (emptied != nullptr) fclose(emptied);
    }
}

} // namespace

int open_output(FILE *input, char *buffer, FILE **out) {
    const char *name = run_state.output_name.c_str();
    if (names_the_input(input, name)) return STATUS_SAME_FILE;
    *out = fopen(name, "wb");
    if (*out == nullptr) return STATUS_NO_MEMORY;
    setvbuf(*out, buffer, _IOFBF, OUTPUT_BUFFER_SIZE);
    return STATUS_OK;
}

int close_output(FILE *out, int status) {
    const bool write_failed = ferror(out) != 0;
    const bool close_failed = fclose(out) != 0;
    if (status == STATUS_OK && (write_failed || close_failed)) status = STATUS_WRITE_ERROR;
    if (status != STATUS_OK) discard_output(run_state.output_name.c_str());
    return status;
}
