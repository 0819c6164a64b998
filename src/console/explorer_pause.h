#pragma once

// Explorer runs a program that files are dropped onto (or that is double-clicked) with a
// console window of its own, which closes the moment the program ends, taking every message
// with it. Such a run ends with a line saying what was written and waits for Enter.
#include <string>

// Whether the run waits for Enter: only when its console belongs to it alone. `console_processes`
// is the number of processes attached to the console: a prompt's (Command Prompt, PowerShell)
// counts the shell too, and 0 means no console (not Windows, or none attached).
bool pause_at_end(unsigned console_processes);

// The line that ends such a run: how many pictures were written, and where (the first one's
// name, as written).
std::string closing_line(unsigned pictures, const std::string &first_picture);

// At the end of a run: the closing line and the wait, when the console is the run's alone.
void pause_if_console_is_own();
