#include "scriptviews.h"

#include <gtest/gtest.h>

#include "textsafe.h"

namespace {

using namespace std::chrono;

sys_days date(int y, unsigned m, unsigned d) {
  return sys_days(year(y) / month(m) / day(d));
}

// Today is Mar 10 at 06:00; wan and "a;b" in the history, a line dated in
// the future that no period may count.
Figures sample() {
  return {{"wan", "vpn"},
          {{date(2026, 2, 27), {{"wan", {1000, 2000}}, {"a;b", {1, 1}}}, 1},
           {date(2026, 3, 9), {{"wan", {INT64_MAX, 5}}}, 2},
           {date(2026, 3, 11), {{"wan", {777, 777}}}, 3}},
          DayRecord{date(2026, 3, 10), {{"wan", {40, 60}}}, 0}};
}

constexpr LocalClock know{sys_days(year(2026) / March / 10), 6 * 3600};

TEST(Oneline, ElevenFieldsPerLabelInExactBytes) {
  Problems problems;
  EXPECT_EQ(
      "wan;2026-03-10;40;60;100;9223372036854775847;65;9223372036854775912;9223372036854776847;"
      "2065;9223372036854778912\n"
      "vpn;2026-03-10;0;0;0;0;0;0;0;0;0\n"
      "a\\x3bb;2026-03-10;0;0;0;0;0;0;1;1;2\n",
      formatoneline(sample(), know, {}, problems));
  EXPECT_EQ("vpn;2026-03-10;0;0;0;0;0;0;0;0;0\n", formatoneline(sample(), know, {"vpn"}, problems));
  EXPECT_TRUE(problems.empty());
}

TEST(Alert, OverTheLimitOnlyWhenExceeded) {
  Problems problems;
  AlertRule rule{100, Period::day, Direction::total, false, {}};
  EXPECT_FALSE(judgealert(sample(), know, rule, Units::si, problems));  // 100 is not over 100
  rule.limit = 99;
  EXPECT_EQ("day 2026-03-10 total 100 B exceeds 99 B (100 > 99 bytes)\n",
            judgealert(sample(), know, rule, Units::si, problems).value_or(""));
  rule.direction = Direction::in;
  EXPECT_FALSE(judgealert(sample(), know, rule, Units::si, problems));  // 40 in
  rule.estimate = true;  // 40 B in a quarter of the day: 160 B
  EXPECT_EQ("day 2026-03-10 in estimate 160 B exceeds 99 B (160 > 99 bytes)\n",
            judgealert(sample(), know, rule, Units::si, problems).value_or(""));
  EXPECT_TRUE(problems.empty());
}

TEST(Alert, MonthLabelsAndEstimate) {
  Problems problems;
  AlertRule rule{widecount{INT64_MAX} + 40, Period::month, Direction::in, false, {"wan"}};
  EXPECT_FALSE(judgealert(sample(), know, rule, Units::si, problems));  // exactly at the limit
  rule.limit -= 1;
  EXPECT_EQ(
      "month 2026-03 in 9223372.04 TB exceeds 9223372.04 TB (9223372036854775847 > "
      "9223372036854775846 bytes) for wan\n",
      judgealert(sample(), know, rule, Units::si, problems).value_or(""));
  rule = {200, Period::month, Direction::out, true, {"wan"}};  // 65 B in 9.25 of 31 days: 218 B
  EXPECT_TRUE(alerttraffic(sample(), know, rule, problems) == 218);
  EXPECT_TRUE(judgealert(sample(), know, rule, Units::si, problems));
  rule.labels = {"vpn"};
  EXPECT_FALSE(judgealert(sample(), know, rule, Units::si, problems));
}

TEST(Limit, UnitsFractionsAndMistakes) {
  std::string error;
  EXPECT_TRUE(parselimit("500GB", error) == widecount{500'000'000'000});
  EXPECT_TRUE(parselimit("1.5TB", error) == widecount{1'500'000'000'000});
  EXPECT_TRUE(parselimit("200GiB", error) == widecount{200} * 1024 * 1024 * 1024);
  EXPECT_TRUE(parselimit("0.5 kib", error) == widecount{512});
  EXPECT_TRUE(parselimit("1234567", error) == widecount{1234567});
  EXPECT_TRUE(parselimit("10000000000000000000PiB", error) > widecount{INT64_MAX});
  for (const char* bad : {"", "GB", "-5GB", "1..5GB", "1.GB", "five", "10 XB", "1e9"}) {
    EXPECT_FALSE(parselimit(bad, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  parselimit("GB", error);
  EXPECT_EQ("a limit needs a number of bytes, e.g. 500GB, 1.5TB, 200GiB or 1000000", error);
}

TEST(SafeText, InvalidUtf8AndControlsNeverPassThrough) {
  std::string nasty =
      std::string("a\x1b[2Jb\x9b\xff\xc3\xa9\xe2\x82") + "\x7f\\\"" + "\xc2\x9b" + "\xed\xa0\x80";
  EXPECT_EQ(
      "\"a\\u001b[2Jb\xef\xbf\xbd\xef\xbf\xbd\xc3\xa9\xef\xbf\xbd\xef\xbf\xbd\\u007f\\\\\\\"\\u009b"
      "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"",
      jsonstring(nasty));
  EXPECT_EQ("a\\x1b[2Jb\\x9b\\xff\xc3\xa9\\xe2\\x82\\x7f\\\\\"\\u009b\\xed\\xa0\\x80",
            visibletext(nasty));
  EXPECT_EQ(
      "a\\x1b[2Jb\xef\xbf\xbd\xef\xbf\xbd\xc3\xa9\xef\xbf\xbd\xef\xbf\xbd\\x7f\\&quot;\\x9b"
      "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd",
      xmltext(nasty));
  EXPECT_EQ("<&amp;>", visibletext("<&amp;>"));
  EXPECT_EQ(xmltext("\xef\xbf\xbe"), "\xef\xbf\xbd");  // U+FFFE is no XML character
  EXPECT_EQ(5u, displaywidth("d\xc3\xa9j\xc3\xa0 "));
}

}  // namespace
