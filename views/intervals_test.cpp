#include "intervals.h"

#include <gtest/gtest.h>

#include "intervalviews.h"

namespace {

using namespace std::chrono;

const sys_days kday = sys_days(year(2026) / December / 8);

// The lines of a text written like the daemon's file, as parsed.
std::vector<FiveMinRecord> lines(const std::string& text, Problems& problems) {
  return parsesnapshots(text, "history.5min", problems);
}

LocalClock at(sys_days date, int hour, int minute, int second = 0) {
  return {date, hour * 3600 + minute * 60 + second};
}

// The wan figures of each interval: "in/out", or "-" without one.
std::vector<std::string> wan(const IntervalReport& report) {
  std::vector<std::string> shown;
  for (const IntervalRow& row : report.rows) {
    const std::optional<Sums>& c = row.counts[0];
    shown.push_back(!row.recorded ? "-"
                    : c           ? widetext(c->in) + "/" + widetext(c->out)
                                  : "none");
  }
  return shown;
}

// The totals only grow within a date: a line below an earlier one is named
// and skipped, and the next one is compared with the last line kept.
TEST(FiveMinuteLines, ALineBelowAnEarlierOneOfItsDateIsSkipped) {
  Problems problems;
  std::vector<FiveMinRecord> read = lines(
      "[2026-12-08 14:05] wan 81234567 2345678 lan 1234 5678 \n"
      "[2026-12-08 14:10] wan 81234560 2345679 lan 1234 5678 \n"
      "[2026-12-08 14:15] wan 81234567 2345678 lan 1234 5678 \n"
      "[2026-12-09 00:00] wan 0 0 \n",
      problems);
  ASSERT_EQ(3u, read.size());
  EXPECT_EQ(3u, read[1].line);
  EXPECT_EQ(kday + days(1), read[2].stamp.date);
  ASSERT_EQ(1u, problems.size());
  EXPECT_EQ(2u, problems[0].line);
  EXPECT_NE(std::string::npos, problems[0].message.find("below line 1"));
}

TEST(Intervals, WindowEndsWithTheRunningIntervalAcrossMidnight) {
  IntervalRange range = lastintervals(at(kday, 1, 7, 30), Grain::hour, 3);
  EXPECT_EQ(wallminute(kday - days(1), 23 * 60), range.first);
  EXPECT_EQ(3, range.count);
  EXPECT_EQ(wallminute(kday, 60), lastintervals(at(kday, 1, 7), Grain::fiveminutes, 2).first);
  EXPECT_EQ(288, dateintervals(kday, Grain::fiveminutes).count);
}

// A finished day with a gap, a lost line and its history line: each hour is
// a difference of two lines, and the hours add up to the day.
TEST(Intervals, HoursOfAFinishedDayAddUpToItsHistoryLine) {
  Problems problems;
  std::vector<FiveMinRecord> snapshots = lines(
      "[2026-12-08 00:00] wan 0 0 \n"
      "[2026-12-08 01:00] wan 100 10 \n"
      "[2026-12-08 01:55] wan 150 15 \n"  // the 02:00 line is missing
      "[2026-12-08 02:05] wan 400 40 \n"
      "[2026-12-08 03:00] wan 500 50 \n"  // then the daemon stopped until 22:10
      "[2026-12-08 22:10] wan 500 50 \n"
      "[2026-12-08 23:00] wan 700 70 \n",
      problems);
  Figures figures{{"wan"}, {{kday, {{"wan", {1000, 100}}}, 1}}, std::nullopt};
  IntervalReport report = buildintervals(figures, snapshots, Grain::hour,
                                         dateintervals(kday, Grain::hour), at(kday + days(1), 9, 0),
                                         {}, problems);
  std::vector<std::string> shown = wan(report);
  ASSERT_EQ(24u, shown.size());
  EXPECT_EQ("100/10", shown[0]);
  EXPECT_EQ("50/5", shown[1]);    // up to the 01:55 line
  EXPECT_EQ("350/35", shown[2]);  // the bytes after 01:55 go to the next line's hour
  EXPECT_EQ("0/0", shown[3]);
  EXPECT_EQ("200/20", shown[22]);
  EXPECT_EQ("300/30", shown[23]);  // the last hour ends with the history line
  EXPECT_EQ(1000, report.totals[0].in);
  EXPECT_EQ(100, report.totals[0].out);
  EXPECT_FALSE(report.rows[23].running);
  EXPECT_TRUE(problems.empty());
}

TEST(Intervals, NoFigureBeforeTheStartLineNorAfterTheLastWithoutAHistoryLine) {
  Problems problems;
  // The daemon started counting at 10:20 with figures from earlier on.
  std::vector<FiveMinRecord> snapshots = lines(
      "[2026-12-08 10:20] wan 300 30 \n"
      "[2026-12-08 11:00] wan 350 35 \n"
      "[2026-12-08 12:00] wan 360 36 \n"
      "[2026-12-08 23:55] wan 370 37 \n",
      problems);
  Figures figures{{"wan"}, {}, std::nullopt};
  IntervalReport report = buildintervals(figures, snapshots, Grain::hour,
                                         dateintervals(kday, Grain::hour), at(kday + days(1), 9, 0),
                                         {}, problems);
  std::vector<std::string> shown = wan(report);
  EXPECT_EQ("-", shown[9]);
  EXPECT_EQ("50/5", shown[10]);  // counted from the start line
  EXPECT_EQ("10/1", shown[11]);
  EXPECT_EQ("-", shown[23]);  // the day's end is not known: no history line
  EXPECT_EQ(60, report.totals[0].in);
}

TEST(Intervals, TheRunningHourCountsUpToTheTodayFileAndLaterHoursHaveNone) {
  Problems problems;
  std::vector<FiveMinRecord> snapshots = lines(
      "[2026-12-08 00:00] wan 0 0 \n"
      "[2026-12-08 14:00] wan 800 80 \n"
      "[2026-12-08 14:05] wan 900 90 \n",
      problems);
  Figures figures{{"wan"}, {}, DayRecord{kday, {{"wan", {1000, 100}}}, 0}};
  IntervalReport report = buildintervals(figures, snapshots, Grain::hour,
                                         dateintervals(kday, Grain::hour), at(kday, 14, 7, 12),
                                         {}, problems);
  EXPECT_TRUE(report.rows[14].running);
  EXPECT_EQ("200/20", wan(report)[14]);
  EXPECT_EQ("-", wan(report)[15]);
  EXPECT_EQ(1000, report.totals[0].in);

  IntervalReport fives = buildintervals(figures, snapshots, Grain::fiveminutes,
                                        lastintervals(at(kday, 14, 7, 12), Grain::fiveminutes, 3),
                                        at(kday, 14, 7, 12), {}, problems);
  EXPECT_EQ((std::vector<std::string>{"800/80", "100/10", "100/10"}), wan(fives));
  EXPECT_TRUE(fives.rows[2].running);
  EXPECT_FALSE(fives.rows[1].running);
  EXPECT_EQ("2026-12-08 14:05", intervalstart(fives.rows[2]));
}

TEST(Intervals, ThinnedAndRemovedDatesHaveNoFigureAtTheGrainsTheyLost) {
  Problems problems;
  sys_days old = kday - days(3), gone = kday - days(63);
  std::string text;
  for (auto [date, rest] : {std::pair{gone, " 00:00] wan 0 0 \n"}, {gone, " 01:00] wan 5 5 \n"},
                            {old, " 00:00] wan 0 0 \n"}, {old, " 00:55] wan 5 5 \n"},
                            {old, " 02:00] wan 30 30 \n"}})
    text.append("[").append(formatdate(date)).append(rest);
  std::vector<FiveMinRecord> snapshots = lines(text, problems);
  Figures figures{{"wan"}, {}, std::nullopt};
  LocalClock now = at(kday, 12, 0);
  IntervalReport hours = buildintervals(figures, snapshots, Grain::hour,
                                        dateintervals(old, Grain::hour), now, {}, problems);
  EXPECT_EQ("5/5", wan(hours)[0]);  // 00:55 kept for 01:00
  EXPECT_EQ("25/25", wan(hours)[1]);
  IntervalReport fives = buildintervals(figures, snapshots, Grain::fiveminutes,
                                        dateintervals(old, Grain::fiveminutes), now, {}, problems);
  for (const IntervalRow& row : fives.rows) EXPECT_FALSE(row.recorded);
  IntervalReport removed = buildintervals(figures, snapshots, Grain::hour,
                                          dateintervals(gone, Grain::hour), now, {}, problems);
  EXPECT_FALSE(removed.rows[0].recorded);
  EXPECT_EQ(0, removed.totals[0].in);
}

TEST(Intervals, NeverANegativeFigureAndLabelsAsTheDayView) {
  Problems problems;
  std::vector<FiveMinRecord> snapshots = lines(
      "[2026-12-08 00:00] wan 0 0 \n"
      "[2026-12-08 01:00] wan 100 10 extra 5 5 \n",
      problems);
  // A history line below the last line: that label has no figure.
  Figures figures{{"wan", "lan"}, {{kday, {{"wan", {50, 50}}, {"extra", {9, 9}}}, 1}},
                  std::nullopt};
  IntervalReport report = buildintervals(figures, snapshots, Grain::hour,
                                         dateintervals(kday, Grain::hour), at(kday + days(1), 1, 0),
                                         {}, problems);
  EXPECT_EQ((std::vector<std::string>{"wan", "lan", "extra"}), report.labels);
  EXPECT_TRUE(report.rows[23].recorded);
  EXPECT_FALSE(report.rows[23].counts[0]);  // wan 50 after 100
  EXPECT_EQ(4, report.rows[23].counts[2]->in);
  EXPECT_FALSE(report.rows[1].counts[1]);  // lan has no figures at all

  IntervalReport only = buildintervals(figures, snapshots, Grain::hour,
                                       dateintervals(kday, Grain::hour), at(kday + days(1), 1, 0),
                                       {"extra", "dmz"}, problems);
  EXPECT_EQ((std::vector<std::string>{"extra", "dmz"}), only.labels);
  ASSERT_EQ(1u, problems.size());
  EXPECT_EQ("no figures for label 'dmz'", problems[0].message);
}

TEST(IntervalViews, TableJsonAndChartMarkTheRunningAndTheMissing) {
  Problems problems;
  std::vector<FiveMinRecord> snapshots = lines("[2026-12-08 14:00] wan 800 80 \n", problems);
  Figures figures{{"wan"}, {}, DayRecord{kday, {{"wan", {1000, 100}}}, 0}};
  IntervalReport report = buildintervals(figures, snapshots, Grain::hour,
                                         lastintervals(at(kday, 14, 30), Grain::hour, 2),
                                         at(kday, 14, 30), {}, problems);
  EXPECT_EQ(
      "                            wan\n"
      "hour                           in   out\n"
      "2026-12-08 13:00                -     -\n"
      "2026-12-08 14:00 running    200 B  20 B\n"
      "total                       200 B  20 B\n",
      formatintervaltable(report));
  EXPECT_EQ(
      "{\n  \"labels\": [\"wan\"],\n  \"hours\": [\n"
      "    {\"start\": \"2026-12-08 13:00\", \"running\": false, \"traffic\": null},\n"
      "    {\"start\": \"2026-12-08 14:00\", \"running\": true, \"traffic\": {\"wan\": {\"in\": 200, "
      "\"out\": 20}}}\n  ],\n  \"total\": {\"wan\": {\"in\": 200, \"out\": 20}}\n}\n",
      formatintervalsjson(report));
  Chart chart = intervalchart(report);
  ASSERT_EQ(2u, chart.slots.size());
  EXPECT_FALSE(chart.slots[0].recorded);
  EXPECT_TRUE(chart.slots[1].running);
  EXPECT_EQ("14:00", chart.slots[1].tick);
}

}  // namespace
