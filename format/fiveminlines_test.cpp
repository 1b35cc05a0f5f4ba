#include "fiveminlines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using std::chrono::December;
using std::chrono::sys_days;

IfInfo record(const char* label, int64_t day_in, int64_t day_out) {
  IfInfo r{};
  std::strcpy(r.label, label);
  r.day_in = day_in;
  r.day_out = day_out;
  return r;
}

MinuteStamp at(int hour, int minute, unsigned mday = 8) {
  return {sys_days(std::chrono::year(2026) / December / mday), hour * 60 + minute};
}

std::string line(const MinuteStamp& stamp, const std::vector<IfInfo>& table) {
  std::vector<char> buf(fiveminbuffersize(table));
  size_t len = formatfiveminline(buf.data(), buf.size(), stamp, table);
  EXPECT_EQ(std::strlen(buf.data()), len);
  return std::string(buf.data(), len);
}

std::vector<std::string> messages(const Problems& problems) {
  std::vector<std::string> texts;
  for (const Problem& problem : problems) texts.push_back(describe(problem));
  return texts;
}

TEST(FiveMinLines, WrittenAsAHistoryLineWithTheMinuteInTheStamp) {
  std::vector<IfInfo> table = {record("wan", 81234567, 2345678), record("lan", 1234, 5678)};
  EXPECT_EQ("[2026-12-08 14:05] wan 81234567 2345678 lan 1234 5678 \n", line(at(14, 5), table));
  EXPECT_EQ("[2026-12-08 00:00] wan 81234567 2345678 lan 1234 5678 \n", line(at(0, 0), table));
  EXPECT_EQ("[2026-12-09 23:55] \n", line(at(23, 55, 9), {}));
  EXPECT_EQ("2026-12-08 09:07", formatminutestamp(at(9, 7)));
  EXPECT_EQ("/var/lib/byteloom/history.5min", fiveminpath("/var/lib/byteloom/history"));
}

TEST(FiveMinLines, TheMinuteOfALocalTime) {
  tm local{};
  local.tm_year = 126, local.tm_mon = 11, local.tm_mday = 8;
  local.tm_hour = 14, local.tm_min = 7, local.tm_sec = 59;
  EXPECT_EQ(at(14, 7), minuteof(local));
  EXPECT_LT(at(23, 59, 7), at(0, 0, 8));
  EXPECT_LT(at(14, 5), at(14, 10));
}

TEST(FiveMinLines, BufferHoldsTheLongestLineAndNothingIsWrittenPastACap) {
  constexpr int64_t kmin = std::numeric_limits<int64_t>::min();
  std::string longlabel(255, 'l');
  std::vector<IfInfo> table(40, record(longlabel.c_str(), kmin, kmin));
  MinuteStamp farthest{sys_days(std::chrono::year(-32767) / 1 / 1), 1439};
  std::string longest = line(farthest, table);
  ASSERT_FALSE(longest.empty());
  EXPECT_EQ('\n', longest.back());
  // A buffer too small gets no line at all rather than one cut short that
  // ends in a newline as if it were whole.
  std::vector<IfInfo> small = {record("wan", 812, 35)};
  std::string whole = "[2026-12-08 14:05] wan 812 35 \n";
  for (size_t cap = 0; cap <= whole.size() + 2; ++cap) {
    std::vector<char> buf(cap + 1, '#');
    size_t len = formatfiveminline(buf.data(), cap, at(14, 5), small);
    EXPECT_EQ('#', buf[cap]) << "wrote past a cap of " << cap;
    EXPECT_TRUE(len == 0 || std::string(buf.data(), len) == whole) << "cap " << cap;
  }
}

TEST(FiveMinLines, ALineReadsBackAsWritten) {
  std::vector<IfInfo> table = {record("wan", std::numeric_limits<int64_t>::max(), 0),
                               record("guest\tnet", 7, 9)};
  Problems problems;
  auto read = parsefiveminline(line(at(23, 55), table), "5min", 3, problems);
  ASSERT_TRUE(read);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(at(23, 55), read->stamp);
  EXPECT_EQ(3u, read->line);
  ASSERT_EQ(2u, read->items.size());
  EXPECT_EQ("wan", read->items[0].label);
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), read->items[0].counts.in);
  EXPECT_EQ("guest\tnet", read->items[1].label);
  EXPECT_EQ(9, read->items[1].counts.out);
}

