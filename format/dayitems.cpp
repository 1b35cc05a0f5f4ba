#include "dayitems.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <map>

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
  return zeropadded(static_cast<int>(ymd.year()), 4) + "-" +
         zeropadded(static_cast<unsigned>(ymd.month()), 2) + "-" +
         zeropadded(static_cast<unsigned>(ymd.day()), 2);
}

std::vector<std::string_view> splitwords(std::string_view text) {
  std::vector<std::string_view> words;
  constexpr std::string_view separators = " \t\r";
  for (size_t start = text.find_first_not_of(separators); start != std::string_view::npos;) {
    size_t end = text.find_first_of(separators, start);
    words.push_back(text.substr(start, end - start));
    start = text.find_first_not_of(separators, end);
  }
  return words;
}

Items parseitems(std::string_view text, std::string_view file, size_t line, Problems& problems) {
  std::vector<std::string_view> words = splitwords(text);
  Items items;
  bool inbadrun = false;
  for (size_t i = 0; i < words.size();) {
    if (i + 2 < words.size() && isdecimal(words[i + 1]) && isdecimal(words[i + 2])) {
      items.push_back({std::string(words[i]), {parsecount(words[i + 1]), parsecount(words[i + 2])}});
      i += 3;
      inbadrun = false;
      continue;
    }
    // Skip one word at a time, so the items after a damaged one still count.
    if (!inbadrun)
      problems.push_back({std::string(file), line,
                          "label " + quoted(words[i]) + " is not followed by two numbers; skipped"});
    inbadrun = true;
    ++i;
  }
  return items;
}

std::optional<DayRecord> parsedayline(std::string_view text, std::string_view file, size_t line,
                                      Problems& problems) {
  if (isblankline(text)) return std::nullopt;
  std::string copy(text);  // the stamp reader wants a terminated line
  tm date{};
  size_t itemsstart = NOITEMS;
  auto reject = [&](const std::string& why) {
    problems.push_back({std::string(file), line, why + "; line skipped"});
    return std::nullopt;
  };
  if (readdatestamp(copy.c_str(), &date, &itemsstart) != 0 || itemsstart == NOITEMS)
    return reject("no date stamp [YYYY-MM-DD]");
  year_month_day ymd(year(date.tm_year + 1900), month(static_cast<unsigned>(date.tm_mon + 1)),
                     day(static_cast<unsigned>(date.tm_mday)));
  if (!ymd.ok()) return reject("no such date " + copy.substr(0, itemsstart));
  return DayRecord{std::chrono::sys_days(ymd),
                   parseitems(text.substr(itemsstart), file, line, problems), line};
}

std::vector<DayRecord> parsehistory(std::string_view text, std::string_view file,
                                    Problems& problems) {
  std::vector<DayRecord> records;
  std::map<std::chrono::sys_days, size_t> firstline;
  eachline(text, [&](std::string_view line, size_t number) {
    std::optional<DayRecord> record = parsedayline(line, file, number, problems);
    if (!record) return;
    auto [seen, isnew] = firstline.emplace(record->date, number);
    if (!isnew)
      problems.push_back({std::string(file), number,
                          formatdate(record->date) + " is also on line " +
                              std::to_string(seen->second) + "; the figures are added"});
    records.push_back(std::move(*record));
  });
  if (records.empty() && isblankline(text)) problems.push_back({std::string(file), 0, "empty"});
  return records;
}

std::optional<DayRecord> parsedayfile(std::string_view text, std::string_view file,
                                      Problems& problems) {
  std::optional<DayRecord> record;
  bool found = false;
  eachline(text, [&](std::string_view line, size_t number) {
    if (found || isblankline(line)) return;
    found = true;
    record = parsedayline(line, file, number, problems);
  });
  if (!found) problems.push_back({std::string(file), 0, "empty"});
  return record;
}

std::vector<Rate> parserates(std::string_view text, std::string_view file, Problems& problems) {
  std::vector<Rate> rates;
  std::vector<double> values;
  bool damaged = false;
  for (std::string_view word : splitwords(text)) {
    std::optional<double> value = parsekilobytes(word);
    if (!value) {
      problems.push_back({std::string(file), 1, quoted(word) + " is not a rate (a number, 0 or more); rates stop here"});
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
