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

// The items of a today file read while the daemon may be rewriting it in
// place. Every item the daemon writes ends with a space, so text that doesn't
// is torn: its tail is dropped without a problem. nullopt if no item is left.
std::optional<Items> wholeitems(std::string_view text, std::string_view file, Problems& problems);

// The running day's items that count toward the totals. The running day is
// dated by the persistent day file; when the history already holds that date
// the daemon is between its writes of a day change (the today file may still
// hold the finished day), so nothing counts until the day file names the new
// day. The today file is stale when it is older than the day file by more
// than a cycle (a daemon that restarted after a day change and has not yet
// rewritten it); then, or without today items, the day file's items stand in.
std::optional<Items> countedday(const std::optional<Items>& todayitems, bool todaystale,
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

 private:
  LabelSums published_;
};
