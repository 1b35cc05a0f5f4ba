#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "dayitems.h"
#include "localclock.h"
#include "wide.h"

// Everything the views are built from, as read from the daemon's files.
struct Figures {
  std::vector<std::string> labels;  // configured, in interface order
  std::vector<DayRecord> history;
  std::optional<DayRecord> today;  // the running day
};

// A range of calendar days, both ends included.
struct DayRange {
  std::chrono::sys_days first;
  std::chrono::sys_days last;
};

// One calendar day of the report.
struct ReportDay {
  std::chrono::sys_days date;
  bool recorded = false;                    // false for a day missing from the history
  bool today = false;                       // still being counted
  bool future = false;                      // dated after today: shown, counted in no total
  std::vector<std::optional<Sums>> counts;  // per label; nullopt when absent that day
};

// What the day views show: labels in column order, every calendar day of the
// range (oldest first) and the totals per label over the range; apart from
// them, the days on record dated after today, which a clock once set wrong
// wrote and which no total counts.
struct Report {
  std::vector<std::string> labels;
  std::vector<ReportDay> days;
  std::vector<Sums> totals;
  std::vector<ReportDay> future;
};

// The problem that names a record dated after today.
Problem futureproblem(std::chrono::sys_days date, std::chrono::sys_days today,
                      const std::string& file, size_t line);

// Names every line of the history dated after today: a clock once set
// wrong wrote it.
void futureproblems(const std::vector<DayRecord>& history, std::chrono::sys_days today,
                    const std::string& historyfile, Problems& problems);

// The last daycount days up to today.
DayRange lastdays(std::chrono::sys_days today, int daycount);

// The oldest date on record that is not after today, or today.
std::chrono::sys_days oldestdate(const Figures& figures, std::chrono::sys_days today);

// The columns: the configured labels, then others found in the records dated
// in range, or only the labels in only (an unknown one is reported).
std::vector<std::string> columnlabels(const Figures& figures, DayRange range,
                                      const std::vector<std::string>& only, Problems& problems);

// The records dated in range, folded per date (records of one date added
// together) into the label columns, oldest first.
std::vector<ReportDay> folddates(const Figures& figures, const std::vector<std::string>& labels,
                                 DayRange range);

// Every calendar day of range (never past today) with the totals over the
// range, and apart from them the days after today on record.
Report buildreport(const Figures& figures, DayRange range, std::chrono::sys_days today,
                   const std::vector<std::string>& only, Problems& problems);

// The history's records and the running day (flagged true), in file order.
std::vector<std::pair<const DayRecord*, bool>> allrecords(const Figures& figures);

// The sum of the counts present in a day, or nullopt when none is.
std::optional<Sums> daysum(const std::vector<std::optional<Sums>>& counts);
