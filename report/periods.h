#pragma once
#include <string>
#include <vector>

#include "reportdays.h"

enum class Period { day, month, year };

// One calendar month or year of the month and year views.
struct PeriodRow {
  std::string name;       // "2026-03" or "2026"
  int recordeddays = 0;   // dates of it on record
  int calendardays = 0;
  bool running = false;   // holds today
  bool future = false;    // after today: shown, counted in no total
  std::vector<std::optional<Sums>> counts;    // per label; nullopt when absent
  std::vector<std::optional<Sums>> estimate;  // the running row's, per label; else empty
};

// The month or year view: a row per period, oldest first, then any periods
// of records dated after today, and the totals over the rows up to today.
struct PeriodReport {
  Period period = Period::month;
  std::vector<std::string> labels;
  std::vector<PeriodRow> rows;
  std::vector<Sums> totals;
};

// The day, month or year that holds date.
DayRange periodof(Period period, std::chrono::sys_days date);

// The traffic of a whole period from what it held so far: the days before
// today count whole, today by the share of its seconds that have passed.
widecount estimate(widecount sofar, DayRange period, Now now);
Sums estimate(const Sums& sofar, DayRange period, Now now);

// The last count months or years up to the running one (count 0: from the
// oldest on record), each label's sums, its days on record and the running
// period's estimate.
PeriodReport buildperiods(const Figures& figures, Period period, int count, Now now,
                          const std::vector<std::string>& only, Problems& problems);
