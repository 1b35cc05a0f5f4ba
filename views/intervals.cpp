#include "intervals.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace {

using std::chrono::days;
using std::chrono::sys_days;

// True when a label of later holds less than in earlier: not a running
// total of the same day.
bool below(const Items& later, const Items& earlier) {
  for (const Item& item : later)
    for (const Item& before : earlier)
      if (item.label == before.label &&
          (item.counts.in < before.counts.in || item.counts.out < before.counts.out))
        return true;
  return false;
}

// The figures of items in the label columns; a label given twice adds up.
std::vector<std::optional<Sums>> columns(const Items& items,
                                         const std::vector<std::string>& labels) {
  std::vector<std::optional<Sums>> counts(labels.size());
  for (const Item& item : items) {
    auto column = std::find(labels.begin(), labels.end(), item.label);
    if (column == labels.end()) continue;
    std::optional<Sums>& sums = counts[static_cast<size_t>(column - labels.begin())];
    if (!sums) sums = Sums{};
    add(*sums, item.counts);
  }
  return counts;
}

// The bytes between two running totals, per label; a label missing at either
// end, or lower at the end (never a negative figure), has none.
std::vector<std::optional<Sums>> difference(const std::vector<std::optional<Sums>>& end,
                                            const std::vector<std::optional<Sums>>& start) {
  std::vector<std::optional<Sums>> counts(end.size());
  for (size_t i = 0; i < end.size(); ++i) {
    if (!end[i] || !start[i] || end[i]->in < start[i]->in || end[i]->out < start[i]->out)
      continue;
    counts[i] = Sums{end[i]->in - start[i]->in, end[i]->out - start[i]->out};
  }
  return counts;
}

// The running totals of each date at any moment, as the lines, the history
// and the running day tell them.
class DayTotals {
 public:
  DayTotals(const Figures& figures, const std::vector<FiveMinRecord>& snapshots, LocalClock now)
      : now_(now) {
    // The format keeps only lines later than the one before of their date.
    for (const FiveMinRecord& snapshot : snapshots)
      lines_[snapshot.stamp.date].push_back(&snapshot);
    for (const DayRecord& record : figures.history) ends_[record.date] = &record.items;
    if (figures.today) running_ = &*figures.today;
  }

  // The last line of date stamped at or before minute.
  const Items* at(sys_days date, int minute) const {
    auto found = lines_.find(date);
    if (found == lines_.end()) return nullptr;
    const std::vector<const FiveMinRecord*>& lines = found->second;
    auto after = std::upper_bound(
        lines.begin(), lines.end(), minute,
        [](int wanted, const FiveMinRecord* line) { return wanted < line->stamp.minute; });
    return after == lines.begin() ? nullptr : &(*std::prev(after))->items;
  }

  // Where a date's counting starts: with no line at or before minute, its
  // first line when that lies before until (the daemon started counting
  // then, with figures counted at times no line tells).
  const Items* startat(sys_days date, int minute, int until) const {
    if (const Items* found = at(date, minute)) return found;
    auto found = lines_.find(date);
    if (found == lines_.end() || found->second.front()->stamp.minute >= until) return nullptr;
    return &found->second.front()->items;
  }

  // At the end of a finished date: its history line, or the running day's
  // figures when it is the running day not yet in the history.
  const Items* end(sys_days date) const {
    if (auto found = ends_.find(date); found != ends_.end()) return found->second;
    if (running_ && running_->date == date) return &running_->items;
    return nullptr;
  }

  // Now on the running date: the running day's figures, else the last line.
  const Items* current(sys_days date) const {
    if (running_ && running_->date == date) return &running_->items;
    return at(date, now_.seconds / 60);
  }

  // The lines of dates first to last as records, for the labels they hold.
  std::vector<DayRecord> records(sys_days first, sys_days last) const {
    std::vector<DayRecord> found;
    for (auto it = lines_.lower_bound(first); it != lines_.end() && it->first <= last; ++it)
      for (const FiveMinRecord* line : it->second) found.push_back({it->first, line->items, 0});
    return found;
  }

 private:
  LocalClock now_;
  std::map<sys_days, std::vector<const FiveMinRecord*>> lines_;
  std::map<sys_days, const Items*> ends_;  // the last history line of each date
  const DayRecord* running_ = nullptr;
};

// Whether the file still holds date at grain (the daemon thins and removes
// old dates).
bool held(sys_days date, Grain grain, sys_days today) {
  int age = static_cast<int>((today - date).count());
  return age <= (grain == Grain::fiveminutes ? kfiveminutedays : kintervaldays);
}

}  // namespace

