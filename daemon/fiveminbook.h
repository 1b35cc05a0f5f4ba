#pragma once
#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "fiveminlines.h"

// The five-minute file's decisions, from times and text alone. last is the
// stamp of the file's last line, if any: a line is only ever written after
// the previous line of its date, so a stop and a start in one minute, a
// clock stepped back or an hour that a change from summer time repeats write
// nothing until the clock passes that line.

// The line a cycle writes after its minute write of the day file: the latest
// five-minute boundary (minutes divisible by 5) crossed since the previous
// cycle's time previous, when the clock cur is on the accounting day day.
std::optional<MinuteStamp> chooseboundarystamp(const tm& day, const tm& previous, const tm& cur,
                                               const std::optional<MinuteStamp>& last);

// The line of a change of day to newday: its 00:00, counted from its start.
std::optional<MinuteStamp> choosedaystartstamp(const tm& newday,
                                               const std::optional<MinuteStamp>& last);

// The line at start, after the day is recovered: the minute of the start.
std::optional<MinuteStamp> choosestartstamp(const tm& day, const tm& clock,
                                            const std::optional<MinuteStamp>& last);

// The line of a clean stop at clock: the minute after it, when the figures
// are complete. None in a day's last minute: the history line closes the day.
std::optional<MinuteStamp> choosestopstamp(const tm& day, const tm& clock,
                                           const std::optional<MinuteStamp>& last);

// Dates more than this many days before the new day keep one line an hour.
inline constexpr int kfullfivemindays = 2;
// Dates more than this many days before the new day are dropped.
inline constexpr int kfivemindays = 62;

struct ThinnedFiveMin {
  std::string text;
  size_t dropped = 0;     // lines left out
  size_t unreadable = 0;  // lines without a stamp, kept as they were
};

// The file's text after the daily thinning for the day today: the lines of
// dates more than kfullfivemindays before it keep, for each whole hour, the
// last line stamped at or before that hour, so every hour keeps its figure;
// those of dates more than kfivemindays before it go. Other lines, and lines
// without a stamp (nothing says their date), stay as they are.
ThinnedFiveMin thinfivemin(std::string_view text, std::chrono::sys_days today);
