#include "convert/pending_output.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

namespace {

// Owned here; a handler only ever reads it.
char *volatile pending_path = nullptr;

} // namespace

void set_pending_output(const char *temporary_path) {
    pending_path = strdup(temporary_path);
}

void clear_pending_output() {
    char *path = pending_path;
    pending_path = nullptr;
    free(path);
}

void remove_pending_output() {
    if (pending_path != nullptr) unlink(pending_path);
}

void block_ending_signals(bool block) {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, signal_number);
    sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &signals, nullptr);
}
