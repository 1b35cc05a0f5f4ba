#include "daybook.h"

#include <gtest/gtest.h>

#include "testdate.h"

namespace {

TEST(Recovery, DecisionTable) {
  tm today = date(2026, 12, 7), yesterday = date(2026, 12, 6), before = date(2026, 12, 5);
  EXPECT_EQ(Recovery::fresh, chooserecovery(-1, today, 0, before, today));
  EXPECT_EQ(Recovery::fresh, chooserecovery(-3, today, 0, before, today));
  EXPECT_EQ(Recovery::archived, chooserecovery(0, yesterday, 0, yesterday, today));
  EXPECT_EQ(Recovery::archived, chooserecovery(0, today, 0, today, today));
  EXPECT_EQ(Recovery::resume, chooserecovery(0, today, 0, before, today));
  EXPECT_EQ(Recovery::resume, chooserecovery(0, today, -1, today, today));
  EXPECT_EQ(Recovery::archive, chooserecovery(0, yesterday, 0, before, today));
  EXPECT_EQ(Recovery::archive, chooserecovery(0, yesterday, -2, yesterday, today));
  EXPECT_EQ(Recovery::archive, chooserecovery(0, date(2026, 11, 7), 0, before, today));
}

tm at(int year, int month, int day, int hour, int minute) {
  tm t = date(year, month, day);
  t.tm_hour = hour;
  t.tm_min = minute;
  return t;
}

TEST(CycleStep, DayChangeBeforeMinuteAndWholeDates) {
  EXPECT_EQ(CycleStep::none, choosecyclestep(at(2026, 3, 7, 12, 5), at(2026, 3, 7, 12, 5)));
  EXPECT_EQ(CycleStep::minutepersist,
            choosecyclestep(at(2026, 3, 7, 12, 5), at(2026, 3, 7, 12, 6)));
  EXPECT_EQ(CycleStep::minutepersist,
            choosecyclestep(at(2026, 3, 7, 12, 5), at(2026, 3, 7, 13, 5 + 1)));
  // Midnight changes the minute too; the day change wins.
  EXPECT_EQ(CycleStep::daychange, choosecyclestep(at(2026, 3, 7, 23, 59), at(2026, 3, 8, 0, 0)));
  // Resumed on the same day of month, a month or a year later.
  EXPECT_EQ(CycleStep::daychange, choosecyclestep(at(2026, 3, 7, 12, 5), at(2026, 4, 7, 12, 5)));
  EXPECT_EQ(CycleStep::daychange, choosecyclestep(at(2026, 3, 7, 12, 5), at(2027, 3, 7, 12, 5)));
  // A clock set back a day is a change of date as well.
  EXPECT_EQ(CycleStep::daychange, choosecyclestep(at(2026, 3, 8, 0, 0), at(2026, 3, 7, 23, 59)));
}

TEST(SleepRequest, EndsOnTheNextWholeSecond) {
  timespec request = sleeprequest({5, 250'000'000});
  EXPECT_EQ(0, request.tv_sec);
  EXPECT_EQ(750'000'000, request.tv_nsec);
  request = sleeprequest({5, 0});
  EXPECT_EQ(1, request.tv_sec);
  EXPECT_EQ(0, request.tv_nsec);
  request = sleeprequest({5, 999'999'999});
  EXPECT_EQ(1, request.tv_nsec);
}

}  // namespace
