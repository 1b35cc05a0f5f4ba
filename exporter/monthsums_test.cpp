#include "monthsums.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::sys_days;

sys_days testdate(int y, unsigned m, unsigned d) {
  return sys_days(std::chrono::year(y) / std::chrono::month(m) / std::chrono::day(d));
}

DayRecord record(sys_days date, Items items) {
  return {date, std::move(items), 0};
}

// A history around the end of March 2026 and of the year before, with a
// line that a clock set wrong dated in the future.
std::vector<DayRecord> history() {
  return {record(testdate(2025, 12, 31), {{"wan", {1, 1}}}),
          record(testdate(2026, 2, 28), {{"wan", {10, 1}}}),
          record(testdate(2026, 3, 1), {{"wan", {100, 2}}, {"lan", {7, 7}}}),
          record(testdate(2026, 3, 30), {{"wan", {1000, 3}}}),
          record(testdate(2026, 3, 31), {{"wan", {10000, 4}}}),
          record(testdate(2026, 4, 20), {{"wan", {99999, 99}}})};
}

TEST(MonthSums, TakesTheMonthsLinesUpToTheDay) {
  LabelSums march = monthsums(history(), testdate(2026, 3, 31));
  EXPECT_EQ(11100, march.at("wan").in);
  EXPECT_EQ(9, march.at("wan").out);
  EXPECT_EQ(7, march.at("lan").in);
  // Mid-month: the later lines of the month are not yet part of it.
  EXPECT_EQ(100, monthsums(history(), testdate(2026, 3, 15)).at("wan").in);
  // A new month holds only its own days, never one dated after the day.
  EXPECT_TRUE(monthsums(history(), testdate(2026, 4, 1)).empty());
  EXPECT_EQ(0u, monthsums(history(), testdate(2026, 1, 1)).count("wan"));
  EXPECT_EQ(1, monthsums(history(), testdate(2025, 12, 31)).at("wan").in);
}

}  // namespace
