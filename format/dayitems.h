#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
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

// An item as read, its label still inside the text it was read from.
struct ItemView {
  std::string_view label;
  Counts counts;
};

// A day line as read; its items are valid only during the visit.
struct DayLineView {
  std::chrono::sys_days date;
  size_t line = 0;
  const std::vector<ItemView>& items;
};

// Kilobytes per second received and sent, as the rate file holds them.
struct Rate {
  double inkb = 0;
  double outkb = 0;
};

// "YYYY-MM-DD".
std::string formatdate(std::chrono::sys_days date);

// The words of text, split at spaces only (the daemon's rule), without the
// newlines and carriage returns that end it.
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

// Reads a history in one pass and calls visit for each valid day line, with
// the same problems as parsehistory, without keeping any line: a view can
// fold years of lines without holding them.
void scanhistory(std::string_view text, std::string_view file, Problems& problems,
                 const std::function<void(const DayLineView&)>& visit);

// The line as a record that holds its own copy of the labels.
DayRecord torecord(const DayLineView& line);

// The same for a history that arrives in pieces of whole lines (read a block
// at a time): the line numbers go on from piece to piece.
class HistoryScanner {
 public:
  HistoryScanner(std::string_view file, Problems& problems,
                 std::function<void(const DayLineView&)> visit);

  // Reads the lines of piece; only the last piece may end without a newline.
  void feed(std::string_view piece);

  // Names an empty history; call once, after the last piece.
  void finish();

 private:
  void readline(std::string_view line, size_t number);
  // The first line of date so far: number itself when the date is new.
  size_t firstline(std::chrono::sys_days date, size_t number);

  std::string file_;
  Problems& problems_;
  std::function<void(const DayLineView&)> visit_;
  size_t lines_ = 0;
  bool any_ = false;   // a valid day line was read
  bool blank_ = true;  // nothing but blanks so far
  std::vector<ItemView> items_;
  std::vector<std::pair<std::chrono::sys_days, size_t>> firstlines_;  // sorted by date
};

// The persistent day file: its first non-blank line.
std::optional<DayRecord> parsedayfile(std::string_view text, std::string_view file,
                                      Problems& problems);

// The rate file's pairs of kilobyte figures, in interface order.
std::vector<Rate> parserates(std::string_view text, std::string_view file, Problems& problems);
