#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "dayitems.h"

// One calendar day of the report.
struct ReportDay {
  std::chrono::sys_days date;
  bool recorded = false;  // false for a day missing from the history
  bool today = false;     // still being counted
  std::vector<std::optional<Counts>> counts;  // per label; nullopt when absent that day
};

// What every view shows: labels in column order, every calendar day of the
// range (oldest first) and the totals per label over those days.
struct Report {
  std::vector<std::string> labels;
  std::vector<ReportDay> days;
  std::vector<Counts> totals;
};

// The running day: the today file's items, dated by the persistent day file
// unless the history already holds that date (then it is localtoday). Without
// a readable today file the persistent day file's own items stand in.
std::optional<DayRecord> runningday(const std::optional<Items>& todayitems,
                                    const std::optional<DayRecord>& dayfile,
                                    const std::vector<DayRecord>& history,
                                    std::chrono::sys_days localtoday);

// The last daycount calendar days up to the newest record. Columns are the
// configured labels, then others found in the range, or only the labels in
// only (an unknown one is reported). Records of one date are added together.
Report buildreport(const std::vector<std::string>& configlabels,
                   const std::vector<DayRecord>& history, const std::optional<DayRecord>& today,
                   int daycount, const std::vector<std::string>& only, Problems& problems);

// The sum of the counts present in a day, or nullopt when none is.
std::optional<Counts> daysum(const ReportDay& day);
