#include "units.h"

#include <cmath>
#include <cstdio>

std::string humanbytes(double bytes) {
  static constexpr const char* kunits[] = {"kB", "MB", "GB"};
  char text[48];
  if (std::fabs(bytes) < 999.5) {
    snprintf(text, sizeof text, "%.0f B", bytes);
    return text;
  }
  double scaled = bytes;
  for (const char* unit : kunits) {
    scaled /= 1000.0;
    // Move up before rounding would print "1000.00".
    if (std::fabs(scaled) < 999.995 || unit == kunits[2]) {
      snprintf(text, sizeof text, "%.2f %s", scaled, unit);
      break;
    }
  }
  return text;
}
