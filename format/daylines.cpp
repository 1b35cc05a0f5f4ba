#include "daylines.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "digits.h"
#include "linebuilder.h"
#include "tokens.h"

namespace {

constexpr size_t kstampsize = 40;      // "[" + three ints of up to 11 characters + "--] "
constexpr size_t knumbersize = 21;     // a signed 64-bit number and its space
constexpr size_t kratessize = 2 * 22;  // two "%.2f " of at most 21 characters each

void addstamp(LineBuilder& line, const tm& date) {
  char room[kdatesize];
  line.add("[");
  line.add(datetext(room, date.tm_year + 1900, date.tm_mon + 1, date.tm_mday));
  line.add("] ");
}

void addtotals(LineBuilder& line, std::span<const IfInfo> table) {
  for (const IfInfo& record : table) {
    line.add(record.label);
    line.add(" ");
    line.addnumber(record.day_in);
    line.add(" ");
    line.addnumber(record.day_out);
    line.add(" ");
  }
}

}  // namespace

size_t formatdatestamp(char* buf, size_t cap, const tm& date) {
  LineBuilder line(buf, cap);
  addstamp(line, date);
  return line.length();
}

size_t formatrates(char* buf, size_t cap, std::span<const IfInfo> table) {
  LineBuilder line(buf, cap);
  for (const IfInfo& record : table) {
    line.addkilobytes(record.cur_in);
    line.add(" ");
    line.addkilobytes(record.cur_out);
    line.add(" ");
  }
  return line.length();
}

size_t formattotals(char* buf, size_t cap, std::span<const IfInfo> table) {
  LineBuilder line(buf, cap);
  addtotals(line, table);
  return line.length();
}

size_t formatdayline(char* buf, size_t cap, const tm& date, std::span<const IfInfo> table,
                     bool newline) {
  LineBuilder line(buf, cap);
  addstamp(line, date);
  addtotals(line, table);
  if (newline) line.add("\n");
  return line.length();
}

size_t linebuffersize(std::span<const IfInfo> table) {
  size_t size = kstampsize + 2;  // newline and terminator
  for (const IfInfo& record : table)
    size += std::max(strlen(record.label) + 1 + 2 * knumbersize, kratessize);
  return size;
}

void restoredaytotals(std::string_view items, std::span<IfInfo> table) {
  // Records that share a label are paired with that label's items in order,
  // so a restart gives each its own totals instead of doubling the last.
  std::vector<bool> restored(table.size(), false);
  Tokens words = itemwords(items);
  for (std::string_view label, in, out; words.next(label);) {
    if (!words.next(in) || !words.next(out) || !isdecimal(in) || !isdecimal(out)) return;
    for (size_t i = 0; i < table.size(); ++i) {
      if (restored[i] || label != table[i].label) continue;
      table[i].day_in = parsecount(in);
      table[i].day_out = parsecount(out);
      restored[i] = true;
      break;
    }
  }
}

NumberedLine firstfilledline(std::string_view text) {
  for (size_t number = 1; !text.empty(); ++number) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!isblankline(line)) return {line, number};
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return {};
}

std::string_view lastline(std::string_view text) {
  size_t end = text.find_last_not_of('\n');
  if (end == std::string_view::npos) return {};
  size_t start = text.rfind('\n', end);
  start = start == std::string_view::npos ? 0 : start + 1;
  return text.substr(start, end + 1 - start);
}

size_t completelength(std::string_view text) {
  size_t newline = text.rfind('\n');
  return newline == std::string_view::npos ? 0 : newline + 1;
}
