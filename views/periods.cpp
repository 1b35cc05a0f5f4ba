#include "periods.h"

#include <algorithm>

#include "digits.h"

using namespace std::chrono;

namespace {

constexpr widecount ksecondsperday = 86400;

std::string periodname(Period period, sys_days date) {
  year_month_day ymd(date);
  std::string name = zeropadded(static_cast<int>(ymd.year()), 4);
  if (period == Period::year) return name;
  return name + "-" + zeropadded(static_cast<unsigned>(ymd.month()), 2);
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

}  // namespace

DayRange periodof(Period period, sys_days date) {
  year_month_day ymd(date);
  if (period == Period::day) return {date, date};
  if (period == Period::year)
    return {sys_days(ymd.year() / January / 1), sys_days(ymd.year() / December / 31)};
  return {sys_days(ymd.year() / ymd.month() / 1), sys_days(ymd.year() / ymd.month() / last)};
}

widecount estimate(widecount sofar, DayRange period, LocalClock now) {
  widecount whole = ((period.last - period.first).count() + 1) * ksecondsperday;
  widecount elapsed = (now.date - period.first).count() * ksecondsperday + now.seconds;
  if (elapsed <= 0) elapsed = 1;
  if (elapsed >= whole) return sofar;
  return (sofar * whole + elapsed / 2) / elapsed;
}

Sums estimate(const Sums& sofar, DayRange period, LocalClock now) {
  return {estimate(sofar.in, period, now), estimate(sofar.out, period, now)};
}

PeriodFolder::PeriodFolder(Period period, int count, LocalClock now,
                           std::vector<std::string> configured, std::vector<std::string> only)
    : period_(period),
      now_(now),
      first_(count > 0 ? stepback(period, now.date, count) : sys_days::min()),
      columns_(only.empty() ? configured : only),
      fixedcolumns_(!only.empty()),
      configured_(std::move(configured)),
      met_(columns_.size(), false) {}

PeriodFolder::Slot& PeriodFolder::slotof(sys_days date) {
  sys_days start = periodof(period_, date).first;
  // Lines come in date order: the newest slot is the likely one.
  if (!slots_.empty() && slots_.rbegin()->first == start) return slots_.rbegin()->second;
  return slots_[start];
}

std::optional<size_t> PeriodFolder::columnof(std::string_view label, size_t guess) {
  if (guess < columns_.size() && columns_[guess] == label) return guess;
  for (size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i] == label) return i;
  if (fixedcolumns_) return std::nullopt;
  columns_.emplace_back(label);
  met_.push_back(false);
  return columns_.size() - 1;
}

// A label asked for that is neither configured nor on record, as columnlabels names it.
void PeriodFolder::namemissing(Problems& problems) const {
  if (!fixedcolumns_) return;
  for (size_t i = 0; i < columns_.size(); ++i)
    if (!met_[i] &&
        std::find(configured_.begin(), configured_.end(), columns_[i]) == configured_.end())
      problems.push_back({"--label", 0, "no figures for label '" + columns_[i] + "'"});
}

PeriodRow PeriodFolder::row(DayRange span, Slot* slot) const {
  PeriodRow row = emptyrow(period_, span, columns_.size());
  if (!slot) return row;
  std::sort(slot->dates.begin(), slot->dates.end());
  row.recordeddays =
      static_cast<int>(std::unique(slot->dates.begin(), slot->dates.end()) - slot->dates.begin());
  std::copy(slot->counts.begin(), slot->counts.end(), row.counts.begin());
  return row;
}

PeriodReport PeriodFolder::finish(Problems& problems) {
  PeriodReport report;
  report.period = period_;
  sys_days first = first_;
  if (first == sys_days::min())
    first = slots_.empty() ? now_.date : std::min(slots_.begin()->first, now_.date);
  DayRange span = periodof(period_, first);
  for (; span.first <= now_.date; span = periodof(period_, span.last + days(1))) {
    auto slot = slots_.find(span.first);
    report.rows.push_back(row(span, slot == slots_.end() ? nullptr : &slot->second));
  }
  PeriodRow& current = report.rows.back();
  current.running = true;
  DayRange running = periodof(period_, now_.date);
  for (const std::optional<Sums>& sums : current.counts)
    current.estimate.push_back(sums ? std::optional<Sums>(estimate(*sums, running, now_))
                                    : std::nullopt);
  report.totals.assign(columns_.size(), Sums{});
  for (const PeriodRow& row : report.rows)
    for (size_t i = 0; i < columns_.size(); ++i)
      if (row.counts[i]) ::add(report.totals[i], *row.counts[i]);
  for (auto& [start, slot] : future_) {
    report.rows.push_back(row(periodof(period_, start), &slot));
    report.rows.back().future = true;
  }
  namemissing(problems);
  report.labels = columns_;
  return report;
}

PeriodReport buildperiods(const Figures& figures, Period period, int count, LocalClock now,
                          const std::vector<std::string>& only, Problems& problems) {
  PeriodFolder folder(period, count, now, figures.labels, only);
  for (const auto& [record, running] : allrecords(figures))
    folder.addday(record->date, record->items);
  return folder.finish(problems);
}
