#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "fiveminlines.h"
#include "problems.h"

// The five-minute file (its path: fiveminpath) gets a line appended at every
// five-minute boundary, so a reader may catch the last line in the middle of
// its append.

// The whole lines of text: a last line without its newline is still being
// written (or was torn by a power cut) and is never read as figures.
std::string_view wholelines(std::string_view text);

// The file's whole lines; nullopt when it is missing (no figures yet, no
// problem) or can't be read (a problem names it).
std::optional<std::string> readfiveminutefile(const std::string& path, Problems& problems);
