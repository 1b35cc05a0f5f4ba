#include <cmath>
#include <cstdint>
#include <cstdio>

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
std::string jsonlist(const std::vector<std::string>& entries) {
  std::string out = "[";
  for (size_t i = 0; i < entries.size(); ++i) out += (i ? ",\n    " : "\n    ") + entries[i];
  return out + (entries.empty() ? "]" : "\n  ]");
}

std::string jsontotal(const std::vector<std::string>& labels, const std::vector<Sums>& totals) {
  return traffic(labels, std::vector<std::optional<Sums>>(totals.begin(), totals.end()));
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

std::string formatjson(const Report& report) {
  std::vector<std::string> days;
  for (const ReportDay& day : report.days) days.push_back(jsonday(report.labels, day));
  return "{\n  \"labels\": " + jsonlabels(report.labels) + ",\n  \"days\": " + jsonlist(days) +
         ",\n  \"total\": " + jsontotal(report.labels, report.totals) + "\n}\n";
}

std::string formatperiodsjson(const PeriodReport& report) {
  std::vector<std::string> rows;
  for (const PeriodRow& row : report.rows) rows.push_back(jsonperiod(report, row));
  return "{\n  \"labels\": " + jsonlabels(report.labels) + ",\n  \"" +
         (report.period == Period::year ? "years" : "months") + "\": " + jsonlist(rows) +
         ",\n  \"total\": " + jsontotal(report.labels, report.totals) + "\n}\n";
}

std::string formatdaysjson(const Figures& figures, Now now, int days,
                           const std::vector<std::string>& only, Problems& problems) {
  return formatjson(buildreport(figures, lastdays(now.date, days), now.date, only, problems));
}

std::string formatmonthsjson(const Figures& figures, Now now, int months,
                             const std::vector<std::string>& only, Problems& problems) {
  return formatperiodsjson(buildperiods(figures, Period::month, months, now, only, problems));
}

std::string formattopjson(const TopReport& report) {
  std::vector<std::string> days;
  for (size_t i = 0; i < report.days.size(); ++i) {
    const ReportDay& day = report.days[i];
    days.push_back("{\"rank\": " + std::to_string(i + 1) + ", \"date\": \"" + formatdate(day.date) +
                   "\", \"today\": " + jsonflag(day.today) +
                   ", \"total\": " + widetext(report.totals[i]) +
                   ", \"traffic\": " + traffic(report.labels, day.counts) + "}");
  }
  return "{\n  \"labels\": " + jsonlabels(report.labels) + ",\n  \"top\": " + jsonlist(days) +
         "\n}\n";
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
