#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "problems.h"

// Messages on standard error, "program: text", one line each. They quote
// files, paths and the start-up script's output, which may hold any bytes,
// so every one is made visible first: nothing reaches a terminal as a
// control sequence.

void printmessage(std::string_view program, std::string_view text);

void printproblems(std::string_view program, const Problems& problems);

// What the start-up script said on its standard error, a line each, as it
// said it (without the program's name).
void printscripterrors(const std::vector<std::string>& lines);
