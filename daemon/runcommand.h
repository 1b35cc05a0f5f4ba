#pragma once
#include "ifrecord.h"

// Runs command through the shell and captures its standard output into dst
// (CAPTURESIZE bytes) as one NUL-terminated text. 0, or -1 when the command
// can't be started or its output doesn't fit. Exit status and standard error
// are ignored.
int runcommand(const char* command, char* dst);
