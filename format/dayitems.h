#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "problems.h"

// Bytes received and sent.
struct Counts {
  int64_t in = 0;
  int64_t out = 0;
};

// One "label in out" item of a today, day or history line.
struct Item {
  std::string label;
  Counts counts;
};

using Items = std::vector<Item>;

// The figures of one calendar day; line is where it came from (0 if unknown).
struct DayRecord {
  std::chrono::sys_days date;
  Items items;
  size_t line = 0;
};

// Kilobytes per second received and sent, as the rate file holds them.
struct Rate {
  double inkb = 0;
  double outkb = 0;
};

// "YYYY-MM-DD".
std::string formatdate(std::chrono::sys_days date);

// The words of text, split at spaces, tabs and carriage returns.
std::vector<std::string_view> splitwords(std::string_view text);

// The items of text. A word not followed by two numbers is skipped, and
// problems names the first word of each such run, at file and line.
Items parseitems(std::string_view text, std::string_view file, size_t line, Problems& problems);

// One dated day line ("[YYYY-MM-DD] items"); nullopt, with a problem, when it
// has no valid date stamp. Blank lines give nullopt without a problem.
std::optional<DayRecord> parsedayline(std::string_view text, std::string_view file, size_t line,
                                      Problems& problems);

// Every day line of a history; bad lines are reported and skipped, and a
// date that repeats an earlier line is reported (both are kept).
std::vector<DayRecord> parsehistory(std::string_view text, std::string_view file,
                                    Problems& problems);

// The persistent day file: its first non-blank line.
std::optional<DayRecord> parsedayfile(std::string_view text, std::string_view file,
                                      Problems& problems);

// The rate file's pairs of kilobyte figures, in interface order.
std::vector<Rate> parserates(std::string_view text, std::string_view file, Problems& problems);
