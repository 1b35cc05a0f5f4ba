#include "daylines.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "tokens.h"

namespace {

constexpr size_t kstampsize = 40;      // "[" + three ints of up to 11 characters + "--] "
constexpr size_t knumbersize = 21;     // a signed 64-bit number and its space
constexpr size_t kratessize = 2 * 22;  // two "%.2f " of at most 21 characters each

// Appends formatted text, cutting at the capacity; the text stays terminated.
class LineBuilder {
 public:
  LineBuilder(char* buf, size_t cap) : buf_(buf), cap_(cap) {
    if (cap_ > 0) buf_[0] = '\0';
  }

  __attribute__((format(printf, 2, 3))) void add(const char* format, ...) {
    if (len_ + 1 >= cap_) return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buf_ + len_, cap_ - len_, format, args);
    va_end(args);
    if (n > 0) len_ = std::min(len_ + static_cast<size_t>(n), cap_ - 1);
  }

  size_t length() const { return len_; }

 private:
  char* buf_;
  size_t cap_;
  size_t len_ = 0;
};

void addstamp(LineBuilder& line, const tm& date) {
  line.add("[%04d-%02d-%02d] ", date.tm_year + 1900, date.tm_mon + 1, date.tm_mday);
}

void addtotals(LineBuilder& line, std::span<const IfInfo> table) {
  for (const IfInfo& record : table)
    line.add("%s %lld %lld ", record.label, static_cast<long long>(record.day_in),
             static_cast<long long>(record.day_out));
}

}  // namespace

size_t formatrates(char* buf, size_t cap, std::span<const IfInfo> table) {
  LineBuilder line(buf, cap);
  for (const IfInfo& record : table)
    line.add("%.2f %.2f ", static_cast<double>(record.cur_in) / 1000.0,
             static_cast<double>(record.cur_out) / 1000.0);
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
  while (!items.empty() && (items.back() == '\n' || items.back() == '\r')) items.remove_suffix(1);
  Tokens words(items, ' ');
  for (std::string_view label, in, out; words.next(label);) {
    if (!words.next(in) || !words.next(out) || !isdecimal(in) || !isdecimal(out)) return;
    for (IfInfo& record : table) {
      if (label != record.label) continue;
      record.day_in = parsecount(in);
      record.day_out = parsecount(out);
    }
  }
}

std::string_view lastline(std::string_view text) {
  size_t end = text.find_last_not_of('\n');
  if (end == std::string_view::npos) return {};
  size_t start = text.rfind('\n', end);
  start = start == std::string_view::npos ? 0 : start + 1;
  return text.substr(start, end + 1 - start);
}
