#pragma once

#include "driver/switches.h"

#include <cstdio>

constexpr int EXIT_ALL_CONVERTED = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_SOME_FAILED = 2; // at least one file argument failed

// Walks the arguments as the command line gives them; returns the exit status.
int run_quondel(int argc, char **argv);
void show_usage(int argc, char **argv);
// After a usage error's own line: the usage, on standard error.
void show_usage_error(const char *program);
// The usage with every switch and kind of input, for --help.
void show_help(const char *program);
void report_status(const char *argument, int status);

// A configuration (.cnf), an archive, or a folder holding configurations: drawn, or listed
// with "-l". True when every picture was written, else each failure has had its line.
bool convert_doll_argument(FILE *input, const char *argument, const Switches &switches);
bool convert_archive_argument(FILE *input, const char *argument, const Switches &switches);
bool convert_folder_argument(const char *argument, const Switches &switches);
