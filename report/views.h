#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "dayitems.h"
#include "reportdays.h"

// The report as a text table: a row per day (today marked, a missing day
// shown as "-"), a column pair in and out per label in human units, a pair
// for all labels together when there are several, and a total row.
std::string formattable(const Report& report);

// The report as JSON with exact byte counts; a missing day has "traffic": null.
std::string formatjson(const Report& report);

// Names for count rates: the labels in order, "#N" (1-based) past their end.
std::vector<std::string> ratelabels(const std::vector<std::string>& labels, size_t count);

// One screen of the live view: per label the bytes per second in and out.
std::string formatlive(const std::vector<std::string>& labels, const std::vector<Rate>& rates,
                       std::string_view clock);

// One JSON line of the live view, in bytes per second.
std::string formatlivejson(const std::vector<std::string>& labels, const std::vector<Rate>& rates,
                           std::string_view clock);
