#include "monthsums.h"

#include "digits.h"

using namespace std::chrono;

LabelSums monthsums(const std::vector<DayRecord>& history, sys_days day) {
  year_month_day ymd(day);
  sys_days first(ymd.year() / ymd.month() / 1);
  LabelSums sums;
  for (const DayRecord& record : history) {
    if (record.date < first || record.date > day) continue;
    for (const Item& item : record.items) {
      Counts& sum = sums[item.label];
      sum.in = addsaturating(sum.in, item.counts.in);
      sum.out = addsaturating(sum.out, item.counts.out);
    }
  }
  return sums;
}
