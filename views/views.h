#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "dayitems.h"
#include "periods.h"
#include "reportdays.h"
#include "topdays.h"
#include "units.h"

// The longest windows the day and month views show.
inline constexpr int kmaxdays = 3660;
inline constexpr int kmaxmonths = 1200;

// The day view as a text table: a row per day (today and days after it
// marked, a missing day shown as "-"), a column pair in and out per label in
// human units, a pair for all labels together when there are several, and a
// total row.
std::string formattable(const Report& report, Units units = Units::si);

// The day view as JSON with exact byte counts; a missing day has "traffic": null.
std::string formatjson(const Report& report);

// The month or year view as a text table: days on record, the pairs, the
// running period's estimate in a row below it, and a total row.
std::string formatperiodtable(const PeriodReport& report, Units units = Units::si);

// The month or year view as JSON ("months" or "years"), exact byte counts.
std::string formatperiodsjson(const PeriodReport& report);

// The JSON of --json and --months --json straight from loaded figures, for
// callers that serve the same views (the same code as the command line):
// the last days up to now, and the last months up to the running one.
std::string formatdaysjson(const Figures& figures, LocalClock now, int days,
                           const std::vector<std::string>& only, Problems& problems);
std::string formatmonthsjson(const Figures& figures, LocalClock now, int months,
                             const std::vector<std::string>& only, Problems& problems);

// The top days as a text table: rank, day, in plus out, the pairs.
std::string formattoptable(const TopReport& report, Units units = Units::si);

// The top days as JSON.
std::string formattopjson(const TopReport& report);

// Names for count rates: the labels in order, "#N" (1-based) past their end.
std::vector<std::string> ratelabels(const std::vector<std::string>& labels, size_t count);

// One screen of the live view: per label the bytes per second in and out.
std::string formatlive(const std::vector<std::string>& labels, const std::vector<Rate>& rates,
                       std::string_view clock, Units units = Units::si);

// One JSON line of the live view, in bytes per second.
std::string formatlivejson(const std::vector<std::string>& labels, const std::vector<Rate>& rates,
                           std::string_view clock);
