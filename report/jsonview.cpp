#include <cmath>
#include <cstdio>

#include "views.h"

namespace {

std::string jsonstring(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c >= 0 && c < ' ') {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string jsoncounts(const Counts& counts) {
  return "{\"in\": " + std::to_string(counts.in) + ", \"out\": " + std::to_string(counts.out) + "}";
}

std::string traffic(const std::vector<std::string>& labels,
                    const std::vector<std::optional<Counts>>& counts) {
  std::string out = "{";
  for (size_t i = 0; i < labels.size(); ++i) {
    if (!counts[i]) continue;
    if (out.size() > 1) out += ", ";
    out += jsonstring(labels[i]) + ": " + jsoncounts(*counts[i]);
  }
  return out + "}";
}

std::string jsonday(const Report& report, const ReportDay& day) {
  return "{\"date\": \"" + formatdate(day.date) + "\", \"today\": " +
         (day.today ? "true" : "false") + ", \"traffic\": " +
         (day.recorded ? traffic(report.labels, day.counts) : "null") + "}";
}

std::string jsonlabels(const std::vector<std::string>& labels) {
  std::string out = "[";
  for (size_t i = 0; i < labels.size(); ++i) out += (i ? ", " : "") + jsonstring(labels[i]);
  return out + "]";
}

int64_t bytespersecond(double kilobytes) {
  return static_cast<int64_t>(std::llround(kilobytes * 1000.0));
}

}  // namespace

std::string formatjson(const Report& report) {
  std::string out = "{\n  \"labels\": " + jsonlabels(report.labels) + ",\n  \"days\": [";
  for (size_t i = 0; i < report.days.size(); ++i)
    out += (i ? ",\n    " : "\n    ") + jsonday(report, report.days[i]);
  out += report.days.empty() ? "],\n" : "\n  ],\n";
  std::vector<std::optional<Counts>> totals(report.totals.begin(), report.totals.end());
  return out + "  \"total\": " + traffic(report.labels, totals) + "\n}\n";
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
