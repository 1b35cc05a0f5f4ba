#pragma once
#include <string>

#include "dayitems.h"

// Sums of 64-bit counts: a line may hold counts up to the largest 64-bit
// value, and years of them must add up exactly, so totals are 128 bits wide.
__extension__ typedef __int128 widecount;

// Bytes received and sent, summed.
struct Sums {
  widecount in = 0;
  widecount out = 0;
};

inline void add(Sums& sum, const Counts& more) {
  sum.in += more.in;
  sum.out += more.out;
}

inline void add(Sums& sum, const Sums& more) {
  sum.in += more.in;
  sum.out += more.out;
}

// The exact decimal text of a wide count.
inline std::string widetext(widecount value) {
  char digits[48];
  char* at = digits + sizeof digits;
  bool negative = value < 0;
  do {
    int digit = static_cast<int>(value % 10);
    *--at = static_cast<char>('0' + (negative ? -digit : digit));
    value /= 10;
  } while (value != 0);
  if (negative) *--at = '-';
  return std::string(at, static_cast<size_t>(digits + sizeof digits - at));
}
