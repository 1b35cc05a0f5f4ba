#include "units.h"

#include <strings.h>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kmaxpower = 4;  // TB, TiB

constexpr const char* ksinames[] = {"B", "kB", "MB", "GB", "TB", "PB"};
constexpr const char* kiecnames[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};

// The bytes a limit's unit stands for, or 0 for an unknown one.
widecount unitbytes(std::string_view unit) {
  if (unit.empty()) return 1;
  for (int power = 0; power <= 5; ++power) {
    bool si = unit.size() == std::string_view(ksinames[power]).size() &&
              strncasecmp(unit.data(), ksinames[power], unit.size()) == 0;
    bool iec = unit.size() == std::string_view(kiecnames[power]).size() &&
               strncasecmp(unit.data(), kiecnames[power], unit.size()) == 0;
    if (!si && !iec) continue;
    widecount bytes = 1;
    for (int i = 0; i < power; ++i) bytes *= si ? 1000 : 1024;
    return bytes;
  }
  return 0;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

}  // namespace

double unitsize(Units units, int power) {
  return std::pow(units == Units::iec ? 1024.0 : 1000.0, power);
}

const char* unitname(Units units, int power) {
  return units == Units::iec ? kiecnames[power] : ksinames[power];
}

std::string humanbytes(double bytes, Units units) {
  char text[64];
  double base = units == Units::iec ? 1024.0 : 1000.0;
  if (std::fabs(bytes) < base - 0.5) {
    snprintf(text, sizeof text, "%.0f B", bytes);
    return text;
  }
  double scaled = bytes;
  for (int power = 1; power <= kmaxpower; ++power) {
    scaled /= base;
    // Move up before rounding would print "1000.00" (or "1024.00").
    if (std::fabs(scaled) < base - 0.005 || power == kmaxpower) {
      snprintf(text, sizeof text, "%.2f %s", scaled, unitname(units, power));
      break;
    }
  }
  return text;
}

std::string humanbytes(widecount bytes, Units units) {
  return humanbytes(static_cast<double>(bytes), units);
}

std::optional<widecount> parselimit(std::string_view text, std::string& error) {
  text = trimmed(text);
  size_t digits = 0;
  while (digits < text.size() &&
         (std::isdigit(static_cast<unsigned char>(text[digits])) || text[digits] == '.'))
    ++digits;
  std::string_view number = text.substr(0, digits);
  widecount multiplier = unitbytes(trimmed(text.substr(digits)));
  size_t point = number.find('.');
  std::string_view whole = number.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? "" : number.substr(point + 1);
  if (whole.empty() || fraction.find('.') != std::string_view::npos ||
      (point != std::string_view::npos && fraction.empty())) {
    error = "a limit needs a number of bytes, e.g. 500GB, 1.5TB, 200GiB or 1000000";
    return std::nullopt;
  }
  if (multiplier == 0) {
    error = "unknown unit '" + std::string(trimmed(text.substr(digits))) +
            "' (B, kB, MB, GB, TB, PB, KiB, MiB, GiB, TiB, PiB)";
    return std::nullopt;
  }
  if (whole.size() > 20 || fraction.size() > 18) {
    error = "limit '" + std::string(text) + "' is too large or too precise";
    return std::nullopt;
  }
  widecount scale = 1, value = 0, part = 0;
  for (char c : whole) value = value * 10 + (c - '0');
  for (char c : fraction) part = part * 10 + (c - '0'), scale *= 10;
  return value * multiplier + part * multiplier / scale;
}