TEST(FiveMinLines, StampsThatAreNotAMinuteOfARealDay) {
  for (const char* text : {"[2026-02-29 10:00] wan 1 2 ", "[2026-12-08 24:00] wan 1 2 ",
                           "[2026-12-08 10:60] wan 1 2 ", "[2026-12-08] wan 1 2 ",
                           "[2026-12-08 1:05] wan 1 2 ", "[2026-12-0814:05] wan 1 2 ",
                           "[2026-12-08 14:05 wan 1 2 ", "2026-12-08 14:05 wan 1 2 ",
                           "[+026-12-08 14:05] wan 1 2 "})
    EXPECT_FALSE(readminutestamp(text)) << text;
  auto stamp = readminutestamp("[2028-02-29 23:59]");
  ASSERT_TRUE(stamp);
  EXPECT_EQ(18u, stamp->second);
}

TEST(FiveMinLines, ALineWithAnyDamagedItemIsBadAsAWhole) {
  for (const char* text :
       {"[2026-12-08 14:05] wan 1 2 lan 3 ", "[2026-12-08 14:05] wan 1 x lan 3 4 ",
        "[2026-12-08 14:05] wan 99999999999999999999 2 ", "[2026-12-08 14:05] wan 1.5 2 ",
        "[2026-12-08] wan 1 2 "}) {
    Problems problems;
    EXPECT_FALSE(parsefiveminline(text, "5min", 4, problems)) << text;
    ASSERT_EQ(1u, problems.size()) << text;
    EXPECT_EQ(0u, describe(problems[0]).find("5min:4: bad line: ")) << describe(problems[0]);
  }
  Problems problems;
  EXPECT_FALSE(parsefiveminline("  \r\n", "5min", 1, problems));
  EXPECT_TRUE(problems.empty());
  auto crlf = parsefiveminline("[2026-12-08 14:05] wan 1 2 \r\n", "5min", 1, problems);
  ASSERT_TRUE(crlf);
  EXPECT_EQ(2, crlf->items[0].counts.out);
}

TEST(FiveMinFile, BadOutOfOrderAndTornLinesAreNamedAndNotRead) {
  std::string text =
      "[2026-12-07 23:55] wan 900 90 \n"
      "[2026-12-08 00:00] wan 0 0 \n"
      "\n"
      "[2026-12-08 00:05] wan 10 \n"
      "[2026-12-08 00:05] wan 10 1 \n"
      "[2026-12-08 00:05] wan 11 1 \n"
      "[2026-12-08 00:03] wan 12 1 \n"
      "[2026-12-08 00:10] wan 20 2 \n"
      "[2026-12-08 00:15] wan 30 3";
  Problems problems;
  std::vector<FiveMinRecord> records = parsefivemin(text, "5min", problems);
  ASSERT_EQ(4u, records.size());
  EXPECT_EQ(at(23, 55, 7), records[0].stamp);
  EXPECT_EQ(at(0, 5), records[2].stamp);
  EXPECT_EQ(10, records[2].items[0].counts.in);
  EXPECT_EQ(5u, records[2].line);
  EXPECT_EQ(at(0, 10), records[3].stamp);
  std::vector<std::string> expected = {
      "5min:4: bad line: label 'wan' is not followed by two counts; line skipped",
      "5min:6: 2026-12-08 00:05 is not after the previous line of 2026-12-08; line skipped",
      "5min:7: 2026-12-08 00:03 is not after the previous line of 2026-12-08; line skipped",
      "5min:9: torn line (an append cut short, no newline); not read"};
  EXPECT_EQ(expected, messages(problems));
}

TEST(FiveMinFile, ADatesOrderIsItsOwn) {
  // A date's line order is checked against that date's lines only.
  Problems problems;
  auto records = parsefivemin(
      "[2026-12-08 10:00] a 1 1 \n[2026-12-07 23:00] a 5 5 \n[2026-12-08 10:05] a 2 2 \n", "f",
      problems);
  EXPECT_EQ(3u, records.size());
  EXPECT_TRUE(problems.empty());
  parsefivemin("", "f", problems);
  parsefivemin("\n\n  ", "f", problems);
  EXPECT_TRUE(problems.empty()) << "an empty file or blanks are no problem";
}

}  // namespace
