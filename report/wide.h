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
  if (value == 0) return "0";
  bool negative = value < 0;
  std::string digits;
  for (; value != 0; value /= 10) {
    int digit = static_cast<int>(value % 10);
    digits.insert(digits.begin(), static_cast<char>('0' + (negative ? -digit : digit)));
  }
  return negative ? "-" + digits : digits;
}
