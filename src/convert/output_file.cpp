#include "convert/output_file.h"

#include "common/run_state.h"
#include "common/status.h"

int open_output(FILE *input, char *buffer, OutputFile &output) {
    const char *name = run_state.output_name.c_str();
    // Truncating the output must never destroy the file being read, whatever name or link
    // leads to it.
    if (is_same_file(input, name)) return STATUS_SAME_FILE;
    if (!begin_replacement(name, output)) return STATUS_NO_MEMORY;
    setvbuf(output.stream, buffer, _IOFBF, OUTPUT_BUFFER_SIZE);
    return STATUS_OK;
}

int close_output(OutputFile &output, int status) {
    const bool write_failed = ferror(output.stream) != 0;
    const bool close_failed = fclose(output.stream) != 0;
    if (status == STATUS_OK && (write_failed || close_failed)) status = STATUS_WRITE_ERROR;
    if (!end_replacement(output, status == STATUS_OK)) status = STATUS_WRITE_ERROR;
    if (status == STATUS_OK && run_state.gifs_written++ == 0)
        run_state.first_gif = run_state.output_name;
    return status;
}
