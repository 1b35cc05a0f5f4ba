#include <cmath>
#include <cstdint>
#include <cstdio>

#include "intervalviews.h"
#include "textsafe.h"
#include "views.h"

namespace {

void appendcounts(std::string& out, const Sums& counts) {
  out.append("{\"in\": ")
      .append(widetext(counts.in))
      .append(", \"out\": ")
      .append(widetext(counts.out))
      .append("}");
}

std::string jsoncounts(const Sums& counts) {
  std::string out;
  appendcounts(out, counts);
  return out;
}

// The labels present in counts with their figures; built by appending, as a
// ten-year view holds thousands of them.
std::string traffic(const std::vector<std::string>& labels,
                    const std::vector<std::optional<Sums>>& counts) {
  std::string out = "{";
  for (size_t i = 0; i < labels.size(); ++i) {
    if (!counts[i]) continue;
    if (out.size() > 1) out.append(", ");
    out.append(jsonstring(labels[i])).append(": ");
    appendcounts(out, *counts[i]);
  }
  return out.append("}");
}

std::string jsonflag(bool value) {
  return value ? "true" : "false";
}

std::string jsonday(const std::vector<std::string>& labels, const ReportDay& day) {
  return "{\"date\": \"" + formatdate(day.date) + "\", \"today\": " + jsonflag(day.today) +
         ", \"traffic\": " + (day.recorded ? traffic(labels, day.counts) : "null") +
         (day.future ? ", \"future\": true}" : "}");
}

std::string jsonlabels(const std::vector<std::string>& labels) {
  std::string out = "[";
  for (size_t i = 0; i < labels.size(); ++i) out += (i ? ", " : "") + jsonstring(labels[i]);
  return out + "]";
}

// A JSON list of entries, one per line, inside an object of two-space indent.
std::string jsontotal(const std::vector<std::string>& labels, const std::vector<Sums>& totals) {
  return traffic(labels, std::vector<std::optional<Sums>>(totals.begin(), totals.end()));
}

// Appends a JSON list of count entries, one per line, inside an object of
// two-space indent; entry(i) gives each. Years of rows make a large text,
// so it grows in place instead of being copied piece by piece.
template <typename Entry>
void appendlist(std::string& out, size_t count, Entry entry) {
  out.append("[");
  for (size_t i = 0; i < count; ++i) out.append(i ? ",\n    " : "\n    ").append(entry(i));
  out.append(count == 0 ? "]" : "\n  ]");
}

// The object that every view prints: its labels, a list under name, and
// (unless totals is null) the totals; extra, when given, goes between them.
template <typename Entry>
std::string jsonview(const std::vector<std::string>& labels, const char* name, size_t count,
                     Entry entry, const std::vector<Sums>* totals, const std::string& extra = "") {
  std::string out;
  out.reserve(256 + count * (96 + 64 * labels.size()));  // about a row's length: one allocation
  out.append("{\n  \"labels\": ")
      .append(jsonlabels(labels))
      .append(",\n  \"")
      .append(name)
      .append("\": ");
  appendlist(out, count, entry);
  out.append(extra);
  if (totals) out.append(",\n  \"total\": ").append(jsontotal(labels, *totals));
  return out.append("\n}\n");
}

std::string jsonperiod(const PeriodReport& report, const PeriodRow& row) {
  std::string out = "{\"" + std::string(report.period == Period::year ? "year" : "month") +
                    "\": \"" + row.name + "\", \"days\": " + std::to_string(row.recordeddays) +
                    ", \"calendardays\": " + std::to_string(row.calendardays) +
                    ", \"running\": " + jsonflag(row.running) + ", \"traffic\": " +
                    (row.recordeddays > 0 ? traffic(report.labels, row.counts) : "null");
  if (row.running) out += ", \"estimate\": " + traffic(report.labels, row.estimate);
  if (row.future) out += ", \"future\": true";
  return out + "}";
}

int64_t bytespersecond(double kilobytes) {
  double bytes = kilobytes * 1000.0;
  if (!(bytes < 9.2e18)) return INT64_MAX;  // a rate beyond any link, kept well defined
  return static_cast<int64_t>(std::llround(bytes));
}

}  // namespace

// Days dated after today get a list of their own, so that the last entry of
// "days" is always today for a script that takes it so.
std::string formatjson(const Report& report) {
  std::string future;
  if (!report.future.empty()) {
    future = ",\n  \"future\": ";
    appendlist(future, report.future.size(),
               [&](size_t i) { return jsonday(report.labels, report.future[i]); });
  }
  return jsonview(
      report.labels, "days", report.days.size(),
      [&](size_t i) { return jsonday(report.labels, report.days[i]); }, &report.totals, future);
}

std::string formatperiodsjson(const PeriodReport& report) {
  return jsonview(
      report.labels, report.period == Period::year ? "years" : "months", report.rows.size(),
      [&](size_t i) { return jsonperiod(report, report.rows[i]); }, &report.totals);
}

std::string formatdaysjson(const Figures& figures, LocalClock now, int days,
                           const std::vector<std::string>& only, Problems& problems) {
  return formatjson(buildreport(figures, lastdays(now.date, days), now.date, only, problems));
}

std::string formatmonthsjson(const Figures& figures, LocalClock now, int months,
                             const std::vector<std::string>& only, Problems& problems) {
  return formatperiodsjson(buildperiods(figures, Period::month, months, now, only, problems));
}

std::string formatintervalsjson(const IntervalReport& report) {
  auto entry = [&](size_t i) {
    const IntervalRow& row = report.rows[i];
    return "{\"start\": \"" + intervalstart(row) + "\", \"running\": " + jsonflag(row.running) +
           ", \"traffic\": " + (row.recorded ? traffic(report.labels, row.counts) : "null") + "}";
  };
  return jsonview(report.labels, report.grain == Grain::hour ? "hours" : "fiveminutes",
                  report.rows.size(), entry, &report.totals);
}

std::string formattopjson(const TopReport& report) {
  auto entry = [&](size_t i) {
    const ReportDay& day = report.days[i];
    return "{\"rank\": " + std::to_string(i + 1) + ", \"date\": \"" + formatdate(day.date) +
           "\", \"today\": " + jsonflag(day.today) + ", \"total\": " + widetext(report.totals[i]) +
           ", \"traffic\": " + traffic(report.labels, day.counts) + "}";
  };
  return jsonview(report.labels, "top", report.days.size(), entry, nullptr);
}

std::string formatlivejson(const std::vector<std::string>& labels, const std::vector<Rate>& rates,
                           std::string_view clock) {
  std::vector<std::string> names = ratelabels(labels, rates.size());
  std::string out = "{\"time\": " + jsonstring(clock) + ", \"rates\": {";
  for (size_t i = 0; i < rates.size(); ++i)
    out += (i ? ", " : "") + jsonstring(names[i]) + ": " +
           jsoncounts({bytespersecond(rates[i].inkb), bytespersecond(rates[i].outkb)});
  return out + "}}\n";
}
