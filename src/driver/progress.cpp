#include "driver/progress.h"

#include "common/run_state.h"
#include "platform/platform.h"

#include <cstdio>

namespace {

constexpr int64_t PROGRESS_AFTER_MS = 1000;

struct Progress {
    int expected, done, written;
    int64_t started;
    bool terminal;
    size_t shown; // characters of the progress line on the terminal now; 0 when none
    bool counted; // the current argument counts its own pictures
};

Progress progress;

void show_progress() {
    if (!progress.terminal || clock_ms() - progress.started < PROGRESS_AFTER_MS) return;
    char line[64];
    const int n =
        snprintf(line, sizeof line, "%d of %d pictures", progress.done, progress.expected);
    fprintf(stderr, "\r%s", line);
    for (size_t i = static_cast<size_t>(n); i < progress.shown; ++i)
        fputc(' ', stderr);
    fflush(stderr);
    progress.shown = static_cast<size_t>(n);
}

} // namespace

void begin_progress(int expected_pictures) {
    progress = Progress{expected_pictures, 0, 0, clock_ms(), is_terminal(stderr), 0, false};
}

void expect_pictures(int pictures) {
    // The argument was counted as one picture until now.
    progress.expected += progress.counted ? pictures : pictures - 1;
    progress.counted = true;
}

void picture_done() {
    ++progress.done;
    if (progress.done > progress.expected) progress.expected = progress.done;
    show_progress();
}

void argument_done() {
    if (!progress.counted) picture_done();
    progress.counted = false;
}

void note_written(const std::string &what) {
    ++progress.written;
    if (!run_state.verbose) return;
    // The size as written: the logical screen and the file's length.
    unsigned char head[10] = {};
    int64_t bytes = -1;
    if (FILE *gif = open_file(run_state.output_name.c_str(), "rb")) {
        bytes = fread(head, 1, sizeof head, gif) == sizeof head ? regular_file_size(gif) : -1;
        fclose(gif);
    }
    clear_progress();
    fprintf(stderr, "%s: %s, %u x %u pixels, %lld bytes\n", run_state.output_name.c_str(),
            what.c_str(), head[6] | head[7] << 8u, head[8] | head[9] << 8u,
            static_cast<long long>(bytes));
}

void clear_progress() {
    if (progress.shown == 0) return;
    fprintf(stderr, "\r%*s\r", static_cast<int>(progress.shown), "");
    progress.shown = 0;
}

void end_progress() {
    clear_progress();
}

int pictures_written() {
    return progress.written;
}
