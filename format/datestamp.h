#pragma once
#include <cstddef>
#include <ctime>

// True when both times name the same calendar day (year, month and day).
inline bool samedate(const tm& a, const tm& b) {
  return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

// Writes "[YYYY-MM-DD] " for a broken-down local time into buf (cap bytes,
// NUL included), cut at the capacity; returns the length written.
size_t formatdatestamp(char* buf, size_t cap, const tm& date);

inline constexpr size_t knoitems = static_cast<size_t>(-1);

// Reads the date stamp that opens line: 0, -2 for an empty line, -3 without a
// stamp. itemsstart receives the offset after the closing bracket, or knoitems
// when the bracket is missing.
int readdatestamp(const char* line, tm* date, size_t* itemsstart);
