#pragma once
#include <string>

#include "periods.h"
#include "reportdays.h"
#include "units.h"

// A y axis from 0 to top in steps, labelled in one unit (B, kB, MB, ...).
struct Axis {
  double top = 0;   // bytes
  double step = 0;  // bytes
  double unit = 1;  // bytes per unit
  const char* unitname = "B";
  int decimals = 0;  // for tick labels
};

// Round steps (1, 2, 2.5 or 5 times a power of ten) that reach maxbytes in
// about four ticks.
Axis niceaxis(double maxbytes, Units units = Units::si);

// "250 MB": a tick value in the axis unit.
std::string ticklabel(const Axis& axis, double bytes);

// One bar slot of a chart: a day, a month or a year.
struct ChartSlot {
  std::string tick;  // below the axis: "Oct 31", "2026-03"
  std::string name;  // in tips: "2026-10-31", "2026-03"
  bool recorded = false;
  bool running = false;
  bool future = false;
  std::vector<std::optional<Sums>> counts;    // per label
  std::vector<std::optional<Sums>> estimate;  // per label, running slot only
};

// What a chart shows: a panel per label, a slot per day, month or year.
struct Chart {
  std::string title;
  std::string runningname;  // legend of the running slot: "today, so far"
  std::vector<std::string> labels;
  std::vector<ChartSlot> slots;
  std::vector<Sums> totals;
  Units units = Units::si;
};

// The day view's chart and the month or year view's.
Chart daychart(const Report& report, Units units = Units::si);
Chart periodchart(const PeriodReport& report, Units units = Units::si);

// An SVG bar chart: a panel per label with a bar in and a bar out per slot,
// y axis in human units, slot names below, a legend on top; slots without a
// record are grey bands, the running slot's bars are faded with its
// estimate outlined, and slots dated after today are red.
std::string formatsvg(const Chart& chart);

// The day view as a chart.
std::string formatsvg(const Report& report, Units units = Units::si);
