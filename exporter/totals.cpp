#include "totals.h"

#include <algorithm>
#include <cstdint>

#include "digits.h"

namespace {

void add(Counts& sum, const Counts& more) {
  sum.in = addsaturating(sum.in, more.in);
  sum.out = addsaturating(sum.out, more.out);
}

}  // namespace

LabelSums historysums(const std::vector<DayRecord>& history) {
  LabelSums sums;
  for (const DayRecord& record : history)
    for (const Item& item : record.items) add(sums[item.label], item.counts);
  return sums;
}

std::optional<Items> countedday(const std::optional<Items>& todayitems,
                                const std::optional<DayRecord>& dayfile,
                                std::optional<std::chrono::sys_days> newesthistory) {
  if (dayfile && newesthistory && dayfile->date <= *newesthistory) return std::nullopt;
  if (todayitems) return todayitems;
  if (dayfile) return dayfile->items;
  return std::nullopt;
}

LabelSums addday(LabelSums sums, const std::optional<Items>& day) {
  if (day)
    for (const Item& item : *day) add(sums[item.label], item.counts);
  return sums;
}

const LabelSums& MonotoneTotals::publish(const LabelSums& sums) {
  for (const auto& [label, counts] : sums) {
    Counts& shown = published_[label];
    shown.in = std::max(shown.in, counts.in);
    shown.out = std::max(shown.out, counts.out);
  }
  return published_;
}
