#include "periods.h"

#include <gtest/gtest.h>

#include "topdays.h"
#include "views.h"

namespace {

using namespace std::chrono;

sys_days date(int y, unsigned m, unsigned d) {
  return sys_days(year(y) / month(m) / day(d));
}

DayRecord record(sys_days when, int64_t in, int64_t out, const std::string& label = "wan") {
  return {when, {{label, {in, out}}}, 0};
}

// wan on a day of each month from Nov 2025 to Feb 2026, two days in January,
// and today (Feb 20, noon) running.
Figures sample() {
  return {{"wan"},
          {record(date(2025, 11, 3), 1, 2), record(date(2025, 12, 31), 10, 20),
           record(date(2026, 1, 1), 100, 200), record(date(2026, 1, 31), 1000, 2000),
           record(date(2026, 2, 1), 5, 5)},
          record(date(2026, 2, 20), 7, 7)};
}

constexpr LocalClock knoon{sys_days(year(2026) / February / 20), 12 * 3600};

TEST(Periods, MonthsFoldAcrossTheYearEndWithDaysOnRecord) {
  Problems problems;
  PeriodReport report = buildperiods(sample(), Period::month, 3, knoon, {}, problems);
  ASSERT_EQ(3u, report.rows.size());
  EXPECT_EQ("2025-12", report.rows[0].name);
  EXPECT_EQ(1, report.rows[0].recordeddays);
  EXPECT_EQ("2026-01", report.rows[1].name);
  EXPECT_EQ(2, report.rows[1].recordeddays);
  EXPECT_EQ(31, report.rows[1].calendardays);
  EXPECT_TRUE(report.rows[1].counts[0]->in == 1100);
  EXPECT_TRUE(report.rows[2].running);
  EXPECT_EQ(28, report.rows[2].calendardays);
  EXPECT_EQ(2, report.rows[2].recordeddays);  // Feb 1 and today
  EXPECT_TRUE(report.totals[0].in == 10 + 1100 + 12);
  EXPECT_TRUE(report.rows[0].estimate.empty());
}

TEST(Periods, EmptyMonthsAndFutureMonthsAreRowsOfTheirOwn) {
  Figures figures = sample();
  figures.history.push_back(record(date(2027, 5, 2), 99, 99));
  Problems problems;
  PeriodReport report = buildperiods(figures, Period::month, 6, knoon, {}, problems);
  ASSERT_EQ(7u, report.rows.size());
  EXPECT_EQ("2025-09", report.rows[0].name);
  EXPECT_FALSE(report.rows[0].counts[0]);
  EXPECT_EQ(0, report.rows[0].recordeddays);
  EXPECT_TRUE(report.rows[6].future);
  EXPECT_EQ("2027-05", report.rows[6].name);
  EXPECT_TRUE(report.totals[0].in == 1 + 10 + 1100 + 12);  // the future month is not counted
}

TEST(Periods, MonthsJsonFromFiguresAsTheCommandLinePrintsIt) {
  Problems problems;
  std::string json = formatmonthsjson(sample(), knoon, 2, {}, problems);
  EXPECT_EQ(
      0u, json.find(
              "{\n  \"labels\": [\"wan\"],\n  \"months\": [\n"
              "    {\"month\": \"2026-01\", \"days\": 2, \"calendardays\": 31, \"running\": false, "
              "\"traffic\": {\"wan\": {\"in\": 1100, \"out\": 2200}}},\n"
              "    {\"month\": \"2026-02\", \"days\": 2, \"calendardays\": 28, \"running\": true, "
              "\"traffic\": {\"wan\": {\"in\": 12, \"out\": 12}}, \"estimate\": {\"wan\": {\"in\": "
              "17, \"out\": 17}}}\n"
              "  ],\n  \"total\": {\"wan\": {\"in\": 1112, \"out\": 2212}}\n}\n"))
      << json;
}

TEST(Periods, YearsDefaultToAllYearsOnRecord) {
  Problems problems;
  PeriodReport report = buildperiods(sample(), Period::year, 0, knoon, {}, problems);
  ASSERT_EQ(2u, report.rows.size());
  EXPECT_EQ("2025", report.rows[0].name);
  EXPECT_EQ(365, report.rows[0].calendardays);
  EXPECT_TRUE(report.rows[0].counts[0]->out == 22);
  EXPECT_TRUE(report.rows[1].running);
  ASSERT_EQ(1u, report.rows[1].estimate.size());
}

TEST(Estimate, DaysBeforeTodayCountWholeTodayByItsShare) {
  DayRange february{date(2026, 2, 1), date(2026, 2, 28)};
  // Feb 20 at noon: 19.5 of 28 days have passed.
  EXPECT_TRUE(estimate(widecount{195}, february, knoon) == 280);
  EXPECT_TRUE(estimate(widecount{1}, february, LocalClock{date(2026, 2, 28), 86399}) ==
              1);  // never below
  // At the first second of the month, one second counts (no division by zero).
  EXPECT_TRUE(estimate(widecount{1}, february, LocalClock{date(2026, 2, 1), 0}) == 28 * 86400);
  // Wide counts scale exactly.
  widecount big = widecount{INT64_MAX} * 4;
  EXPECT_TRUE(estimate(big, {date(2026, 2, 1), date(2026, 2, 2)},
                       LocalClock{date(2026, 2, 1), 86400 / 2}) == big * 4);
  Problems problems;
  PeriodReport months = buildperiods(sample(), Period::month, 1, knoon, {}, problems);
  EXPECT_TRUE(months.rows[0].estimate[0]->in == 17);  // 12 B in 19.5 of 28 days
}

TEST(Top, LargestFirstTiesByDateWithinTheRange) {
  Figures figures{{},
                  {record(date(2026, 1, 3), 5, 5),
                   record(date(2026, 1, 1), 4, 6),
                   record(date(2026, 1, 2), 1, 1),
                   record(date(2026, 1, 4), 30, 0, "lan"),
                   {date(2026, 1, 5), {{"wan", {2, 0}}, {"lan", {0, 50}}}, 0}},
                  std::nullopt};
  Problems problems;
  TopReport top =
      buildtop(figures, {date(2026, 1, 1), date(2026, 1, 31)}, date(2026, 1, 31), 3, {}, problems);
  ASSERT_EQ(3u, top.days.size());
  EXPECT_EQ(date(2026, 1, 5), top.days[0].date);
  EXPECT_TRUE(top.totals[0] == 52);
  EXPECT_EQ(date(2026, 1, 4), top.days[1].date);
  EXPECT_EQ(date(2026, 1, 1), top.days[2].date);  // 10, the same as Jan 3, and older
  // Over wan only: a day with only lan drops out, Jan 5 shrinks.
  top = buildtop(figures, {date(2026, 1, 2), date(2026, 1, 31)}, date(2026, 1, 31), 10, {"wan"},
                 problems);
  ASSERT_EQ(3u, top.days.size());
  EXPECT_EQ(date(2026, 1, 3), top.days[0].date);
  EXPECT_EQ(date(2026, 1, 2), top.days[1].date);  // 2 B, like Jan 5, and older
  EXPECT_TRUE(top.totals[1] == 2);
}

}  // namespace
