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

// The history sums plus the running day (as runningday() gives it), per label.
LabelSums addday(LabelSums sums, const std::optional<DayRecord>& day);

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
