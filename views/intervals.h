#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dayitems.h"
#include "fiveminlines.h"
#include "reportdays.h"
#include "wide.h"

// Every good line of a five-minute file's text, by the format's rules; a line
// below an earlier line of its date (the totals only grow within a day) is
// named and skipped too.
std::vector<FiveMinRecord> parsesnapshots(std::string_view text, std::string_view file,
                                          Problems& problems);

// Hours, or five-minute intervals; the value is the interval's length in minutes.
enum class Grain { hour = 60, fiveminutes = 5 };

// Dates older than this many days keep only whole hours in the file, and
// older than the second are gone from it.
inline constexpr int kfiveminutedays = 2;
inline constexpr int kintervaldays = 62;
// The longest windows of the two views: what the file holds.
inline constexpr int kmaxhours = (kintervaldays + 1) * 24;
inline constexpr int kmaxfiveminutes = (kfiveminutedays + 1) * kminutesperday / 5;

// Minutes of wall-clock time counted from 1970-01-01 00:00, each date being
// its 24 hours 00:00 to 23:59.
using WallMinute = long long;

WallMinute wallminute(std::chrono::sys_days date, int minute);

// Consecutive intervals of a grain, the first starting at first.
struct IntervalRange {
  WallMinute first = 0;
  int count = 0;
};

// The last count intervals, ending with the one that holds now.
IntervalRange lastintervals(LocalClock now, Grain grain, int count);

// The intervals of one whole date.
IntervalRange dateintervals(std::chrono::sys_days date, Grain grain);

// One interval: per label the bytes counted in it, the difference of the
// day's running totals at its end and at its start (or at the date's first
// line, when that lies inside it). Without a figure at either end (wholly
// before the first line of its date, thinned or removed from the file, in
// the future) it has none: recorded is false.
struct IntervalRow {
  std::chrono::sys_days date;
  int minute = 0;  // its start, since the date's 00:00
  bool recorded = false;
  bool running = false;  // holds now: counted up to the running figures
  std::vector<std::optional<Sums>> counts;  // per label
};

// What the hour and five-minute views show: labels in column order, the
// intervals oldest first, and the totals per label of those with figures.
struct IntervalReport {
  Grain grain = Grain::hour;
  std::vector<std::string> labels;
  std::vector<IntervalRow> rows;
  std::vector<Sums> totals;
};

// The intervals of range from the five-minute file's lines, the history
// (each finished date's end) and the running day (its figures now). Labels
// as the day view's: the configured ones then others found, or only those
// in only (an unknown one is reported).
IntervalReport buildintervals(const Figures& figures, const std::vector<FiveMinRecord>& snapshots,
                              Grain grain, IntervalRange range, LocalClock now,
                              const std::vector<std::string>& only, Problems& problems);

// A date written YYYY-MM-DD that exists; nullopt for anything else.
std::optional<std::chrono::sys_days> parseisodate(std::string_view text);

// "2026-12-08 14:05": where an interval starts.
std::string intervalstart(const IntervalRow& row);
