#include "topdays.h"

#include <algorithm>
#include <numeric>

namespace {

widecount traffic(const ReportDay& day) {
  std::optional<Sums> sum = daysum(day.counts);
  return sum ? sum->in + sum->out : 0;
}

}  // namespace

TopReport buildtop(const Figures& figures, DayRange range, std::chrono::sys_days today, int count,
                   const std::vector<std::string>& only, Problems& problems) {
  TopReport report;
  range.last = std::min(range.last, today);
  report.labels = columnlabels(figures, range, only, problems);
  std::vector<ReportDay> days = folddates(figures, report.labels, range);
  // A day without figures for any shown label has no traffic to rank.
  std::erase_if(days, [](const ReportDay& day) { return !daysum(day.counts); });
  std::vector<widecount> totals;
  for (const ReportDay& day : days) totals.push_back(traffic(day));
  std::vector<size_t> order(days.size());
  std::iota(order.begin(), order.end(), size_t{0});
  // days are in date order, so a stable sort keeps ties oldest first
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return totals[a] > totals[b]; });
  order.resize(std::min(order.size(), static_cast<size_t>(std::max(count, 0))));
  for (size_t i : order) {
    report.days.push_back(std::move(days[i]));
    report.totals.push_back(totals[i]);
  }
  return report;
}
