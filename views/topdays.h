#pragma once
#include <vector>

#include "reportdays.h"

// The days with the most traffic: largest first, ties by date.
struct TopReport {
  std::vector<std::string> labels;
  std::vector<ReportDay> days;
  std::vector<widecount> totals;  // in plus out over the labels, per day
};

// The count days of range (never past today) with the most traffic, in plus
// out over the shown labels.
TopReport buildtop(const Figures& figures, DayRange range, std::chrono::sys_days today, int count,
                   const std::vector<std::string>& only, Problems& problems);
