#pragma once
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dayitems.h"

// Per label, the sum of every history line's items.
using LabelSums = std::map<std::string, Counts>;

// The sums of a history's lines per label.
LabelSums historysums(const std::vector<DayRecord>& history);

// The running day's items that count toward the totals. The running day is
// dated by the persistent day file; when the history already holds that date
// the daemon is between its writes of a day change (the today file may still
// hold the finished day), so nothing counts until the day file names the new
// day. Without today items (none, or a stale today file) the day file's
// items stand in.
std::optional<Items> countedday(const std::optional<Items>& todayitems,
                                const std::optional<DayRecord>& dayfile,
                                std::optional<std::chrono::sys_days> newesthistory);

// The history sums plus the counted running day, per label.
LabelSums addday(LabelSums sums, const std::optional<Items>& day);

// Totals that never go down while the process runs: a label keeps the
// highest value published, whatever a read between two of the daemon's
// writes shows, and a label once published stays.
class MonotoneTotals {
 public:
  // Raises the published totals to sums where higher; returns them all.
  const LabelSums& publish(const LabelSums& sums);

  // Counts the publications that raised or added a total.
  uint64_t version() const { return version_; }

 private:
  LabelSums published_;
  uint64_t version_ = 0;
};
