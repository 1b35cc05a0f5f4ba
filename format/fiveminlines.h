#pragma once
#include <chrono>
#include <compare>
#include <cstddef>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dayitems.h"
#include "ifrecord.h"
#include "problems.h"

// The five-minute file lies beside the history: one line per snapshot of the
// day's running totals, "[YYYY-MM-DD HH:MM] label in out ... \n", items as in
// a history line. A line's figures are the bytes counted since its date's
// start, so an interval is the difference of two lines of one date, a missing
// line only merges two intervals, and a day's last interval is its history
// line minus its last line.

inline constexpr int kminutesperday = 24 * 60;

// The five-minute file's path: the history file's with ".5min" added.
inline std::string fiveminpath(std::string_view historypath) {
  return std::string(historypath) + ".5min";
}

// A minute of local time: a calendar date and the minute of that day.
struct MinuteStamp {
  std::chrono::sys_days date;
  int minute = 0;  // 0 to 1439

  friend bool operator==(const MinuteStamp&, const MinuteStamp&) = default;
  friend auto operator<=>(const MinuteStamp& a, const MinuteStamp& b) {
    if (a.date != b.date) return a.date <=> b.date;
    return a.minute <=> b.minute;
  }
};

// The minute that a broken-down local time falls in (its seconds dropped).
MinuteStamp minuteof(const tm& local);

// "YYYY-MM-DD HH:MM".
std::string formatminutestamp(const MinuteStamp& stamp);

// A buffer size that holds any five-minute line of this table, newline and
// terminator included, whatever its counts.
size_t fiveminbuffersize(std::span<const IfInfo> table);

// "[YYYY-MM-DD HH:MM] ", per record "label day_in day_out ", and a newline,
// into buf (cap bytes, NUL included); returns the length. Never writes past
// cap and allocates nothing.
size_t formatfiveminline(char* buf, size_t cap, const MinuteStamp& stamp,
                         std::span<const IfInfo> table);

// The stamp "[YYYY-MM-DD HH:MM]" that opens line and the offset after it;
// nullopt when the line doesn't open with a valid one.
std::optional<std::pair<MinuteStamp, size_t>> readminutestamp(std::string_view line);

// One five-minute line as read.
struct FiveMinRecord {
  MinuteStamp stamp;
  Items items;
  size_t line = 0;  // where it came from, 0 if unknown
};

// A line as read while scanning; its items are valid only during the visit.
struct FiveMinLineView {
  MinuteStamp stamp;
  size_t line = 0;
  const std::vector<ItemView>& items;
};

// Reads one line (a newline may end it). A line is bad, and named as such in
// problems, when it has no valid stamp or any item isn't a label and two
// counts: its figures are not used at all, since a line without one of its
// labels would misstate that label's interval, while a line left out only
// merges two intervals. Blank lines give nullopt without a problem.
std::optional<FiveMinRecord> parsefiveminline(std::string_view text, std::string_view file,
                                              size_t line, Problems& problems);

// Visits every good line of a five-minute file, in one pass, in file order.
// Bad lines are reported and skipped. A line whose stamp is not after the
// previous good line of its date is reported and skipped, as the daemon never
// writes one. A last line without its newline is an append that a power cut
// tore: it is reported as torn and never read as figures.
void scanfivemin(std::string_view text, std::string_view file, Problems& problems,
                 const std::function<void(const FiveMinLineView&)>& visit);

// scanfivemin's lines as records that own their labels.
std::vector<FiveMinRecord> parsefivemin(std::string_view text, std::string_view file,
                                        Problems& problems);
