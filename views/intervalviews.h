#pragma once
#include <string>
#include <vector>

#include "intervals.h"
#include "svgchart.h"
#include "units.h"

// The hour or five-minute view as a text table: a row per interval (the
// running one marked, one without figures shown as "-"), a column pair in and
// out per label in human units, a pair for all labels together when there
// are several, and a total row.
std::string formatintervaltable(const IntervalReport& report, Units units = Units::si);

// The same as JSON ("hours" or "fiveminutes") with exact byte counts; an
// interval without figures has "traffic": null.
std::string formatintervalsjson(const IntervalReport& report);

// The same as a bar chart.
Chart intervalchart(const IntervalReport& report, Units units = Units::si);

// The JSON of --hours and --fiveminutes straight from loaded figures, for
// callers that serve the same views: the last count intervals up to now, or
// with a date, the whole of that date.
std::string formatintervalsjson(const Figures& figures, const std::vector<FiveMinRecord>& snapshots,
                                Grain grain, LocalClock now, int count,
                                std::optional<std::chrono::sys_days> date,
                                const std::vector<std::string>& only, Problems& problems);
