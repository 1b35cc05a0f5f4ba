#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "problems.h"

// The five-minute file: beside the history, its path with ".5min" added. The
// daemon appends a line of the day's running totals at every five-minute
// boundary, so a power cut can leave the last line torn.
std::string fiveminutepath(const std::string& historyfile);

// The whole lines of text: a last line without its newline was torn while
// being written and is never read as figures.
std::string_view wholelines(std::string_view text);

// The file's whole lines; nullopt when it is missing (no figures yet, no
// problem) or can't be read (a problem names it).
std::optional<std::string> readfiveminutefile(const std::string& path, Problems& problems);
