#pragma once

// Outcome of converting one input file. Only the driver turns these into text.
constexpr int STATUS_OK = 0;           // converted, or a palette loaded
constexpr int STATUS_SHORT_HEADER = 1; // fewer than 32 header bytes
constexpr int STATUS_NOT_CEL = 2;      // not a KiSS cel, or an unsupported depth
constexpr int STATUS_NO_MEMORY = 3;    // output not creatable, or no pixel buffer
constexpr int STATUS_SAME_FILE = 4;    // the output would overwrite the input
constexpr int STATUS_WRITE_ERROR = 5;  // the output could not be written completely
constexpr int STATUS_READ_ERROR = 6;   // the input could not be read completely
