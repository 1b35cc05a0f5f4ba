#pragma once
#include <cstddef>

// The capture buffer's size; a capture holds at most CAPTURESIZE - 2 characters.
inline constexpr size_t CAPTURESIZE = 16384;

// Runs command through the shell and captures its standard output into dst
// (CAPTURESIZE bytes) as one NUL-terminated text. 0, or -1 when the command
// can't be started or its output doesn't fit. Exit status and standard error
// are ignored.
int runcommand(const char* command, char* dst);
