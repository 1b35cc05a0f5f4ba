#include "daybook.h"

#include <gtest/gtest.h>

#include "datestamp.h"
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

// A clock that boots at an old date must neither archive nor restart the day
// the files hold: it resumes it and counts into it.
TEST(Recovery, ClockBehindTheStoredDay) {
  tm stored = date(2026, 12, 7), earlier = date(2026, 12, 6), boot = date(2000, 1, 1);
  EXPECT_EQ(Recovery::resume, chooserecovery(0, stored, 0, earlier, boot));
  EXPECT_EQ(Recovery::resume, chooserecovery(0, stored, -1, earlier, date(2026, 12, 6)));
  EXPECT_EQ(Recovery::archived, chooserecovery(0, stored, 0, stored, boot));
  // A history that ends after the day file: the day file's day is a past one.
  EXPECT_EQ(Recovery::archive, chooserecovery(0, earlier, 0, stored, boot));

  StartDay start = choosestartday(0, stored, 0, earlier, boot);
  EXPECT_TRUE(start.behind && !start.archived && samedate(start.day, stored));
  start = choosestartday(0, earlier, 0, stored, boot);
  EXPECT_TRUE(start.behind && start.archived && samedate(start.day, stored));
  start = choosestartday(-1, boot, 0, stored, boot);
  EXPECT_TRUE(start.behind && start.archived && samedate(start.day, stored));
  start = choosestartday(0, stored, 0, stored, boot);
  EXPECT_TRUE(start.behind && start.archived && samedate(start.day, stored));
  // Right or ahead of every stored date: the clock's own day.
  for (const tm& now : {stored, date(2026, 12, 8), date(2027, 1, 1)}) {
    start = choosestartday(0, stored, 0, earlier, now);
    EXPECT_TRUE(!start.behind && !start.archived && samedate(start.day, now));
  }
  start = choosestartday(-1, boot, -3, boot, boot);
  EXPECT_TRUE(!start.behind && samedate(start.day, boot));
}

tm at(int year, int month, int day, int hour, int minute) {
  tm t = date(year, month, day);
  t.tm_hour = hour;
  t.tm_min = minute;
  return t;
}

// Cases are (accounting day, previous cycle, current cycle).
TEST(CycleStep, DayChangeBeforeMinuteAndWholeDates) {
  tm noon = at(2026, 3, 7, 12, 5);
  EXPECT_EQ(CycleStep::none, choosecyclestep(noon, noon, at(2026, 3, 7, 12, 5)));
  EXPECT_EQ(CycleStep::minutepersist, choosecyclestep(noon, noon, at(2026, 3, 7, 12, 6)));
  EXPECT_EQ(CycleStep::minutepersist, choosecyclestep(noon, noon, at(2026, 3, 7, 13, 5 + 1)));
  // Midnight changes the minute too; the day change wins.
  tm late = at(2026, 3, 7, 23, 59);
  EXPECT_EQ(CycleStep::daychange, choosecyclestep(late, late, at(2026, 3, 8, 0, 0)));
  // Resumed on the same day of month, a month or a year later.
  EXPECT_EQ(CycleStep::daychange, choosecyclestep(noon, noon, at(2026, 4, 7, 12, 5)));
  EXPECT_EQ(CycleStep::daychange, choosecyclestep(noon, noon, at(2027, 3, 7, 12, 5)));
}

// A clock set back, by a day or to a boot date, never closes the day; the
// minute persist follows the clock's own minutes meanwhile.
TEST(CycleStep, ClockBehindTheDayKeepsIt) {
  tm day = at(2026, 3, 8, 0, 0);
  EXPECT_EQ(CycleStep::minutepersist, choosecyclestep(day, day, at(2026, 3, 7, 23, 59)));
  tm boot = at(2000, 1, 1, 0, 0);
  EXPECT_EQ(CycleStep::none, choosecyclestep(day, boot, at(2000, 1, 1, 0, 0)));
  EXPECT_EQ(CycleStep::minutepersist, choosecyclestep(day, boot, at(2000, 1, 1, 0, 1)));
  // Back on the day: carries on; past it: a normal change of day.
  EXPECT_EQ(CycleStep::minutepersist, choosecyclestep(day, boot, at(2026, 3, 8, 9, 30)));
  EXPECT_EQ(CycleStep::daychange, choosecyclestep(day, boot, at(2026, 3, 9, 9, 30)));
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
