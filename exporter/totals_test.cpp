#include "totals.h"

#include "daemonfiles.h"
#include "runningday.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::sys_days;

sys_days testdate(int y, unsigned m, unsigned d) {
  return sys_days(std::chrono::year(y) / std::chrono::month(m) / std::chrono::day(d));
}

// The daemon's three files at one moment, as a scrape would read them.
struct Files {
  std::vector<DayRecord> history;
  std::optional<std::string> today;  // nullopt: unreadable
  std::optional<DayRecord> dayfile;
  bool todaystale = false;
};

DayRecord record(sys_days date, Items items) {
  return {date, std::move(items), 0};
}

// What one scrape would publish for wan.
Counts scrape(MonotoneTotals& totals, const Files& files) {
  Problems problems;
  std::optional<Items> today =
      files.today ? todayitems(*files.today, "today", problems) : std::nullopt;
  if (files.todaystale && files.dayfile) today = std::nullopt;  // the readers' rule
  LabelSums sums =
      addday(historysums(files.history),
             runningday(today, files.dayfile, newestdate(files.history, testdate(2026, 3, 8)),
                        testdate(2026, 3, 8)));
  return totals.publish(sums).at("wan");
}

// Every state a scrape can meet while the daemon changes day: it appends the
// finished day to the history, truncates and rewrites the today file, then
// replaces the day file. No state counts the finished day twice or loses it.
TEST(Totals, DayChangeNeverDoublesOrDrops) {
  sys_days d6 = testdate(2026, 3, 6), d7 = testdate(2026, 3, 7), d8 = testdate(2026, 3, 8);
  DayRecord past = record(d6, {{"wan", {1000, 100}}});
  DayRecord finished = record(d7, {{"wan", {500, 50}}});
  std::vector<DayRecord> before = {past}, after = {past, finished};
  std::vector<std::pair<const char*, Files>> states = {
      {"running", {before, "wan 400 40 ", record(d7, {{"wan", {300, 30}}})}},
      {"last second", {before, "wan 500 50 ", record(d7, {{"wan", {300, 30}}})}},
      {"history appended", {after, "wan 500 50 ", record(d7, {{"wan", {300, 30}}})}},
      {"today truncated", {after, "", record(d7, {{"wan", {300, 30}}})}},
      {"today rewritten", {after, "wan 0 0 ", record(d7, {{"wan", {300, 30}}})}},
      {"day file replaced", {after, "wan 0 0 ", record(d8, {{"wan", {0, 0}}})}},
      {"new day counts", {after, "wan 20 2 ", record(d8, {{"wan", {0, 0}}})}},
  };
  const Counts expected[] = {{1400, 140}, {1500, 150}, {1500, 150}, {1500, 150},
                             {1500, 150}, {1500, 150}, {1520, 152}};
  MonotoneTotals totals;
  for (size_t i = 0; i < states.size(); ++i) {
    Counts shown = scrape(totals, states[i].second);
    EXPECT_EQ(expected[i].in, shown.in) << states[i].first;
    EXPECT_EQ(expected[i].out, shown.out) << states[i].first;
  }
}

// A scrape that reads the history before the append and the today file after
// the rewrite sees less than before: the published total holds.
TEST(Totals, TornReadsNeverLowerTheTotal) {
  sys_days d6 = testdate(2026, 3, 6), d7 = testdate(2026, 3, 7);
  std::vector<DayRecord> history = {record(d6, {{"wan", {1000, 100}}})};
  MonotoneTotals totals;
  scrape(totals, {history, "wan 500 50 lan 7 0 ", record(d7, {})});
  for (const char* torn : {"wan 0 0 ", "", "wan 5", "wan 500 5", "wan", "w"}) {
    Counts shown = scrape(totals, {history, std::string(torn), record(d7, {{"wan", {3, 3}}})});
    EXPECT_EQ(1500, shown.in) << torn;
    EXPECT_EQ(150, shown.out) << torn;
  }
  EXPECT_EQ(4000, scrape(totals, {history, "wan 3000 50 ", record(d7, {})}).in);
}

// A daemon restarted after midnight archives the day file's day and starts
// at zero; until its first cycle the today file still holds the old day.
TEST(Totals, StaleTodayFileAfterARestartIsNotCounted) {
  sys_days d6 = testdate(2026, 3, 6), d7 = testdate(2026, 3, 7);
  std::vector<DayRecord> archived = {record(d6, {{"wan", {900, 90}}})};
  MonotoneTotals totals;
  Files restarted{archived, "wan 900 90 ", record(d7, {{"wan", {0, 0}}}), true};
  EXPECT_EQ(900, scrape(totals, restarted).in);
  restarted.todaystale = false;
  restarted.today = "wan 12 1 ";
  EXPECT_EQ(912, scrape(totals, restarted).in);
  // Without a day file (a first start), the today file alone counts.
  MonotoneTotals fresh;
  EXPECT_EQ(912, scrape(fresh, {archived, "wan 12 1 ", std::nullopt}).in);
  // Without a readable today file, the day file's items stand in.
  EXPECT_EQ(1000, scrape(fresh, {archived, std::nullopt, record(d7, {{"wan", {100, 0}}})}).in);
}

// A history line dated after today (a clock once set wrong) archives no day:
// the running day still counts, and goes on counting.
TEST(Totals, FutureLineDoesNotStopTheRunningDay) {
  std::vector<DayRecord> history = {record(testdate(2026, 3, 6), {{"wan", {1000, 100}}}),
                                    record(testdate(2999, 1, 1), {{"wan", {7, 7}}})};
  DayRecord dayfile = record(testdate(2026, 3, 8), {{"wan", {0, 0}}});
  MonotoneTotals totals;
  EXPECT_EQ(1047, scrape(totals, {history, "wan 40 60 ", dayfile}).in);
  EXPECT_EQ(1057, scrape(totals, {history, "wan 50 60 ", dayfile}).in);
}

// Years of counts as large as a line may hold don't wrap the sum.
TEST(Totals, SumsSaturate) {
  sys_days d6 = testdate(2026, 3, 6), d7 = testdate(2026, 3, 7);
  const int64_t big = INT64_MAX - 5;
  LabelSums sums =
      addday(historysums({record(d6, {{"wan", {big, 1}}}), record(d7, {{"wan", {big, 2}}})}),
             record(d7, {{"wan", {big, 3}}}));
  EXPECT_EQ(INT64_MAX, sums["wan"].in);
  EXPECT_EQ(6, sums["wan"].out);
}

}  // namespace
