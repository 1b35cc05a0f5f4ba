#pragma once
#include <chrono>
#include <vector>

#include "dayitems.h"
#include "totals.h"

// The sums per label of the history's lines dated in the calendar month of
// day, up to day itself: a line dated after it (a clock once set wrong wrote
// it) counts in no running month.
LabelSums monthsums(const std::vector<DayRecord>& history, std::chrono::sys_days day);
