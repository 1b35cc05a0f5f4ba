#include "reportdays.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace std::chrono;

sys_days date(int y, unsigned m, unsigned d) {
  return sys_days(year(y) / month(m) / day(d));
}

// A history of count days ending at last, every label with in = day index and out = 2 * that.
std::vector<DayRecord> generated(sys_days last, int count, const std::vector<std::string>& labels) {
  std::vector<DayRecord> history;
  for (int i = 0; i < count; ++i) {
    DayRecord record{last - days(count - 1 - i), {}, static_cast<size_t>(i + 1)};
    for (const std::string& label : labels) record.items.push_back({label, {i, 2 * i}});
    history.push_back(record);
  }
  return history;
}

Report lastdaysreport(const Figures& figures, sys_days today, int count, Problems& problems,
                      const std::vector<std::string>& only = {}) {
  return buildreport(figures, lastdays(today, count), today, only, problems);
}

TEST(Window, LastDaysOfAManyDayManyLabelHistoryWithTotals) {
  std::vector<std::string> labels;
  for (int i = 0; i < 40; ++i) labels.push_back("label-" + std::to_string(i));
  Figures figures{labels, generated(date(2026, 3, 1), 400, labels), std::nullopt};
  Problems problems;
  Report report = lastdaysreport(figures, date(2026, 3, 1), 7, problems);
  ASSERT_EQ(7u, report.days.size());
  EXPECT_EQ(date(2026, 2, 23), report.days.front().date);  // across the month end
  EXPECT_EQ(labels, report.labels);
  EXPECT_TRUE(report.totals[39].in == 393 + 394 + 395 + 396 + 397 + 398 + 399);
  EXPECT_TRUE(report.totals[39].out == 2 * report.totals[39].in);
  EXPECT_TRUE(problems.empty());
}

TEST(Window, EndsAtTodayNotAtTheNewestLine) {
  // The daemon was off for a week: the window shows the empty days up to today.
  Figures figures{{"wan"}, generated(date(2026, 10, 5), 5, {"wan"}), std::nullopt};
  figures.history.erase(figures.history.begin() + 2);
  Problems problems;
  Report report = lastdaysreport(figures, date(2026, 10, 12), 10, problems);
  ASSERT_EQ(10u, report.days.size());
  EXPECT_EQ(date(2026, 10, 12), report.days.back().date);
  EXPECT_FALSE(report.days.back().recorded);
  EXPECT_FALSE(report.days[0].recorded);  // Oct 3, no line
  EXPECT_TRUE(report.days[1].recorded);   // Oct 4
  EXPECT_TRUE(report.totals[0].in == 3 + 4);
}

TEST(Window, FutureLineIsShownMarkedButMovesNothing) {
  Figures figures{{"wan"},
                  generated(date(2026, 10, 5), 3, {"wan"}),
                  DayRecord{date(2026, 10, 6), {{"wan", {9, 9}}}, 0}};
  figures.history.push_back({date(2031, 1, 1), {{"wan", {1000, 1000}}, {"odd", {1, 1}}}, 4});
  Problems problems;
  futureproblems(figures.history, date(2026, 10, 6), "h", problems);
  ASSERT_EQ(1u, problems.size());
  EXPECT_EQ("h:4: dated 2031-01-01, after today (2026-10-06); shown marked, counted in no total",
            describe(problems[0]));
  Report report = lastdaysreport(figures, date(2026, 10, 6), 2, problems);
  // The window holds exactly its days and ends with today; the future line
  // lies apart from it.
  ASSERT_EQ(2u, report.days.size());
  EXPECT_TRUE(report.days[1].today);
  EXPECT_EQ(date(2026, 10, 6), report.days[1].date);
  ASSERT_EQ(1u, report.future.size());
  EXPECT_TRUE(report.future[0].future);
  EXPECT_EQ(date(2031, 1, 1), report.future[0].date);
  EXPECT_EQ((std::vector<std::string>{"wan", "odd"}), report.labels);
  EXPECT_TRUE(report.totals[0].in == 2 + 9);
}

TEST(Window, RepeatedDatesAddUpWithoutWrapping) {
  constexpr int64_t kmax = std::numeric_limits<int64_t>::max();
  Figures figures{{},
                  {{date(2026, 10, 1), {{"wan", {kmax, kmax}}}, 1},
                   {date(2026, 10, 1), {{"wan", {kmax, 1}}}, 2},
                   {date(2026, 10, 2), {{"wan", {kmax, 0}}}, 3}},
                  std::nullopt};
  Problems problems;
  Report report = lastdaysreport(figures, date(2026, 10, 2), 2, problems);
  EXPECT_EQ("18446744073709551614", widetext(report.days[0].counts[0]->in));
  EXPECT_EQ("27670116110564327421", widetext(report.totals[0].in));
  EXPECT_EQ("9223372036854775808", widetext(report.totals[0].out));
}

TEST(Window, SinceAndUntilAndLabelFilter) {
  Figures figures{
      {"a", "b", "c"}, generated(date(2026, 10, 10), 10, {"a", "b", "c"}), std::nullopt};
  Problems problems;
  Report report = buildreport(figures, {date(2026, 10, 2), date(2026, 10, 4)}, date(2026, 10, 20),
                              {"c", "zz"}, problems);
  EXPECT_EQ((std::vector<std::string>{"c", "zz"}), report.labels);
  ASSERT_EQ(3u, report.days.size());
  EXPECT_TRUE(report.totals[0].in == 1 + 2 + 3);
  ASSERT_EQ(1u, problems.size());
  EXPECT_EQ("--label: no figures for label 'zz'", describe(problems[0]));
}

TEST(Window, ConfiguredLabelsComeFirstThenOthersFound) {
  Figures figures{{"wan", "vpn"},
                  generated(date(2026, 10, 30), 3, {"old", "wan"}),
                  DayRecord{date(2026, 10, 31), {{"wan", {10, 20}}, {"new", {1, 2}}}, 0}};
  Problems problems;
  Report report = lastdaysreport(figures, date(2026, 10, 31), 2, problems);
  EXPECT_EQ((std::vector<std::string>{"wan", "vpn", "old", "new"}), report.labels);
  EXPECT_FALSE(report.days[1].counts[1]);  // vpn: configured, no figures
  EXPECT_TRUE(report.totals[0].in == 2 + 10);
}

}  // namespace
