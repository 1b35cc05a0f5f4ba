#pragma once
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

// Number texts without the stdio machinery: decimal integers, zero-padded
// fields as "%0*d" writes them, and fixed two-decimal figures as "%.2f".

// The decimal text of value.
inline std::string_view decimal(int64_t value, char (&room)[24]) {
  auto [end, error] = std::to_chars(room, room + sizeof room, value);
  (void)error;
  return {room, static_cast<size_t>(end - room)};
}

// Room for any zero-padded number of up to 20 digits and its sign.
inline constexpr size_t kpaddedsize = 24;

// value padded with zeros to width characters (at most 20), the sign
// counted, as "%0*d" writes it; written into room, no allocation.
inline std::string_view zeropad(int64_t value, int width, char (&room)[kpaddedsize]) {
  char digitsroom[24];
  // The magnitude as unsigned, so the most negative value has one too.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  auto end = std::to_chars(digitsroom, digitsroom + sizeof digitsroom, magnitude).ptr;
  size_t digits = static_cast<size_t>(end - digitsroom), at = 0;
  if (value < 0) room[at++] = '-';
  for (int pad = width - static_cast<int>(digits + at); pad > 0 && at + digits < kpaddedsize; --pad)
    room[at++] = '0';
  for (size_t i = 0; i < digits; ++i) room[at++] = digitsroom[i];
  return {room, at};
}

// The same as a string.
inline std::string zeropadded(int64_t value, int width) {
  char room[kpaddedsize];
  return std::string(zeropad(value, width, room));
}

// Room for "YYYY-MM-DD" with any int fields: three signed numbers and two dashes.
inline constexpr size_t kdatesize = 3 * kpaddedsize;

// "YYYY-MM-DD" (year zero-padded to 4, month and day to 2): the one date
// writer behind the date stamps and the dates the views show.
inline std::string_view datetext(char (&room)[kdatesize], int year, int month, int day) {
  size_t at = 0;
  auto append = [&](std::string_view text) {
    for (char c : text) room[at++] = c;
  };
  char field[kpaddedsize];
  append(zeropad(year, 4, field));
  append("-");
  append(zeropad(month, 2, field));
  append("-");
  append(zeropad(day, 2, field));
  return {room, at};
}

// a + b, held at the 64-bit limits instead of wrapping: a day total or a sum
// of years that passed the largest count must not turn negative.
inline int64_t addsaturating(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? INT64_MAX : INT64_MIN;
}

// value with two decimals, rounded as "%.2f" rounds.
inline std::string_view twodecimals(double value, char (&room)[48]) {
  auto [end, error] = std::to_chars(room, room + sizeof room, value, std::chars_format::fixed, 2);
  if (error != std::errc()) return "nan";
  return {room, static_cast<size_t>(end - room)};
}
