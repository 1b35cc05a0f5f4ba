#include "runningday.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;

constexpr sys_days kfinished = sys_days(2026y / December / 7);
constexpr sys_days ktoday = kfinished + days(1);

const Items kitems = {{"wan", {300, 400}}, {"lan", {5, 6}}};

std::string describe(const std::optional<DayRecord>& day) {
  if (!day) return "none";
  std::string text = formatdate(day->date);
  for (const Item& item : day->items)
    text += " " + item.label + " " + std::to_string(item.counts.in) + " " +
            std::to_string(item.counts.out);
  return text;
}

TEST(RunningDay, TodayItemsBelongToTheDayFilesDate) {
  DayRecord dayfile{kfinished, {{"wan", {1, 2}}}, 1};
  EXPECT_EQ("2026-12-07 wan 300 400 lan 5 6",
            describe(runningday(kitems, dayfile, kfinished - days(1), ktoday)));
  EXPECT_EQ("2026-12-07 wan 300 400 lan 5 6",
            describe(runningday(kitems, dayfile, std::nullopt, ktoday)));
  // No day file yet (a fresh daemon): they are today's.
  EXPECT_EQ("2026-12-08 wan 300 400 lan 5 6",
            describe(runningday(kitems, std::nullopt, kfinished, ktoday)));
  // No today file (missing, empty or stale): the day file stands in.
  EXPECT_EQ("2026-12-07 wan 1 2",
            describe(runningday(std::nullopt, dayfile, kfinished - days(1), ktoday)));
  EXPECT_EQ("none", describe(runningday(std::nullopt, std::nullopt, kfinished, ktoday)));
}

// The daemon has appended the finished day to the history but not yet
// rewritten the today and day files: nothing counts twice.
TEST(RunningDay, DayAlreadyInTheHistoryHasCountedNothingYet) {
  DayRecord dayfile{kfinished, kitems, 1};
  for (sys_days newest : {kfinished, kfinished + days(3)})
    EXPECT_EQ("2026-12-08 wan 0 0 lan 0 0", describe(runningday(kitems, dayfile, newest, ktoday)));
  EXPECT_EQ("none", describe(runningday(std::nullopt, dayfile, kfinished, ktoday)));
}

// A line dated after today (a clock once set wrong) archives no day: the
// running day still counts.
TEST(RunningDay, NewestHistoryDateUpToToday) {
  EXPECT_FALSE(newestdate({}, ktoday));
  std::vector<DayRecord> history = {{kfinished - days(2), {}, 1},
                                    {sys_days(2999y / January / 1), {}, 2},
                                    {kfinished - days(1), {}, 3}};
  EXPECT_EQ(kfinished - days(1), newestdate(history, ktoday));
  EXPECT_EQ("2026-12-07 wan 300 400 lan 5 6",
            describe(runningday(kitems, DayRecord{kfinished, {}, 1}, newestdate(history, ktoday),
                                ktoday)));
  history.push_back({kfinished, {}, 4});
  EXPECT_EQ(kfinished, newestdate(history, ktoday));
}

}  // namespace
