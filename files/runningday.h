#pragma once
#include <chrono>
#include <optional>
#include <vector>

#include "dayitems.h"

// Which day the running figures belong to, the same for every reader of the
// files.
//
// The today file's items belong to the persistent day file's date. At a
// change of day the daemon appends the finished day to the history before it
// rewrites the today file and the day file, so for a moment the history
// already holds the day file's date while the today file still holds that
// day's figures: they are the finished day's, counted in the history, and the
// new day has counted nothing yet.

// The newest date of the history's lines up to today, which says which days
// the daemon has archived; a line dated after today (written by a clock once
// set wrong) says nothing of them.
class NewestDate {
 public:
  explicit NewestDate(std::chrono::sys_days today) : today_(today) {}
  void see(std::chrono::sys_days date);
  std::optional<std::chrono::sys_days> value() const { return newest_; }

 private:
  std::chrono::sys_days today_;
  std::optional<std::chrono::sys_days> newest_;
};

// The same over a whole history; nullopt when it has no line up to today.
std::optional<std::chrono::sys_days> newestdate(const std::vector<DayRecord>& history,
                                                std::chrono::sys_days today);

// The running day: the today file's items, dated by the persistent day file
// (by localtoday without one). While the history already holds the day
// file's date, the running day is localtoday with the today file's labels at
// zero. Without a readable today file (missing, empty or stale) the day
// file's own record stands in, unless the history already holds it.
std::optional<DayRecord> runningday(const std::optional<Items>& todayitems,
                                    const std::optional<DayRecord>& dayfile,
                                    std::optional<std::chrono::sys_days> newesthistory,
                                    std::chrono::sys_days localtoday);
