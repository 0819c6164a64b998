#pragma once

// The temporary file an output is being written to, so that a signal can remove it.
// Set and cleared with the signals blocked; read only by remove_pending_output.
void set_pending_output(const char *temporary_path);
void clear_pending_output();
// Async-signal-safe.
void remove_pending_output();

// Blocks (or restores) the signals that end a run, around creating and naming a
// temporary file, so none arrives between the two.
void block_ending_signals(bool block);
