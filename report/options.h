#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scriptviews.h"
#include "intervals.h"
#include "setup.h"
#include "units.h"
#include "views.h"

// What is shown, and how.
enum class View { days, months, years, top, live, oneline, alert, hours, fiveminutes };
enum class Output { table, json, svg };

struct Options {
  View view = View::days;
  Output output = Output::table;
  std::string svgfile;  // "-" for standard output
  int days = 0;         // 0: the view's default
  int periods = 0;      // months or years shown; 0: the view's default
  int top = 10;
  int intervals = 0;                          // hours or five-minute intervals; 0: the default
  std::optional<std::chrono::sys_days> date;  // the hours of that date
  int count = 0;  // live refreshes; 0 until interrupted
  std::optional<std::chrono::sys_days> since, until;
  Units units = Units::si;
  AlertRule alert;  // limit, period, direction, estimate (labels: below)
  std::vector<std::string> labels;
  SetupRequest setup;  // the start-up script, its configuration, the four paths
  bool help = false;
};

inline constexpr int kmaxyears = 100;
inline constexpr int kmaxtop = 100000;

// Reads the command line (without the program name); nullopt with a reason
// in error when it can't be used.
std::optional<Options> parseoptions(const std::vector<std::string_view>& args, std::string& error);

// The days shown when --days is not given: 30 for the chart, else 7.
int effectivedays(const Options& options);

// The intervals shown when no count is given: 24 hours, 12 five-minute intervals.
int effectiveintervals(const Options& options);

// The range of the day view, up to today: --since and --until, else the last
// days; for the top view without either, the whole history (from oldest).
DayRange dayrange(const Options& options, std::chrono::sys_days today,
                  std::chrono::sys_days oldest);

// The usage text.
std::string reportusage();
