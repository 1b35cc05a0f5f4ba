#include "dayitems.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

#include "daylines.h"
#include "digits.h"
#include "tokens.h"

namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::year;
using std::chrono::year_month_day;

// Calls visit(line, number) for every line of text, numbered from 1.
template <typename Visit>
void eachline(std::string_view text, Visit visit) {
  size_t number = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    visit(line, ++number);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

// A rate as the daemon writes it: a finite, non-negative decimal. NaN,
// infinity and negative figures can't be a rate, so they are malformed.
std::optional<double> parsekilobytes(std::string_view word) {
  double value = 0;
  auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
  if (!std::isfinite(value) || std::signbit(value)) return std::nullopt;
  return value;
}

}  // namespace

std::string formatdate(std::chrono::sys_days date) {
  year_month_day ymd(date);
  char room[kdatesize];
  return std::string(datetext(room, static_cast<int>(ymd.year()),
                              static_cast<int>(static_cast<unsigned>(ymd.month())),
                              static_cast<int>(static_cast<unsigned>(ymd.day()))));
}

std::vector<std::string_view> splitwords(std::string_view text) {
  std::vector<std::string_view> words;
  Tokens pieces = itemwords(text);
  for (std::string_view word; pieces.next(word);) words.push_back(word);
  return words;
}

namespace {

// A count when word is a whole decimal number: isdecimal and parsecount in
// one pass, for the tens of thousands of counts of a history. Up to 18
// digits can't overflow; longer ones go the careful way.
bool readcount(std::string_view word, int64_t& value) {
  size_t i = !word.empty() && (word[0] == '+' || word[0] == '-') ? 1 : 0;
  if (i == word.size() || word.size() - i > 18) {
    if (!isdecimal(word)) return false;
    value = parsecount(word);
    return true;
  }
  int64_t sum = 0;
  for (; i < word.size(); ++i) {
    unsigned digit = static_cast<unsigned char>(word[i]) - unsigned{'0'};
    if (digit > 9) return false;
    sum = sum * 10 + digit;
  }
  value = word[0] == '-' ? -sum : sum;
  return true;
}

// The items of text as views into it, in items (emptied first). The words
// are read as they come, three at a time: a label and its two counts.
void parseitemviews(std::string_view text, std::string_view file, size_t line, Problems& problems,
                    std::vector<ItemView>& items) {
  items.clear();
  Tokens words = itemwords(text);
  std::string_view label = words.next(), first = words.next(), second = words.next();
  bool inbadrun = false;
  while (!label.empty()) {
    int64_t in = 0, out = 0;
    if (!second.empty() && readcount(first, in) && readcount(second, out)) {
      items.push_back({label, {in, out}});
      label = words.next(), first = words.next(), second = words.next();
      inbadrun = false;
      continue;
    }
    // Skip one word at a time, so the items after a damaged one still count.
    if (!inbadrun)
      problems.push_back({std::string(file), line,
                          "label " + quoted(label) + " is not followed by two numbers; skipped"});
    inbadrun = true;
    label = first, first = second, second = words.next();
  }
}

Items ownitems(const std::vector<ItemView>& views) {
  Items items;
  items.reserve(views.size());
  for (const ItemView& view : views) items.push_back({std::string(view.label), view.counts});
  return items;
}

// The date that opens a day line and where its items start; nullopt, with a
// problem, without a valid stamp.
std::optional<std::pair<std::chrono::sys_days, size_t>> readstamp(std::string_view text,
                                                                  std::string_view file,
                                                                  size_t line, Problems& problems) {
  // The stamp reader wants a terminated line; it never reads past the first
  // ']', so only that much is copied.
  size_t bracket = text.find(']');
  std::string copy(text.substr(0, bracket == std::string_view::npos ? text.size() : bracket + 1));
  tm date{};
  size_t itemsstart = knoitems;
  auto reject = [&](const std::string& why) {
    problems.push_back({std::string(file), line, why + "; line skipped"});
    return std::nullopt;
  };
  if (readdatestamp(copy.c_str(), &date, &itemsstart) != 0 || itemsstart == knoitems)
    return reject("no date stamp [YYYY-MM-DD]");
  year_month_day ymd(year(date.tm_year + 1900), month(static_cast<unsigned>(date.tm_mon + 1)),
                     day(static_cast<unsigned>(date.tm_mday)));
  if (!ymd.ok()) return reject("no such date " + copy.substr(0, itemsstart));
  return std::make_pair(std::chrono::sys_days(ymd), itemsstart);
}

}  // namespace

