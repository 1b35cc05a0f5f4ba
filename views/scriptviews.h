#pragma once
#include <optional>
#include <string>
#include <vector>

#include "periods.h"
#include "units.h"

// One line per label for scripts, fields separated by ';', exact bytes:
// label;date;today in;today out;today total;month in;month out;month total;
// all-time in;all-time out;all-time total. The label is shown as visibletext
// with ';' as \x3b, so a line always has eleven fields.
std::string formatoneline(const Figures& figures, LocalClock now,
                          const std::vector<std::string>& only, Problems& problems);

enum class Direction { in, out, total };

// When to alert: the period's traffic in a direction over some labels (all
// when none are named) is more than limit; estimate judges the period by its
// estimate for the whole period instead of its traffic so far.
struct AlertRule {
  widecount limit = 0;
  Period period = Period::month;
  Direction direction = Direction::total;
  bool estimate = false;
  std::vector<std::string> labels;
};

// The period's traffic the rule looks at (its estimate with rule.estimate).
widecount alerttraffic(const Figures& figures, LocalClock now, const AlertRule& rule,
                       Problems& problems);

// The line to print when the rule's limit is exceeded, else nullopt:
// "month 2026-03 total 512.30 GB exceeds 500.00 GB (512300000000 > 500000000000 bytes)",
// with "estimate" after the direction when judged by it and " for wan lan"
// at the end when labels are named.
std::optional<std::string> judgealert(const Figures& figures, LocalClock now, const AlertRule& rule,
                                      Units units, Problems& problems);
