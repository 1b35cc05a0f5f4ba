#include "dayitems.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono;

sys_days date(int y, unsigned m, unsigned d) {
  return sys_days(year(y) / month(m) / day(d));
}

std::string messages(const Problems& problems) {
  std::string text;
  for (const Problem& problem : problems) text += describe(problem) + "\n";
  return text;
}

TEST(DayItems, ItemsWithExactCounts) {
  Problems problems;
  Items items =
      parseitems("wan 904311 51200 a-very-long-label 9223372036854775807 0 ", "f", 1, problems);
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ("wan", items[0].label);
  EXPECT_EQ(904311, items[0].counts.in);
  EXPECT_EQ(51200, items[0].counts.out);
  EXPECT_EQ(INT64_MAX, items[1].counts.in);
  EXPECT_TRUE(problems.empty());
}

TEST(DayItems, LabelWithoutNumbersIsSkippedAndTheRestKept) {
  Problems problems;
  Items items = parseitems("wan 1 2 lan vpn 5 6 dmz 7", "today", 1, problems);
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ("wan", items[0].label);
  EXPECT_EQ("vpn", items[1].label);
  EXPECT_EQ(
      "today:1: label 'lan' is not followed by two numbers; skipped\n"
      "today:1: label 'dmz' is not followed by two numbers; skipped\n",
      messages(problems));
}

// The daemon splits labels at spaces only: a tab is part of a label, which
// it writes and restores whole, so it is read whole.
TEST(DayItems, LabelsEndAtSpacesOnly) {
  Problems problems;
  Items items = parseitems("wa\tn 1 2 lan\v 3 4 ", "today", 1, problems);
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ("wa\tn", items[0].label);
  EXPECT_EQ("lan\v", items[1].label);
  EXPECT_EQ(4, items[1].counts.out);
  std::vector<DayRecord> records = parsehistory("[2026-10-01] wa\tn 5 6 \r\n", "h", problems);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("wa\tn", records[0].items[0].label);
  EXPECT_TRUE(problems.empty()) << messages(problems);
}

TEST(DayItems, OneNumberMissingMidLineResynchronises) {
  Problems problems;
  Items items = parseitems("wan 5 vpn 6 7", "f", 3, problems);
  ASSERT_EQ(1u, items.size());
  EXPECT_EQ("vpn", items[0].label);
  EXPECT_EQ(1u, problems.size()) << messages(problems);
}

TEST(History, LinesBecomeDatedRecordsWithLineNumbers) {
  Problems problems;
  std::vector<DayRecord> records =
      parsehistory("[2026-10-01] wan 1 2 \n\n[2026-10-03] wan 3 4 lan 5 6 \n", "h", problems);
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ(date(2026, 10, 1), records[0].date);
  EXPECT_EQ(3u, records[1].line);
  EXPECT_EQ(2u, records[1].items.size());
  EXPECT_TRUE(problems.empty()) << messages(problems);
}

TEST(History, MalformedLinesAreNamedAndSkipped) {
  Problems problems;
  std::vector<DayRecord> records = parsehistory(
      "[2026-10-01] wan 1 2 \n"
      "wan 3 4 \n"
      "[2026-10-0 wan 3 4 \n"
      "[2026-02-30] wan 3 4 \n"
      "[2026-10-02] wan 5 6 \n",
      "/var/lib/byteloom/history", problems);
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ(date(2026, 10, 2), records[1].date);
  EXPECT_EQ(
      "/var/lib/byteloom/history:2: no date stamp [YYYY-MM-DD]; line skipped\n"
      "/var/lib/byteloom/history:3: no date stamp [YYYY-MM-DD]; line skipped\n"
      "/var/lib/byteloom/history:4: no such date [2026-02-30]; line skipped\n",
      messages(problems));
}

TEST(History, RepeatedDateIsReportedAndKept) {
  Problems problems;
  std::vector<DayRecord> records =
      parsehistory("[2026-10-01] wan 1 2 \n[2026-10-01] wan 3 4 \n", "h", problems);
  EXPECT_EQ(2u, records.size());
  EXPECT_EQ("h:2: 2026-10-01 is also on line 1; the figures are added\n", messages(problems));
}

TEST(History, EmptyFileAndCarriageReturns) {
  Problems problems;
  EXPECT_TRUE(parsehistory("\n\n", "h", problems).empty());
  EXPECT_EQ("h: empty\n", messages(problems));
  problems.clear();
  std::vector<DayRecord> records = parsehistory("[2026-10-01] wan 1 2 \r\n", "h", problems);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(2, records[0].items[0].counts.out);
  EXPECT_TRUE(problems.empty());
}

