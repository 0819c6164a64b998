#pragma once

constexpr int EXIT_ALL_CONVERTED = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_SOME_FAILED = 2; // at least one file argument failed

// Walks the arguments as the command line gives them; returns the exit status.
int run_quondel(int argc, char **argv);
void show_usage(int argc, char **argv);
bool is_interlace_switch(const char *argument);
bool is_compress_switch(const char *argument);
void report_status(const char *argument, int status);
