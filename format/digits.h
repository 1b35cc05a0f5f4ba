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

// value padded with zeros to width characters, the sign counted, as "%0*d".
inline std::string zeropadded(int64_t value, int width) {
  char room[24];
  std::string_view digits = decimal(value < 0 ? -value : value, room);
  std::string text = value < 0 ? "-" : "";
  int pad = width - static_cast<int>(digits.size() + text.size());
  if (pad > 0) text.append(static_cast<size_t>(pad), '0');
  return text.append(digits);
}

// value with two decimals, rounded as "%.2f" rounds.
inline std::string_view twodecimals(double value, char (&room)[48]) {
  auto [end, error] = std::to_chars(room, room + sizeof room, value, std::chars_format::fixed, 2);
  if (error != std::errc()) return "nan";
  return {room, static_cast<size_t>(end - room)};
}
