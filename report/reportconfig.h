#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "problems.h"

inline constexpr const char kdefaultconfig[] = "/etc/byteloom/byteloom.conf";

// What the report needs of the configuration file: the labels in interface
// order (the rate file's order) and the four file paths.
struct ReportConfig {
  std::vector<std::string> labels;
  std::string ratefile = "/run/byteloom/rate";
  std::string todayfile = "/run/byteloom/today";
  std::string dayfile = "/var/lib/byteloom/day";
  std::string historyfile = "/var/lib/byteloom/history";
};

// Reads the configuration text; a bad line is reported and skipped, and the
// rest still applies.
ReportConfig parseconfig(std::string_view text, std::string_view file, Problems& problems);
