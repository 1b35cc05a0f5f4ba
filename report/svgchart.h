#pragma once
#include <string>

#include "reportdays.h"

// A y axis from 0 to top in steps, labelled in one unit (B, kB, MB, GB).
struct Axis {
  double top = 0;   // bytes
  double step = 0;  // bytes
  double unit = 1;  // bytes per unit
  const char* unitname = "B";
  int decimals = 0;  // for tick labels
};

// Round steps (1, 2, 2.5 or 5 times a power of ten) that reach maxbytes in
// about four ticks.
Axis niceaxis(double maxbytes);

// "250 MB": a tick value in the axis unit.
std::string ticklabel(const Axis& axis, double bytes);

// An SVG bar chart of the report: a panel per label with a bar in and a bar
// out per day, y axis in human units, dates below, a legend on top; missing
// days are grey bands and today's bars are faded.
std::string formatsvg(const Report& report);
