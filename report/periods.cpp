#include "periods.h"

#include <cstdio>

using namespace std::chrono;

namespace {

constexpr widecount ksecondsperday = 86400;

std::string periodname(Period period, sys_days date) {
  year_month_day ymd(date);
  char text[16];
  if (period == Period::year) snprintf(text, sizeof text, "%04d", static_cast<int>(ymd.year()));
  else snprintf(text, sizeof text, "%04d-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()));
  return text;
}

// The first day of the period count - 1 periods before the one holding date.
sys_days stepback(Period period, sys_days date, int count) {
  year_month_day ymd(date);
  if (period == Period::year) return sys_days((ymd.year() - years(count - 1)) / January / 1);
  return sys_days((ymd.year() / ymd.month() - months(count - 1)) / 1);
}

PeriodRow emptyrow(Period period, DayRange span, size_t labels) {
  PeriodRow row;
  row.name = periodname(period, span.first);
  row.calendardays = static_cast<int>((span.last - span.first).count() + 1);
  row.counts.resize(labels);
  return row;
}

void adddays(PeriodRow& row, const ReportDay& day) {
  ++row.recordeddays;
  for (size_t i = 0; i < day.counts.size(); ++i) {
    if (!day.counts[i]) continue;
    if (!row.counts[i]) row.counts[i] = Sums{};
    add(*row.counts[i], *day.counts[i]);
  }
}

// Rows for the periods of days (sorted), only those that hold one.
std::vector<PeriodRow> foldperiods(Period period, const std::vector<ReportDay>& days, size_t labels) {
  std::vector<PeriodRow> rows;
  DayRange span{};
  for (const ReportDay& day : days) {
    if (rows.empty() || day.date > span.last) {
      span = periodof(period, day.date);
      rows.push_back(emptyrow(period, span, labels));
    }
    adddays(rows.back(), day);
  }
  return rows;
}

}  // namespace

DayRange periodof(Period period, sys_days date) {
  year_month_day ymd(date);
  if (period == Period::day) return {date, date};
  if (period == Period::year)
    return {sys_days(ymd.year() / January / 1), sys_days(ymd.year() / December / 31)};
  return {sys_days(ymd.year() / ymd.month() / 1), sys_days(ymd.year() / ymd.month() / last)};
}

widecount estimate(widecount sofar, DayRange period, Now now) {
  widecount whole = ((period.last - period.first).count() + 1) * ksecondsperday;
  widecount elapsed = (now.date - period.first).count() * ksecondsperday + now.seconds;
  if (elapsed <= 0) elapsed = 1;
  if (elapsed >= whole) return sofar;
  return (sofar * whole + elapsed / 2) / elapsed;
}

Sums estimate(const Sums& sofar, DayRange period, Now now) {
  return {estimate(sofar.in, period, now), estimate(sofar.out, period, now)};
}

PeriodReport buildperiods(const Figures& figures, Period period, int count, Now now,
                          const std::vector<std::string>& only, Problems& problems) {
  PeriodReport report;
  report.period = period;
  sys_days first = count > 0 ? stepback(period, now.date, count)
                             : periodof(period, oldestdate(figures, now.date)).first;
  report.labels = columnlabels(figures, {first, sys_days::max()}, only, problems);
  size_t width = report.labels.size();
  std::vector<ReportDay> recorded = folddates(figures, report.labels, {first, now.date});
  auto next = recorded.begin();
  for (DayRange span = periodof(period, first); span.first <= now.date;
       span = periodof(period, span.last + days(1))) {
    PeriodRow row = emptyrow(period, span, width);
    for (; next != recorded.end() && next->date <= span.last; ++next) adddays(row, *next);
    row.running = now.date <= span.last;
    if (row.running)
      for (const std::optional<Sums>& sums : row.counts)
        row.estimate.push_back(sums ? std::optional<Sums>(estimate(*sums, span, now)) : std::nullopt);
    report.rows.push_back(std::move(row));
  }
  report.totals.assign(width, Sums{});
  for (const PeriodRow& row : report.rows)
    for (size_t i = 0; i < width; ++i)
      if (row.counts[i]) add(report.totals[i], *row.counts[i]);
  std::vector<ReportDay> later = folddates(figures, report.labels, {now.date + days(1), sys_days::max()});
  for (PeriodRow& row : foldperiods(period, later, width)) {
    row.future = true;
    report.rows.push_back(std::move(row));
  }
  return report;
}
