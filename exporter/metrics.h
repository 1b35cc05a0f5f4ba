#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dayitems.h"
#include "textsafe.h"

// What one scrape publishes for a label.
struct LabelFigures {
  std::string label;
  Counts total;                 // the history's days and the running day
  std::optional<Counts> day;    // the running day
  std::optional<Counts> rate;   // bytes of the last second
  std::optional<Counts> month;  // the running month: its history and the running day
};

// Everything one scrape publishes.
struct MetricsInput {
  std::vector<LabelFigures> labels;
  std::optional<double> lastupdate;                          // seconds since the epoch
  std::vector<std::pair<std::string, uint64_t>> readerrors;  // per file role
};

// A label value as both exposition formats quote it: backslash, double quote
// and newline escaped, invalid UTF-8 replaced.
std::string escapelabelvalue(std::string_view text);

// The metrics in the Prometheus text format 0.0.4, or in OpenMetrics 1.0
// (counter families named without _total, ending in "# EOF").
std::string formatmetrics(const MetricsInput& input, bool openmetrics);

// Whether an Accept header asks for OpenMetrics.
bool wantsopenmetrics(std::string_view accept);

inline constexpr const char kprometheustype[] = "text/plain; version=0.0.4; charset=utf-8";
inline constexpr const char kopenmetricstype[] =
    "application/openmetrics-text; version=1.0.0; charset=utf-8";
