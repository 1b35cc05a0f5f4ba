#include "reportdays.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;

sys_days date(int y, unsigned m, unsigned d) { return sys_days(year(y) / month(m) / day(d)); }

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

TEST(RunningDay, DatedByTheDayFileUnlessAlreadyInTheHistory) {
  std::vector<DayRecord> history = generated(date(2026, 10, 30), 3, {"wan"});
  Items items{{"wan", {5, 6}}};
  DayRecord dayfile{date(2026, 10, 31), {{"wan", {1, 1}}}, 1};
  std::optional<DayRecord> today = runningday(items, dayfile, history, date(2026, 11, 5));
  ASSERT_TRUE(today);
  EXPECT_EQ(date(2026, 10, 31), today->date);  // the daemon stopped on that day
  EXPECT_EQ(5, today->items[0].counts.in);

  dayfile.date = date(2026, 10, 30);  // already archived: the clock says which day
  EXPECT_EQ(date(2026, 11, 5), runningday(items, dayfile, history, date(2026, 11, 5))->date);
}

TEST(RunningDay, DayFileStandsInForAMissingTodayFile) {
  std::vector<DayRecord> history = generated(date(2026, 10, 30), 1, {"wan"});
  DayRecord dayfile{date(2026, 10, 31), {{"wan", {1, 1}}}, 1};
  EXPECT_EQ(1, runningday(std::nullopt, dayfile, history, date(2026, 10, 31))->items[0].counts.in);
  dayfile.date = date(2026, 10, 30);
  EXPECT_FALSE(runningday(std::nullopt, dayfile, history, date(2026, 10, 31)));
}

TEST(Report, LastDaysOfAManyDayManyLabelHistoryWithTotals) {
  std::vector<std::string> labels;
  for (int i = 0; i < 40; ++i) labels.push_back("label-" + std::to_string(i));
  std::vector<DayRecord> history = generated(date(2026, 3, 1), 400, labels);
  Problems problems;
  Report report = buildreport(labels, history, std::nullopt, 7, {}, problems);
  ASSERT_EQ(7u, report.days.size());
  EXPECT_EQ(date(2026, 2, 23), report.days.front().date);  // across the month end
  EXPECT_EQ(date(2026, 3, 1), report.days.back().date);
  EXPECT_EQ(labels, report.labels);
  EXPECT_EQ(393 + 394 + 395 + 396 + 397 + 398 + 399, report.totals[39].in);
  EXPECT_EQ(2 * report.totals[39].in, report.totals[39].out);
  EXPECT_TRUE(problems.empty());
}

TEST(Report, MissingDayIsAnUnrecordedRow) {
  std::vector<DayRecord> history = generated(date(2026, 10, 5), 5, {"wan"});
  history.erase(history.begin() + 2);
  Problems problems;
  Report report = buildreport({"wan"}, history, std::nullopt, 5, {}, problems);
  ASSERT_EQ(5u, report.days.size());
  EXPECT_FALSE(report.days[2].recorded);
  EXPECT_FALSE(report.days[2].counts[0]);
  EXPECT_TRUE(report.days[3].recorded);
  EXPECT_EQ(0 + 1 + 3 + 4, report.totals[0].in);
}

TEST(Report, TodayEndsTheRangeAndLabelsOutsideTheConfigFollowIt) {
  std::vector<DayRecord> history = generated(date(2026, 10, 30), 3, {"old", "wan"});
  DayRecord today{date(2026, 10, 31), {{"wan", {10, 20}}, {"new", {1, 2}}}, 0};
  Problems problems;
  Report report = buildreport({"wan", "vpn"}, history, today, 2, {}, problems);
  EXPECT_EQ((std::vector<std::string>{"wan", "vpn", "old", "new"}), report.labels);
  ASSERT_EQ(2u, report.days.size());
  EXPECT_TRUE(report.days[1].today);
  EXPECT_FALSE(report.days[1].counts[1]);  // vpn: configured, no figures
  EXPECT_FALSE(report.days[1].counts[2]);  // old: gone today
  EXPECT_EQ(2 + 10, report.totals[0].in);
}

TEST(Report, RepeatedDatesAreAddedTogether) {
  std::vector<DayRecord> history = generated(date(2026, 10, 1), 1, {"wan"});
  history.push_back({date(2026, 10, 1), {{"wan", {7, 8}}}, 2});
  Problems problems;
  Report report = buildreport({}, history, std::nullopt, 3, {}, problems);
  ASSERT_EQ(3u, report.days.size());  // the range ends at the newest record
  EXPECT_EQ(7, report.days[2].counts[0]->in);
}

TEST(Report, LabelFilterKeepsItsOrderAndNamesUnknownLabels) {
  std::vector<DayRecord> history = generated(date(2026, 10, 1), 2, {"a", "b", "c"});
  Problems problems;
  Report report = buildreport({"a", "b", "c"}, history, std::nullopt, 7, {"c", "zz"}, problems);
  EXPECT_EQ((std::vector<std::string>{"c", "zz"}), report.labels);
  EXPECT_EQ(1, report.totals[0].in);
  ASSERT_EQ(1u, problems.size());
  EXPECT_EQ("--label: no figures for label 'zz'", describe(problems[0]));
}

TEST(Report, NothingRecordedGivesNoDays) {
  Problems problems;
  Report report = buildreport({"wan"}, {}, std::nullopt, 7, {}, problems);
  EXPECT_TRUE(report.days.empty());
  EXPECT_EQ(1u, report.totals.size());
}

}  // namespace
