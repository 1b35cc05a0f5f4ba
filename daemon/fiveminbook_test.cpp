#include "fiveminbook.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using std::chrono::December;
using std::chrono::sys_days;

tm clockat(int mday, int hour, int minute, int second = 0) {
  tm t{};
  t.tm_year = 126, t.tm_mon = 11, t.tm_mday = mday;
  t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
  return t;
}

MinuteStamp stamp(int mday, int hour, int minute) {
  return {sys_days(std::chrono::year(2026) / December / mday), hour * 60 + minute};
}

const std::optional<MinuteStamp> none;

TEST(FiveMinDecisions, ALineAtEachBoundaryCrossedOnlyOnceAndOnlyForTheLatest) {
  tm day = clockat(8, 0, 0);
  EXPECT_EQ(stamp(8, 14, 5),
            chooseboundarystamp(day, clockat(8, 14, 4, 59), clockat(8, 14, 5, 0), none));
  EXPECT_EQ(stamp(8, 0, 0),
            chooseboundarystamp(day, clockat(7, 23, 59, 59), clockat(8, 0, 0, 1), none));
  EXPECT_EQ(none, chooseboundarystamp(day, clockat(8, 14, 5, 0), clockat(8, 14, 5, 1), none));
  EXPECT_EQ(none, chooseboundarystamp(day, clockat(8, 14, 6, 59), clockat(8, 14, 7, 0), none));
  // A clock stepped forward over two boundaries writes the later one.
  EXPECT_EQ(stamp(8, 14, 15),
            chooseboundarystamp(day, clockat(8, 14, 3), clockat(8, 14, 17), none));
}

TEST(FiveMinDecisions, NeverALineNotAfterThePreviousOneOfItsDate) {
  tm day = clockat(8, 0, 0);
  auto last = std::optional(stamp(8, 14, 20));
  // Stepped back inside the day: nothing until the clock passes 14:20.
  EXPECT_EQ(none, chooseboundarystamp(day, clockat(8, 14, 20, 30), clockat(8, 14, 3), last));
  EXPECT_EQ(none, chooseboundarystamp(day, clockat(8, 14, 4, 59), clockat(8, 14, 5), last));
  EXPECT_EQ(none, chooseboundarystamp(day, clockat(8, 14, 19, 59), clockat(8, 14, 20), last));
  EXPECT_EQ(stamp(8, 14, 25),
            chooseboundarystamp(day, clockat(8, 14, 24, 59), clockat(8, 14, 25), last));
  // The hour that a change from summer time repeats.
  last = stamp(8, 2, 55);
  EXPECT_EQ(none, chooseboundarystamp(day, clockat(8, 2, 59, 59), clockat(8, 2, 0), last));
  EXPECT_EQ(none, chooseboundarystamp(day, clockat(8, 2, 54, 59), clockat(8, 2, 55), last));
  EXPECT_EQ(stamp(8, 3, 0),
            chooseboundarystamp(day, clockat(8, 2, 59, 59), clockat(8, 3, 0), last));
  // A line of another date doesn't hold a new date back.
  EXPECT_EQ(stamp(9, 0, 5), chooseboundarystamp(clockat(9, 0, 0), clockat(9, 0, 4),
                                                clockat(9, 0, 5), stamp(8, 23, 55)));
}

TEST(FiveMinDecisions, NoLineWhileTheClockIsBehindTheStoredDay) {
  tm stored = clockat(8, 0, 0);
  EXPECT_EQ(none, chooseboundarystamp(stored, clockat(1, 14, 4), clockat(1, 14, 5), none));
  EXPECT_EQ(none, choosestartstamp(stored, clockat(1, 14, 7), none));
  EXPECT_EQ(none, choosestopstamp(stored, clockat(1, 14, 7), none));
  // Back on the stored day, the boundary crossed since the clock was behind is written.
  EXPECT_EQ(stamp(8, 9, 30),
            chooseboundarystamp(stored, clockat(1, 23, 59), clockat(8, 9, 31), stamp(8, 9, 0)));
}

