#include "intervalviews.h"

namespace {

// The tick below a slot: the clock on the hour, else the minutes.
std::string tick(const IntervalRow& row, Grain grain) {
  std::string start = intervalstart(row);
  std::string clock = start.substr(start.size() - 5);
  if (grain == Grain::hour || row.minute % 60 == 0) return clock;
  return clock.substr(2);
}

}  // namespace

Chart intervalchart(const IntervalReport& report, Units units) {
  bool hours = report.grain == Grain::hour;
  Chart chart{hours ? "Hourly traffic per label" : "Five-minute traffic per label",
              hours ? "this hour, so far" : "these five minutes, so far",
              report.labels,
              {},
              report.totals,
              units};
  for (const IntervalRow& row : report.rows)
    chart.slots.push_back({tick(row, report.grain), intervalstart(row), row.recorded, row.running,
                           false, row.counts, {}});
  return chart;
}

std::string formatintervalsjson(const Figures& figures, const std::vector<FiveMinRecord>& snapshots,
                                Grain grain, LocalClock now, int count,
                                std::optional<std::chrono::sys_days> date,
                                const std::vector<std::string>& only, Problems& problems) {
  IntervalRange range = date ? dateintervals(*date, grain) : lastintervals(now, grain, count);
  return formatintervalsjson(
      buildintervals(figures, snapshots, grain, range, now, only, problems));
}
