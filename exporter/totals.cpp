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

LabelSums addday(LabelSums sums, const std::optional<DayRecord>& day) {
  if (day)
    for (const Item& item : day->items) add(sums[item.label], item.counts);
  return sums;
}

const LabelSums& MonotoneTotals::publish(const LabelSums& sums) {
  bool raised = false;
  for (const auto& [label, counts] : sums) {
    auto [at, added] = published_.try_emplace(label);
    Counts& shown = at->second;
    raised |= added || counts.in > shown.in || counts.out > shown.out;
    shown.in = std::max(shown.in, counts.in);
    shown.out = std::max(shown.out, counts.out);
  }
  if (raised) ++version_;
  return published_;
}
