#include "daylines.h"

#include <gtest/gtest.h>

#include "testdate.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "datestamp.h"

namespace {

IfInfo record(const char* label, int64_t cur_in, int64_t cur_out, int64_t day_in, int64_t day_out) {
  IfInfo r{};
  std::strcpy(r.label, label);
  r.cur_in = cur_in;
  r.cur_out = cur_out;
  r.day_in = day_in;
  r.day_out = day_out;
  return r;
}

template <typename Format>
std::string formatted(Format format) {
  char buf[4096];
  size_t len = format(buf, sizeof buf);
  EXPECT_EQ(std::strlen(buf), len);
  return std::string(buf, len);
}

TEST(LineFormats, RatesInKilobytesWithTwoDecimals) {
  std::vector<IfInfo> table = {record("wan", 812, 35, 0, 0), record("lan", 7, 0, 0, 0),
                               record("x", 1234, 1235, 0, 0)};
  EXPECT_EQ("0.81 0.04 0.01 0.00 1.23 1.24 ",
            formatted([&](char* b, size_t c) { return formatrates(b, c, table); }));
}

TEST(LineFormats, TotalsAndDayLines) {
  std::vector<IfInfo> table = {record("wan", 0, 0, 812, 35), record("lan", 0, 0, 7, 0)};
  EXPECT_EQ("wan 812 35 lan 7 0 ",
            formatted([&](char* b, size_t c) { return formattotals(b, c, table); }));
  EXPECT_EQ("[2016-03-07] wan 812 35 lan 7 0 ", formatted([&](char* b, size_t c) {
              return formatdayline(b, c, date(2016, 3, 7), table, false);
            }));
  EXPECT_EQ("[2016-03-07] wan 812 35 lan 7 0 \n", formatted([&](char* b, size_t c) {
              return formatdayline(b, c, date(2016, 3, 7), table, true);
            }));
}

TEST(LineFormats, EmptyTable) {
  std::vector<IfInfo> none;
  EXPECT_EQ("", formatted([&](char* b, size_t c) { return formatrates(b, c, none); }));
  EXPECT_EQ("[2026-01-02] ",
            formatted([&](char* b, size_t c) { return formatdatestamp(b, c, date(2026, 1, 2)); }));
  EXPECT_EQ("[2026-01-02] \n", formatted([&](char* b, size_t c) {
              return formatdayline(b, c, date(2026, 1, 2), none, true);
            }));
}

TEST(LineFormats, BufferSizeHoldsTheLongestLines) {
  constexpr int64_t kmin = std::numeric_limits<int64_t>::min();
  std::string longlabel(255, 'l');
  std::vector<IfInfo> table(40, record(longlabel.c_str(), kmin, kmin, kmin, kmin));
  table.push_back(record("a", kmin, kmin, kmin, kmin));
  size_t cap = linebuffersize(table);
  std::vector<char> buf(cap + 1, '#');
  tm farfuture = date(-2'000'000'000, -2'000'000'000, -2'000'000'000);
  size_t len = formatdayline(buf.data(), cap, farfuture, table, true);
  EXPECT_EQ('\n', buf[len - 1]) << "the history line was cut";
  EXPECT_EQ('#', buf[cap]);
  len = formatrates(buf.data(), cap, table);
  EXPECT_EQ(41u * 2 * std::strlen("-9223372036854775.81 "), len);
}

TEST(LineFormats, NeverWritePastTheCapacity) {
  std::vector<IfInfo> table = {record("wan", 0, 0, 812, 35)};
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(4u, formattotals(buf, 5, table));
  EXPECT_STREQ("wan ", buf);
  EXPECT_EQ('#', buf[5]);
}

TEST(DateStamp, ReadsStampsAndRejectsOthers) {
  tm d{};
  size_t start = 0;
  EXPECT_EQ(0, readdatestamp("[2016-03-07] wan 1 2 ", &d, &start));
  EXPECT_TRUE(samedate(date(2016, 3, 7), d));
  EXPECT_EQ(12u, start);
  EXPECT_EQ(-2, readdatestamp("", &d, &start));
  EXPECT_EQ(-3, readdatestamp("wan 1 2", &d, &start));
  EXPECT_EQ(-3, readdatestamp("[2016-03] x", &d, &start));
  EXPECT_EQ(0, readdatestamp("[2016-03-07 wan 1 2", &d, &start));
  EXPECT_EQ(knoitems, start);
}

TEST(Restore, EveryWrittenLabelComesBack) {
  std::vector<IfInfo> table = {record("wan", 0, 0, 0, 0), record("up_link", 0, 0, 0, 0),
                               record("UNKNOWN-2", 0, 0, 0, 0), record("wan", 0, 0, 0, 0),
                               record("missing", 0, 0, 9, 9)};
  restoredaytotals(" up_link 3 4 wan 1 2 UNKNOWN-2 5 6 \n", table);
  EXPECT_EQ(1, table[0].day_in);
  EXPECT_EQ(2, table[0].day_out);
  EXPECT_EQ(3, table[1].day_in);
  EXPECT_EQ(4, table[1].day_out);
  EXPECT_EQ(5, table[2].day_in);
  EXPECT_EQ(0, table[3].day_in) << "one item restores one record";
  EXPECT_EQ(9, table[4].day_in);
}

TEST(Restore, SharedLabelsArePairedInOrder) {
  std::vector<IfInfo> table = {record("vpn", 0, 0, 0, 0), record("wan", 0, 0, 0, 0),
                               record("vpn", 0, 0, 0, 0), record("vpn", 0, 0, 7, 7)};
  restoredaytotals("vpn 1 2 wan 3 4 vpn 5 6 ", table);
  EXPECT_EQ(1, table[0].day_in);
  EXPECT_EQ(3, table[1].day_in);
  EXPECT_EQ(5, table[2].day_in);
  EXPECT_EQ(6, table[2].day_out);
  EXPECT_EQ(7, table[3].day_in) << "a record without an item of its own keeps its totals";
  restoredaytotals("wan 8 8 wan 9 9 ", table);
  EXPECT_EQ(8, table[1].day_in) << "an item with no record left restores nothing";
}

TEST(Restore, AMalformedItemEndsTheLoad) {
  std::vector<IfInfo> table = {record("a", 0, 0, 0, 0), record("b", 0, 0, 0, 0),
                               record("c", 0, 0, 0, 0)};
  restoredaytotals(" a 1 2 b x 3 c 5 6 ", table);
  EXPECT_EQ(1, table[0].day_in);
  EXPECT_EQ(0, table[1].day_in);
  EXPECT_EQ(0, table[2].day_in);
  restoredaytotals(" c 5", table);
  EXPECT_EQ(0, table[2].day_in);
}

TEST(CompleteLines, ATextCutShortEndsBeforeItsLastLine) {
  EXPECT_EQ(0u, completelength(""));
  EXPECT_EQ(0u, completelength("[2026-03-06] wan 5"));
  EXPECT_EQ(4u, completelength("a b\n"));
  EXPECT_EQ(4u, completelength("a b\n[2026"));
  EXPECT_EQ(6u, completelength("a b\n\n\nx"));
}

TEST(LastLine, SkipsTrailingNewlines) {
  EXPECT_EQ("b c", lastline("a\nb c\n\n\n"));
  EXPECT_EQ("only", lastline("only"));
  EXPECT_EQ("", lastline(""));
  EXPECT_EQ("", lastline("\n\n"));
  EXPECT_EQ("x", lastline("\n\nx"));
}

TEST(DayChange, WholeCalendarDateCounts) {
  EXPECT_TRUE(samedate(date(2026, 3, 7), date(2026, 3, 7)));
  EXPECT_FALSE(samedate(date(2026, 3, 7), date(2026, 4, 7)));
  EXPECT_FALSE(samedate(date(2026, 3, 7), date(2027, 3, 7)));
  EXPECT_FALSE(samedate(date(2026, 3, 7), date(2026, 3, 8)));
}

// The writers and the stamp reader do without stdio; they must still agree
// with it to the byte, on ordinary and odd inputs alike.
TEST(DateStamp, ReadsLikeScanf) {
  for (const char* line : {"[2026-03-07] a 1 2", "[2026-3-7]", "[ 2026- 3-07]x", "[+202-+3--7]",
                           "[12345-01-01]", "[2026-03-07", "[2026-03]", "[-1-1-1] ", "(2026-03-07]",
                           "[2026-\t3-\n7] ", "[+-20-01-01]", "[9-99-99]", "[2026-03-07]]"}) {
    int year = 0, month = 0, day = 0, consumed = -1;
    bool scanned = sscanf(line, "[%4d-%2d-%2d]%n", &year, &month, &day, &consumed) == 3;
    tm d{};
    size_t itemsstart = 0;
    ASSERT_EQ(scanned ? 0 : -3, readdatestamp(line, &d, &itemsstart)) << line;
    if (!scanned) continue;
    EXPECT_EQ(year - 1900, d.tm_year) << line;
    EXPECT_EQ(month - 1, d.tm_mon) << line;
    EXPECT_EQ(day, d.tm_mday) << line;
    EXPECT_EQ(consumed < 0 ? knoitems : static_cast<size_t>(consumed), itemsstart) << line;
  }
}

TEST(LineFormats, WrittenLikePrintf) {
  std::vector<IfInfo> table;
  std::string expected;
  for (int64_t bytes :
       {int64_t{0}, int64_t{5}, int64_t{1234}, int64_t{1235}, int64_t{999995}, int64_t{-1},
        int64_t{-1235}, std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()}) {
    table.push_back(record("x", bytes, bytes, bytes, bytes));
    char rate[64];
    snprintf(rate, sizeof rate, "%.2f %.2f ", static_cast<double>(bytes) / 1000.0,
             static_cast<double>(bytes) / 1000.0);
    expected += rate;
  }
  EXPECT_EQ(expected, formatted([&](char* b, size_t c) { return formatrates(b, c, table); }));
  tm odd = date(-5, 13, 0);
  char stamp[64];
  snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d] ", odd.tm_year + 1900, odd.tm_mon + 1,
           odd.tm_mday);
  EXPECT_EQ(stamp, formatted([&](char* b, size_t c) { return formatdatestamp(b, c, odd); }));
}

}  // namespace