std::vector<FiveMinRecord> parsesnapshots(std::string_view text, std::string_view file,
                                          Problems& problems) {
  std::vector<FiveMinRecord> snapshots;
  std::map<sys_days, size_t> lastofdate;  // the index of each date's last line kept
  for (FiveMinRecord& snapshot : parsefivemin(text, file, problems)) {
    auto earlier = lastofdate.find(snapshot.stamp.date);
    if (earlier != lastofdate.end() && below(snapshot.items, snapshots[earlier->second].items)) {
      problems.push_back({std::string(file), snapshot.line,
                          "below line " + std::to_string(snapshots[earlier->second].line) +
                              " of the same date, so not a running total; line skipped"});
      continue;
    }
    lastofdate[snapshot.stamp.date] = snapshots.size();
    snapshots.push_back(std::move(snapshot));
  }
  return snapshots;
}

WallMinute wallminute(sys_days date, int minute) {
  return static_cast<WallMinute>(date.time_since_epoch().count()) * kminutesperday + minute;
}

IntervalRange lastintervals(LocalClock now, Grain grain, int count) {
  int length = static_cast<int>(grain);
  int running = now.seconds / 60 / length * length;
  return {wallminute(now.date, running) - static_cast<WallMinute>(std::max(count, 1) - 1) * length,
          std::max(count, 1)};
}

IntervalRange dateintervals(sys_days date, Grain grain) {
  return {wallminute(date, 0), kminutesperday / static_cast<int>(grain)};
}

IntervalReport buildintervals(const Figures& figures, const std::vector<FiveMinRecord>& snapshots,
                              Grain grain, IntervalRange range, LocalClock now,
                              const std::vector<std::string>& only, Problems& problems) {
  int length = static_cast<int>(grain);
  auto dateof = [](WallMinute at) {
    WallMinute day = at >= 0 ? at / kminutesperday : (at - kminutesperday + 1) / kminutesperday;
    return std::make_pair(sys_days(days(day)),
                          static_cast<int>(at - day * kminutesperday));
  };
  DayTotals totals(figures, snapshots, now);
  DayRange dates{dateof(range.first).first,
                 dateof(range.first + static_cast<WallMinute>(range.count - 1) * length).first};
  Figures found{figures.labels, figures.history, figures.today};
  for (DayRecord& record : totals.records(dates.first, dates.last))
    found.history.push_back(std::move(record));

  IntervalReport report;
  report.grain = grain;
  report.labels = columnlabels(found, dates, only, problems);
  report.totals.assign(report.labels.size(), Sums{});
  long long nowsecond = wallminute(now.date, 0) * 60 + now.seconds;
  for (int i = 0; i < range.count; ++i) {
    WallMinute start = range.first + static_cast<WallMinute>(i) * length;
    auto [date, minute] = dateof(start);
    IntervalRow row{date, minute, false, false,
                    std::vector<std::optional<Sums>>(report.labels.size())};
    row.running = start * 60 <= nowsecond && nowsecond < (start + length) * 60;
    bool future = start * 60 > nowsecond;
    const Items* from = totals.startat(date, minute, minute + length);
    const Items* to = row.running                       ? totals.current(date)
                      : minute + length == kminutesperday ? totals.end(date)
                                                          : totals.at(date, minute + length);
    if (!future && held(date, grain, now.date) && from && to) {
      row.recorded = true;
      row.counts =
          difference(columns(*to, report.labels), columns(*from, report.labels));
    }
    for (size_t c = 0; c < row.counts.size(); ++c)
      if (row.counts[c]) add(report.totals[c], *row.counts[c]);
    report.rows.push_back(std::move(row));
  }
  return report;
}

std::string intervalstart(const IntervalRow& row) {
  return formatminutestamp({row.date, row.minute});
}

std::optional<sys_days> parseisodate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  int y = 0, m = 0, d = 0;
  auto digits = [&](size_t from, size_t count, int& into) {
    auto [end, error] = std::from_chars(text.data() + from, text.data() + from + count, into);
    return error == std::errc() && end == text.data() + from + count && text[from] != '-' &&
           text[from] != '+';
  };
  if (!digits(0, 4, y) || !digits(5, 2, m) || !digits(8, 2, d)) return std::nullopt;
  std::chrono::year_month_day ymd{std::chrono::year(y),
                                  std::chrono::month(static_cast<unsigned>(m)),
                                  std::chrono::day(static_cast<unsigned>(d))};
  if (!ymd.ok()) return std::nullopt;
  return sys_days(ymd);
}
