#include "fiveminlines.h"

#include <charconv>
#include <cstring>
#include <map>

#include "daylines.h"
#include "digits.h"
#include "tokens.h"

namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::year;
using std::chrono::year_month_day;

// "[" + "YYYY-MM-DD" of any year a calendar date can hold + " HH:MM] ".
constexpr size_t kstampsize = 1 + kdatesize + 8;

// "YYYY-MM-DD HH:MM" into room, no allocation.
size_t stamptext(char* room, const MinuteStamp& stamp) {
  year_month_day ymd(stamp.date);
  char date[kdatesize];
  std::string_view text = datetext(date, static_cast<int>(ymd.year()),
                                   static_cast<int>(static_cast<unsigned>(ymd.month())),
                                   static_cast<int>(static_cast<unsigned>(ymd.day())));
  memcpy(room, text.data(), text.size());
  size_t at = text.size();
  char field[kpaddedsize];
  room[at++] = ' ';
  for (char c : zeropad(stamp.minute / 60, 2, field)) room[at++] = c;
  room[at++] = ':';
  for (char c : zeropad(stamp.minute % 60, 2, field)) room[at++] = c;
  return at;
}

// Exactly width ASCII digits at text[at]; at moves past them.
bool fixeddigits(std::string_view text, size_t& at, size_t width, int& value) {
  if (at + width > text.size()) return false;
  int number = 0;
  for (size_t i = 0; i < width; ++i) {
    char c = text[at + i];
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  at += width;
  value = number;
  return true;
}

bool literal(std::string_view text, size_t& at, char expected) {
  if (at >= text.size() || text[at] != expected) return false;
  ++at;
  return true;
}

std::string_view withoutlineend(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// A whole decimal count that fits 64 bits.
bool readcount(std::string_view word, int64_t& value) {
  auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  return error == std::errc() && end == word.data() + word.size();
}

// The items of text, three words at a time; false (why filled) at the first
// word that doesn't start an item of a label and two counts.
bool readitems(std::string_view text, std::vector<ItemView>& items, std::string& why) {
  items.clear();
  Tokens words(withoutlineend(text), ' ');
  for (std::string_view label, in, out; words.next(label);) {
    int64_t inbytes = 0, outbytes = 0;
    if (!words.next(in) || !words.next(out) || !readcount(in, inbytes) ||
        !readcount(out, outbytes)) {
      why = "label " + quoted(label) + " is not followed by two counts";
      return false;
    }
    items.push_back({label, {inbytes, outbytes}});
  }
  return true;
}

// The stamp and items of a line that isn't blank; false, with why, for a bad one.
bool readline(std::string_view text, MinuteStamp& stamp, std::vector<ItemView>& items,
              std::string& why) {
  auto opened = readminutestamp(text);
  if (!opened) {
    why = "no valid stamp [YYYY-MM-DD HH:MM]";
    return false;
  }
  stamp = opened->first;
  return readitems(text.substr(opened->second), items, why);
}

Items ownitems(const std::vector<ItemView>& views) {
  Items items;
  items.reserve(views.size());
  for (const ItemView& view : views) items.push_back({std::string(view.label), view.counts});
  return items;
}

void reportbad(Problems& problems, std::string_view file, size_t line, const std::string& why) {
  problems.push_back({std::string(file), line, "bad line: " + why + "; line skipped"});
}

}  // namespace

MinuteStamp minuteof(const tm& local) {
  year_month_day ymd(year(local.tm_year + 1900), month(static_cast<unsigned>(local.tm_mon + 1)),
                     day(static_cast<unsigned>(local.tm_mday)));
  return {std::chrono::sys_days(ymd), local.tm_hour * 60 + local.tm_min};
}

std::string formatminutestamp(const MinuteStamp& stamp) {
  char room[kstampsize];
  return std::string(room, stamptext(room, stamp));
}

size_t fiveminbuffersize(std::span<const IfInfo> table) {
  return linebuffersize(table) + kstampsize;
}

size_t formatfiveminline(char* buf, size_t cap, const MinuteStamp& stamp,
                         std::span<const IfInfo> table) {
  char stamproom[kstampsize];
  stamproom[0] = '[';
  size_t stamplen = 1 + stamptext(stamproom + 1, stamp);
  stamproom[stamplen++] = ']';
  stamproom[stamplen++] = ' ';
  // A line is whole or not written at all: a cut one must not pass for whole.
  // Items that fill their room to the last byte may have been cut.
  auto nothing = [&] {
    if (cap > 0) buf[0] = '\0';
    return size_t{0};
  };
  if (cap < stamplen + 3) return nothing();
  memcpy(buf, stamproom, stamplen);
  size_t itemsroom = cap - stamplen - 1;  // keeps a byte for the newline
  size_t itemslen = formattotals(buf + stamplen, itemsroom, table);
  if (!table.empty() && itemslen + 1 >= itemsroom) return nothing();
  size_t len = stamplen + itemslen;
  buf[len++] = '\n';
  buf[len] = '\0';
  return len;
}

std::optional<std::pair<MinuteStamp, size_t>> readminutestamp(std::string_view line) {
  size_t at = 0;
  int y = 0, m = 0, d = 0, hour = 0, minute = 0;
  if (!literal(line, at, '[') || !fixeddigits(line, at, 4, y) || !literal(line, at, '-') ||
      !fixeddigits(line, at, 2, m) || !literal(line, at, '-') || !fixeddigits(line, at, 2, d) ||
      !literal(line, at, ' ') || !fixeddigits(line, at, 2, hour) || !literal(line, at, ':') ||
      !fixeddigits(line, at, 2, minute) || !literal(line, at, ']'))
    return std::nullopt;
  year_month_day ymd(year(y), month(static_cast<unsigned>(m)), day(static_cast<unsigned>(d)));
  if (!ymd.ok() || hour > 23 || minute > 59) return std::nullopt;
  return std::make_pair(MinuteStamp{std::chrono::sys_days(ymd), hour * 60 + minute}, at);
}

std::optional<FiveMinRecord> parsefiveminline(std::string_view text, std::string_view file,
                                              size_t line, Problems& problems) {
  if (isblankline(text)) return std::nullopt;
  MinuteStamp stamp;
  std::vector<ItemView> items;
  std::string why;
  if (!readline(text, stamp, items, why)) {
    reportbad(problems, file, line, why);
    return std::nullopt;
  }
  return FiveMinRecord{stamp, ownitems(items), line};
}

void scanfivemin(std::string_view text, std::string_view file, Problems& problems,
                 const std::function<void(const FiveMinLineView&)>& visit) {
  std::map<std::chrono::sys_days, int> lastminute;  // of each date's last good line
  std::vector<ItemView> items;
  std::string why;
  for (size_t number = 1; !text.empty(); ++number) {
    size_t end = text.find('\n');
    if (end == std::string_view::npos) {
      if (!isblankline(text))
        problems.push_back(
            {std::string(file), number, "torn line (an append cut short, no newline); not read"});
      break;
    }
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (isblankline(line)) continue;
    MinuteStamp stamp;
    if (!readline(line, stamp, items, why)) {
      reportbad(problems, file, number, why);
      continue;
    }
    auto [last, fresh] = lastminute.try_emplace(stamp.date, stamp.minute);
    if (!fresh && stamp.minute <= last->second) {
      problems.push_back({std::string(file), number,
                          formatminutestamp(stamp) + " is not after the previous line of " +
                              formatdate(stamp.date) + "; line skipped"});
      continue;
    }
    last->second = stamp.minute;
    visit(FiveMinLineView{stamp, number, items});
  }
}

std::vector<FiveMinRecord> parsefivemin(std::string_view text, std::string_view file,
                                        Problems& problems) {
  std::vector<FiveMinRecord> records;
  scanfivemin(text, file, problems, [&](const FiveMinLineView& view) {
    records.push_back({view.stamp, ownitems(view.items), view.line});
  });
  return records;
}
