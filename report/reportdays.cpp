#include "reportdays.h"

#include <algorithm>

namespace {

using std::chrono::days;
using std::chrono::sys_days;

void add(Counts& sum, const Counts& more) {
  sum.in += more.in;
  sum.out += more.out;
}

std::optional<sys_days> newestdate(const std::vector<DayRecord>& history,
                                   const std::optional<DayRecord>& today) {
  std::optional<sys_days> newest;
  for (const DayRecord& record : history)
    if (!newest || record.date > *newest) newest = record.date;
  if (today && (!newest || today->date > *newest)) newest = today->date;
  return newest;
}

void addlabel(std::vector<std::string>& labels, const std::string& label) {
  if (std::find(labels.begin(), labels.end(), label) == labels.end()) labels.push_back(label);
}

std::vector<std::string> columnlabels(const std::vector<std::string>& configlabels,
                                      const std::vector<const DayRecord*>& inrange,
                                      const std::vector<std::string>& only, Problems& problems) {
  std::vector<std::string> found = configlabels;
  for (const DayRecord* record : inrange)
    for (const Item& item : record->items) addlabel(found, item.label);
  if (only.empty()) return found;
  for (const std::string& label : only)
    if (std::find(found.begin(), found.end(), label) == found.end())
      problems.push_back({"--label", 0, "no figures for label '" + label + "'"});
  return only;
}

void addrecord(ReportDay& day, const DayRecord& record, const std::vector<std::string>& labels) {
  day.recorded = true;
  for (const Item& item : record.items) {
    auto column = std::find(labels.begin(), labels.end(), item.label);
    if (column == labels.end()) continue;
    std::optional<Counts>& counts = day.counts[static_cast<size_t>(column - labels.begin())];
    if (!counts) counts = Counts{};
    add(*counts, item.counts);
  }
}

}  // namespace

std::optional<DayRecord> runningday(const std::optional<Items>& todayitems,
                                    const std::optional<DayRecord>& dayfile,
                                    const std::vector<DayRecord>& history,
                                    sys_days localtoday) {
  std::optional<sys_days> archived = newestdate(history, std::nullopt);
  bool dayfilepending = dayfile && (!archived || dayfile->date > *archived);
  if (todayitems) return DayRecord{dayfilepending ? dayfile->date : localtoday, *todayitems, 0};
  if (dayfilepending) return dayfile;
  return std::nullopt;
}

Report buildreport(const std::vector<std::string>& configlabels,
                   const std::vector<DayRecord>& history, const std::optional<DayRecord>& today,
                   int daycount, const std::vector<std::string>& only, Problems& problems) {
  Report report;
  std::optional<sys_days> last = newestdate(history, today);
  sys_days first = last ? *last - days(std::max(daycount, 1) - 1) : sys_days{};
  std::vector<const DayRecord*> inrange;
  for (const DayRecord& record : history)
    if (last && record.date >= first) inrange.push_back(&record);
  if (today && today->date >= first) inrange.push_back(&*today);
  report.labels = columnlabels(configlabels, inrange, only, problems);
  report.totals.assign(report.labels.size(), Counts{});
  if (!last) return report;
  for (sys_days date = first; date <= *last; date += days(1))
    report.days.push_back({date, false, false, std::vector<std::optional<Counts>>(report.labels.size())});
  for (const DayRecord* record : inrange) {
    ReportDay& day = report.days[static_cast<size_t>((record->date - first).count())];
    addrecord(day, *record, report.labels);
    if (today && record == &*today) day.today = true;
  }
  for (const ReportDay& day : report.days)
    for (size_t i = 0; i < day.counts.size(); ++i)
      if (day.counts[i]) add(report.totals[i], *day.counts[i]);
  return report;
}

std::optional<Counts> daysum(const ReportDay& day) {
  std::optional<Counts> sum;
  for (const std::optional<Counts>& counts : day.counts) {
    if (!counts) continue;
    if (!sum) sum = Counts{};
    add(*sum, *counts);
  }
  return sum;
}
