#include "totals.h"

#include <algorithm>
#include <cstdint>

namespace {

// Saturating: a history line may hold counts up to the largest 64-bit value,
// and a sum past it must not wrap (nor be undefined).
int64_t addsaturating(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? INT64_MAX : INT64_MIN;
}

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

std::optional<Items> wholeitems(std::string_view text, std::string_view file, Problems& problems) {
  size_t end = text.find_last_of(" \t\r\n");
  if (end == std::string_view::npos) return std::nullopt;
  Problems scratch;
  bool torn = end + 1 < text.size();
  Items items = parseitems(text.substr(0, end + 1), file, 1, torn ? scratch : problems);
  if (items.empty()) return std::nullopt;
  return items;
}

std::optional<Items> countedday(const std::optional<Items>& todayitems, bool todaystale,
                                const std::optional<DayRecord>& dayfile,
                                std::optional<std::chrono::sys_days> newesthistory) {
  if (dayfile && newesthistory && dayfile->date <= *newesthistory) return std::nullopt;
  if (todayitems && !(todaystale && dayfile)) return todayitems;
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