Items parseitems(std::string_view text, std::string_view file, size_t line, Problems& problems) {
  std::vector<ItemView> views;
  parseitemviews(text, file, line, problems, views);
  return ownitems(views);
}

std::optional<DayRecord> parsedayline(std::string_view text, std::string_view file, size_t line,
                                      Problems& problems) {
  if (isblankline(text)) return std::nullopt;
  auto stamp = readstamp(text, file, line, problems);
  if (!stamp) return std::nullopt;
  return DayRecord{stamp->first, parseitems(text.substr(stamp->second), file, line, problems),
                   line};
}

HistoryScanner::HistoryScanner(std::string_view file, Problems& problems,
                               std::function<void(const DayLineView&)> visit)
    : file_(file), problems_(problems), visit_(std::move(visit)) {}

void HistoryScanner::feed(std::string_view piece) {
  size_t first = lines_;
  eachline(piece, [&](std::string_view line, size_t number) {
    lines_ = first + number;
    readline(line, lines_);
  });
  blank_ = blank_ && isblankline(piece);
}

void HistoryScanner::finish() {
  if (!any_ && blank_) problems_.push_back({file_, 0, "empty"});
}

void HistoryScanner::readline(std::string_view line, size_t number) {
  if (isblankline(line)) return;
  auto stamp = readstamp(line, file_, number, problems_);
  if (!stamp) return;
  parseitemviews(line.substr(stamp->second), file_, number, problems_, items_);
  if (size_t seen = firstline(stamp->first, number); seen != number)
    problems_.push_back({file_, number,
                         formatdate(stamp->first) + " is also on line " + std::to_string(seen) +
                             "; the figures are added"});
  any_ = true;
  visit_(DayLineView{stamp->first, number, items_});
}

// A history is written in date order, so a new date nearly always goes at the end.
size_t HistoryScanner::firstline(std::chrono::sys_days date, size_t number) {
  if (firstlines_.empty() || firstlines_.back().first < date) {
    firstlines_.emplace_back(date, number);
    return number;
  }
  auto at =
      std::lower_bound(firstlines_.begin(), firstlines_.end(), std::make_pair(date, size_t{0}));
  if (at != firstlines_.end() && at->first == date) return at->second;
  firstlines_.emplace(at, date, number);
  return number;
}

DayRecord torecord(const DayLineView& line) {
  return {line.date, ownitems(line.items), line.line};
}

void scanhistory(std::string_view text, std::string_view file, Problems& problems,
                 const std::function<void(const DayLineView&)>& visit) {
  HistoryScanner scanner(file, problems, visit);
  scanner.feed(text);
  scanner.finish();
}

std::vector<DayRecord> parsehistory(std::string_view text, std::string_view file,
                                    Problems& problems) {
  std::vector<DayRecord> records;
  records.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  scanhistory(text, file, problems,
              [&](const DayLineView& view) { records.push_back(torecord(view)); });
  return records;
}

std::optional<DayRecord> parsedayfile(std::string_view text, std::string_view file,
                                      Problems& problems) {
  NumberedLine line = firstfilledline(text);
  if (line.number == 0) {
    problems.push_back({std::string(file), 0, "empty"});
    return std::nullopt;
  }
  return parsedayline(line.text, file, line.number, problems);
}

std::vector<Rate> parserates(std::string_view text, std::string_view file, Problems& problems) {
  std::vector<Rate> rates;
  std::vector<double> values;
  bool damaged = false;
  for (std::string_view word : splitwords(text)) {
    std::optional<double> value = parsekilobytes(word);
    if (!value) {
      problems.push_back({std::string(file), 1,
                          quoted(word) + " is not a rate (a number, 0 or more); rates stop here"});
      damaged = true;
      break;
    }
    values.push_back(*value);
  }
  if (values.empty() && !damaged) problems.push_back({std::string(file), 0, "empty"});
  if (values.size() % 2 != 0)
    problems.push_back({std::string(file), 1, "an odd count of figures; the last one is ignored"});
  for (size_t i = 0; i + 1 < values.size(); i += 2) rates.push_back({values[i], values[i + 1]});
  return rates;
}
