#include "console/explorer_pause.h"

#include "common/run_state.h"
#include "platform/platform.h"

#include <cstdio>

bool pause_at_end(unsigned console_processes) {
    return console_processes == 1;
}

std::string closing_line(unsigned pictures, const std::string &first_picture) {
    if (pictures == 0)
        return "No picture written. Drop doll archives (.lzh, .zip), configurations (.cnf) or "
               "cels (.cel) onto quondel.exe, or see quondel --help.";
    if (pictures == 1) return "1 picture written: " + first_picture + ".";
    const size_t end = first_picture.find_last_of(PATH_SEPARATORS);
    const std::string count = std::to_string(pictures) + " pictures written";
    if (end == std::string::npos) return count + ", the first " + first_picture + ".";
    // The folder without its last separator, unless that is all of it ("/", "C:\\").
    const bool root = end == 0 || first_picture[end - 1] == ':';
    return count + " in " + first_picture.substr(0, root ? end + 1 : end) + ", the first " +
           first_picture.substr(end + 1) + ".";
}

void pause_if_console_is_own() {
    if (!pause_at_end(console_process_count())) return;
    printf("%s\nPress Enter to close this window.\n",
           closing_line(run_state.gifs_written, run_state.first_gif).c_str());
    fflush(stdout);
    wait_for_enter();
}
