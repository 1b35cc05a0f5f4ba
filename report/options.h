#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class Mode { table, json, svg, live };

struct Options {
  Mode mode = Mode::table;
  bool json = false;          // with live: one JSON line per refresh
  std::string svgfile;        // "-" for standard output
  int days = 0;               // 0: the mode's default
  int count = 0;              // live refreshes; 0 until interrupted
  std::vector<std::string> labels;
  std::optional<std::string> config;         // run the start-up script with BYTELOOM_CONF
  std::optional<std::string> startupscript;  // instead of the one beside byteloom
  std::optional<std::string> ratefile, todayfile, dayfile, historyfile;
  bool help = false;
};

inline constexpr int kmaxdays = 3660;

// Reads the command line (without the program name); nullopt with a reason
// in error when it can't be used.
std::optional<Options> parseoptions(const std::vector<std::string_view>& args, std::string& error);

// The days shown when --days is not given: 30 for the chart, else 7.
int effectivedays(const Options& options);

extern const char kusage[];
