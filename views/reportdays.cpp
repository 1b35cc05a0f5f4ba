#include "reportdays.h"

#include <algorithm>

namespace {

using std::chrono::days;
using std::chrono::sys_days;

bool inrange(sys_days date, DayRange range) {
  return date >= range.first && date <= range.last;
}

// Calls visit(record, isrunningday) for the history's records and the running day.
template <typename Visit>
void eachrecord(const Figures& figures, Visit visit) {
  for (const DayRecord& record : figures.history) visit(record, false);
  if (figures.today) visit(*figures.today, true);
}

void addlabel(std::vector<std::string>& labels, const std::string& label) {
  if (std::find(labels.begin(), labels.end(), label) == labels.end()) labels.push_back(label);
}

std::vector<std::string> chosenlabels(std::vector<std::string> found,
                                      const std::vector<std::string>& only, Problems& problems) {
  if (only.empty()) return found;
  for (const std::string& label : only)
    if (std::find(found.begin(), found.end(), label) == found.end())
      problems.push_back({"--label", 0, "no figures for label '" + label + "'"});
  return only;
}

// The configured labels, then those of the records whose date passes wanted.
template <typename Wanted>
std::vector<std::string> labelsin(const Figures& figures, Wanted wanted) {
  std::vector<std::string> found = figures.labels;
  eachrecord(figures, [&](const DayRecord& record, bool) {
    if (!wanted(record.date)) return;
    for (const Item& item : record.items) addlabel(found, item.label);
  });
  return found;
}

// The column of label: lines list their labels in the same order, so the
// column after the previous item's is tried first.
std::optional<size_t> columnof(const std::vector<std::string>& labels, const std::string& label,
                               size_t guess) {
  if (guess < labels.size() && labels[guess] == label) return guess;
  auto column = std::find(labels.begin(), labels.end(), label);
  if (column == labels.end()) return std::nullopt;
  return static_cast<size_t>(column - labels.begin());
}

// Adds a record's items to the columns of their labels; others are left out.
void addtocolumns(std::vector<std::optional<Sums>>& counts, const DayRecord& record,
                  const std::vector<std::string>& labels) {
  size_t guess = 0;
  for (const Item& item : record.items) {
    std::optional<size_t> column = columnof(labels, item.label, guess);
    if (!column) continue;
    guess = *column + 1;
    if (!counts[*column]) counts[*column] = Sums{};
    add(*counts[*column], item.counts);
  }
}

void addrecord(ReportDay& day, const DayRecord& record, const std::vector<std::string>& labels) {
  day.recorded = true;
  addtocolumns(day.counts, record, labels);
}

}  // namespace

std::vector<std::pair<const DayRecord*, bool>> allrecords(const Figures& figures) {
  std::vector<std::pair<const DayRecord*, bool>> records;
  records.reserve(figures.history.size() + 1);
  eachrecord(figures, [&](const DayRecord& record, bool running) {
    records.emplace_back(&record, running);
  });
  return records;
}

Problem futureproblem(sys_days date, sys_days today, const std::string& file, size_t line) {
  return {file, line,
          "dated " + formatdate(date) + ", after today (" + formatdate(today) +
              "); shown marked, counted in no total"};
}

void futureproblems(const std::vector<DayRecord>& history, sys_days today,
                    const std::string& historyfile, Problems& problems) {
  for (const DayRecord& record : history)
    if (record.date > today)
      problems.push_back(futureproblem(record.date, today, historyfile, record.line));
}

DayRange lastdays(sys_days today, int daycount) {
  return {today - days(std::max(daycount, 1) - 1), today};
}

sys_days oldestdate(const Figures& figures, sys_days today) {
  sys_days oldest = today;
  eachrecord(figures,
             [&](const DayRecord& record, bool) { oldest = std::min(oldest, record.date); });
  return oldest;
}

std::vector<std::string> columnlabels(const Figures& figures, DayRange range,
                                      const std::vector<std::string>& only, Problems& problems) {
  return chosenlabels(labelsin(figures, [&](sys_days date) { return inrange(date, range); }), only,
                      problems);
}

std::vector<ReportDay> folddates(const Figures& figures, const std::vector<std::string>& labels,
                                 DayRange range) {
  std::vector<std::pair<const DayRecord*, bool>> records;
  eachrecord(figures, [&](const DayRecord& record, bool running) {
    if (inrange(record.date, range)) records.emplace_back(&record, running);
  });
  std::stable_sort(records.begin(), records.end(),
                   [](const auto& a, const auto& b) { return a.first->date < b.first->date; });
  std::vector<ReportDay> folded;
  for (const auto& [record, running] : records) {
    if (folded.empty() || folded.back().date != record->date)
      folded.push_back(
          {record->date, true, false, false, std::vector<std::optional<Sums>>(labels.size())});
    addrecord(folded.back(), *record, labels);
    folded.back().today = folded.back().today || running;
  }
  return folded;
}

Report buildreport(const Figures& figures, DayRange range, sys_days today,
                   const std::vector<std::string>& only, Problems& problems) {
  Report report;
  range.last = std::min(range.last, today);
  DayRange future{today + days(1), sys_days::max()};
  report.labels = chosenlabels(
      labelsin(figures,
               [&](sys_days date) { return inrange(date, range) || inrange(date, future); }),
      only, problems);
  report.totals.assign(report.labels.size(), Sums{});
  std::vector<ReportDay> recorded = folddates(figures, report.labels, range);
  auto next = recorded.begin();
  for (sys_days date = range.first; date <= range.last; date += days(1)) {
    if (next != recorded.end() && next->date == date)
      report.days.push_back(std::move(*next++));
    else
      report.days.push_back(
          {date, false, false, false, std::vector<std::optional<Sums>>(report.labels.size())});
  }
  for (const ReportDay& day : report.days)
    for (size_t i = 0; i < day.counts.size(); ++i)
      if (day.counts[i]) add(report.totals[i], *day.counts[i]);
  report.future = folddates(figures, report.labels, future);
  for (ReportDay& day : report.future) day.future = true;
  return report;
}

std::optional<Sums> daysum(const std::vector<std::optional<Sums>>& counts) {
  std::optional<Sums> sum;
  for (const std::optional<Sums>& c : counts) {
    if (!c) continue;
    if (!sum) sum = Sums{};
    add(*sum, *c);
  }
  return sum;
}