TEST(FiveMinDecisions, StartStopAndMidnight) {
  tm day = clockat(8, 0, 0);
  EXPECT_EQ(stamp(8, 14, 7), choosestartstamp(day, clockat(8, 14, 7, 30), none));
  EXPECT_EQ(stamp(8, 14, 8), choosestopstamp(day, clockat(8, 14, 7, 23), none));
  EXPECT_EQ(stamp(8, 14, 8), choosestopstamp(day, clockat(8, 14, 7, 0), none));
  EXPECT_EQ(none, choosestopstamp(day, clockat(8, 23, 59, 1), none));
  EXPECT_EQ(stamp(8, 23, 59), choosestopstamp(day, clockat(8, 23, 58, 59), none));
  // A stop, then a start and a second stop inside the same minute.
  auto last = std::optional(stamp(8, 14, 8));
  EXPECT_EQ(none, choosestartstamp(day, clockat(8, 14, 7, 50), last));
  EXPECT_EQ(none, choosestopstamp(day, clockat(8, 14, 7, 55), last));
  EXPECT_EQ(stamp(8, 14, 9), choosestopstamp(day, clockat(8, 14, 8, 1), last));
  EXPECT_EQ(stamp(9, 0, 0), choosedaystartstamp(clockat(9, 0, 0, 1), stamp(8, 23, 59)));
  EXPECT_EQ(none, choosedaystartstamp(clockat(9, 0, 12), stamp(9, 0, 0)));
}

// "[YYYY-MM-DD HH:MM] wan N 0 \n" lines every five minutes of a date, the
// figure growing with the minute, without those from gapfrom to gapto.
std::string fullday(const std::string& date, int gapfrom = -1, int gapto = -1) {
  std::string text;
  for (int minute = 0; minute < 1440; minute += 5) {
    if (minute >= gapfrom && minute <= gapto) continue;
    char line[64];
    snprintf(line, sizeof line, "[%s %02d:%02d] wan %d 0 \n", date.c_str(), minute / 60,
             minute % 60, minute * 10);
    text += line;
  }
  return text;
}

// Each line's figure by its stamp text.
std::map<std::string, std::string> figures(const std::string& text) {
  std::map<std::string, std::string> byminute;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    std::string line = text.substr(at, end - at);
    byminute[line.substr(0, 18)] = line.size() > 19 ? line.substr(19) : "";
    at = end + 1;
  }
  return byminute;
}

TEST(FiveMinThinning, OldDatesKeepEveryHoursFigureAndTheOldestGo) {
  sys_days today = sys_days(std::chrono::year(2026) / December / 10);
  std::string text = fullday("2026-10-08") + fullday("2026-10-09") +
                     fullday("2026-12-07", 14 * 60, 14 * 60 + 15) + "not a line\n" +
                     fullday("2026-12-08") + fullday("2026-12-10");
  ThinnedFiveMin thinned = thinfivemin(text, today);
  auto kept = figures(thinned.text);
  EXPECT_EQ(0u, kept.count("[2026-10-08 00:00]")) << "more than 62 days before";
  EXPECT_EQ(1u, thinned.unreadable);
  EXPECT_EQ(1u, kept.count("not a line"));
  EXPECT_EQ(288u + 288u + 1u + 24u + 24u, kept.size());
  for (const char* date : {"2026-10-09", "2026-12-07"}) {
    for (int hour = 0; hour < 24; ++hour) {
      char name[32];
      // 14:00 fell in the gap: its figure is the last one before it.
      int minute = std::string(date) == "2026-12-07" && hour == 14 ? 13 * 60 + 55 : hour * 60;
      snprintf(name, sizeof name, "[%s %02d:%02d]", date, minute / 60, minute % 60);
      ASSERT_EQ(1u, kept.count(name)) << name;
      EXPECT_EQ("wan " + std::to_string(minute * 10) + " 0 ", kept[name]) << name;
    }
  }
  EXPECT_EQ(288u + (288u - 24u) + (284u - 24u), thinned.dropped);
  // Lines of the kept dates stay in their order and text.
  EXPECT_NE(std::string::npos, thinned.text.find(fullday("2026-12-08") + fullday("2026-12-10")));
  ThinnedFiveMin again = thinfivemin(thinned.text, today);
  EXPECT_EQ(0u, again.dropped);
  EXPECT_EQ(thinned.text, again.text);
}

TEST(FiveMinThinning, ADateWithFewLinesKeepsThemAll) {
  sys_days today = sys_days(std::chrono::year(2026) / December / 10);
  std::string text =
      "[2026-12-01 09:07] wan 5 0 \n[2026-12-01 09:12] wan 7 0 \n[2026-12-01 12:00] wan 9 0 \n";
  ThinnedFiveMin thinned = thinfivemin(text, today);
  // 10:00 and 11:00 keep 09:12; 09:07 is no hour's last line.
  EXPECT_EQ("[2026-12-01 09:12] wan 7 0 \n[2026-12-01 12:00] wan 9 0 \n", thinned.text);
  EXPECT_EQ("", thinfivemin("", today).text);
}

}  // namespace
