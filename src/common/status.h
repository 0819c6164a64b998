#pragma once

// Outcome of converting one input file. Only the driver turns these into text.
constexpr int STATUS_OK = 0;           // converted, or a palette loaded
constexpr int STATUS_SHORT_HEADER = 1; // fewer than 32 header bytes
constexpr int STATUS_NOT_CEL = 2;      // not a KiSS cel, or an unsupported depth
constexpr int STATUS_NO_MEMORY = 3;    // output not creatable, or no pixel buffer
constexpr int STATUS_SAME_FILE = 4;    // the output would overwrite the input or a file it reads
constexpr int STATUS_WRITE_ERROR = 5;  // the output could not be written completely
constexpr int STATUS_READ_ERROR = 6;   // the input could not be read completely
// A doll configuration (".cnf") and the files it names.
constexpr int STATUS_NOT_DOLL = 7;            // control bytes outside comments, or over 64 MiB
constexpr int STATUS_NO_CEL_LINES = 8;        // nothing to draw
constexpr int STATUS_PLAYFIELD_SIZE = 9;      // a side above 16384 or below 1
constexpr int STATUS_PALETTE_NOT_LISTED = 10; // a cel line's palette number has no line
constexpr int STATUS_DOLL_FILE_MISSING = 11;  // a palette or cel file is not in the folder
constexpr int STATUS_NOT_DOLL_CEL = 12;       // a cel line's file is no 4-, 8- or 32-bit cel
constexpr int STATUS_NOT_DOLL_PALETTE = 13;   // a palette line's file is no palette
constexpr int STATUS_DOLL_TOO_LARGE = 14;     // more cel lines or start-up actions than allowed
// Archives (LZH, ZIP), image cels and sets. A failure about a file inside the archive or the
// doll names it, as above.
constexpr int STATUS_ARCHIVE_DAMAGED = 16;      // headers or directory unreadable, truncated
constexpr int STATUS_UNKNOWN_METHOD = 17;       // a needed file is packed in a method not read
constexpr int STATUS_ENTRY_DAMAGED = 18;        // its CRC or size does not match its data
constexpr int STATUS_UNSAFE_NAME = 19;          // an absolute path or ".." inside the archive
constexpr int STATUS_TOO_LARGE = 20;            // beyond the documented memory limits
constexpr int STATUS_NO_CNF_INSIDE = 21;        // an archive without any ".cnf"
constexpr int STATUS_NO_SUCH_SET = 22;          // "-s N" for a set the doll does not define
constexpr int STATUS_NO_ARCHIVE_SUPPORT = 23;   // built without the format libraries
constexpr int STATUS_NO_IMAGE_CEL_SUPPORT = 24; // the same, for a cel line's image file
constexpr int STATUS_OUTPUT_TAKEN = 25;         // an earlier argument of the run wrote that output