TEST(History, LongLabelsOnLinesPastTheDaemonsBufferSize) {
  std::string line = "[2026-10-01] ";
  for (int i = 0; i < 40; ++i) line += std::string(254, 'a') + std::to_string(i % 10) + " 1 2 ";
  Problems problems;
  std::vector<DayRecord> records = parsehistory(line + "\n", "h", problems);
  ASSERT_EQ(1u, records.size());
  ASSERT_EQ(40u, records[0].items.size());
  EXPECT_EQ(255u, records[0].items[39].label.size());
  EXPECT_TRUE(problems.empty());
}

TEST(History, CountsAtAndPastThe64BitEdge) {
  Problems problems;
  Items items = parseitems(
      "a 9223372036854775807 -9223372036854775808 b 9223372036854775808 "
      "-99999999999999999999 c +5 -0 d 000000000000000000042 1",
      "h", 1, problems);
  ASSERT_EQ(4u, items.size());
  EXPECT_EQ(INT64_MAX, items[0].counts.in);
  EXPECT_EQ(INT64_MIN, items[0].counts.out);
  EXPECT_EQ(INT64_MAX, items[1].counts.in);  // clamped, as strtoll does
  EXPECT_EQ(INT64_MIN, items[1].counts.out);
  EXPECT_EQ(5, items[2].counts.in);
  EXPECT_EQ(0, items[2].counts.out);
  EXPECT_EQ(42, items[3].counts.in);
  EXPECT_TRUE(problems.empty()) << messages(problems);
  EXPECT_EQ(1u, parseitems("e 12x 3 f 1 2", "h", 1, problems).size());
  EXPECT_EQ(1u, parseitems("e - 3 f + 2 g 1 2", "h", 1, problems).size());
}

TEST(History, ScanSeesEachLineOnceWithTheSameProblems) {
  std::string text =
      "[2026-10-01] wan 1 2 lan 3 4 \n[bad\n[2026-10-02] wan 5 x \n[2026-10-01] wan 7 8 \n";
  Problems scanned, parsed;
  std::vector<std::string> seen;
  scanhistory(text, "h", scanned, [&](const DayLineView& line) {
    std::string items;
    for (const ItemView& item : line.items)
      items += std::string(item.label) + "=" + std::to_string(item.counts.in) + "/" +
               std::to_string(item.counts.out) + " ";
    seen.push_back(formatdate(line.date) + ":" + std::to_string(line.line) + " " + items);
  });
  EXPECT_EQ((std::vector<std::string>{"2026-10-01:1 wan=1/2 lan=3/4 ", "2026-10-02:3 ",
                                      "2026-10-01:4 wan=7/8 "}),
            seen);
  parsehistory(text, "h", parsed);
  EXPECT_EQ(messages(parsed), messages(scanned));
  EXPECT_EQ(3u, scanned.size());
}

TEST(DayFile, FirstLineWithoutNewline) {
  Problems problems;
  std::optional<DayRecord> record = parsedayfile("[2026-10-31] wan 7 8 ", "d", problems);
  ASSERT_TRUE(record);
  EXPECT_EQ(date(2026, 10, 31), record->date);
  EXPECT_EQ(7, record->items[0].counts.in);
  EXPECT_FALSE(parsedayfile("", "d", problems));
  EXPECT_EQ("d: empty\n", messages(problems));
}

TEST(RateFile, PairsOfKilobytes) {
  Problems problems;
  std::vector<Rate> rates = parserates("904.31 51.20 0.01 0.00 ", "r", problems);
  ASSERT_EQ(2u, rates.size());
  EXPECT_DOUBLE_EQ(904.31, rates[0].inkb);
  EXPECT_DOUBLE_EQ(0.01, rates[1].inkb);
  EXPECT_TRUE(problems.empty());
}

TEST(RateFile, DamageIsReported) {
  Problems problems;
  EXPECT_EQ(1u, parserates("1.00 2.00 3.00", "r", problems).size());
  EXPECT_EQ(1u, parserates("1.00 x 3.00 4.00", "r", problems).size() + 1);
  EXPECT_TRUE(parserates("", "r", problems).empty());
  EXPECT_EQ(
      "r:1: an odd count of figures; the last one is ignored\n"
      "r:1: 'x' is not a rate (a number, 0 or more); rates stop here\n"
      "r:1: an odd count of figures; the last one is ignored\n"
      "r: empty\n",
      messages(problems));
}

TEST(RateFile, NanInfinityAndNegativeRatesAreMalformed) {
  for (const char* bad : {"nan", "-nan", "inf", "-infinity", "-1.5", "-0.00", "1e999"}) {
    Problems problems;
    EXPECT_EQ(1u, parserates(std::string("3.00 4.00 1.00 ") + bad, "r", problems).size()) << bad;
    EXPECT_EQ("r:1: '" + std::string(bad) +
                  "' is not a rate (a number, 0 or more); rates stop here\n" +
                  "r:1: an odd count of figures; the last one is ignored\n",
              messages(problems));
  }
}

}  // namespace
