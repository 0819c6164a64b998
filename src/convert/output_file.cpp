#include "convert/output_file.h"

#include "common/run_state.h"
#include "common/status.h"

int open_output(FILE *input, char *buffer, OutputFile &output,
                const std::set<std::string> *also_read) {
    const char *name = run_state.output_name.c_str();
    // Replacing the output must never destroy a file being read, whatever name or link
    // leads to it, nor an output this run has written.
    FileIdentity target;
    if (identify_file(name, target)) {
        if (input != nullptr && is_same_file(input, name)) return STATUS_SAME_FILE;
        if (run_state.outputs_written.count({target.volume, target.index}))
            return STATUS_OUTPUT_TAKEN;
        FileIdentity read;
        if (also_read != nullptr)
            for (const std::string &file : *also_read)
                if (identify_file(file.c_str(), read) && read.volume == target.volume &&
                    read.index == target.index) {
                    run_state.doll_detail = file;
                    return STATUS_SAME_FILE;
                }
    }
    if (!begin_replacement(name, output)) {
        run_state.output_failure = failure_reason();
        return STATUS_NO_MEMORY;
    }
    setvbuf(output.stream, buffer, _IOFBF, OUTPUT_BUFFER_SIZE);
    return STATUS_OK;
}

int close_output(OutputFile &output, int status) {
    const bool write_failed = ferror(output.stream) != 0;
    const bool close_failed = fclose(output.stream) != 0;
    if (status == STATUS_OK && (write_failed || close_failed)) status = STATUS_WRITE_ERROR;
    if (!end_replacement(output, status == STATUS_OK)) status = STATUS_WRITE_ERROR;
    FileIdentity written;
    if (status == STATUS_OK && identify_file(run_state.output_name.c_str(), written))
        run_state.outputs_written.insert({written.volume, written.index});
    run_state.output_written = status == STATUS_OK;
    if (status == STATUS_OK && run_state.gifs_written++ == 0)
        run_state.first_gif = run_state.output_name;
    return status;
}
