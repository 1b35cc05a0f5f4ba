#include "reportfiles.h"

#include <gtest/gtest.h>

#include "readfile.h"
#include "testlib.h"
#include "views.h"

namespace {

using namespace std::chrono;

sys_days date(int y, unsigned m, unsigned d) {
  return sys_days(year(y) / month(m) / day(d));
}

// The four files in a temporary directory, removed afterwards.
class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    setup = {{"wan", "lan"}, dir + "/rate", dir + "/today", dir + "/day", dir + "/history"};
  }
  void write(const std::string& path, const std::string& text) { writetext(path, text); }

  TempDir temp{"reportfiles"};
  std::string dir = temp.dir();
  FileSetup setup;
};

TEST_F(Files, MonthsReadWhileFoldingEqualMonthsFromLoadedFigures) {
  write(setup.historyfile,
        "[2026-01-31] wan 9223372036854775807 1 lan 1 2 \n"
        "garbage\n"
        "[2026-02-01] wan 9223372036854775807 3 odd\x1b 4 5 \n"
        "[2026-02-01] wan 1 1 \n"
        "[2027-01-01] wan 7 7 \n");
  write(setup.dayfile, "[2026-02-10] wan 10 20 \n");
  write(setup.todayfile, "wan 10 20 lan 1 1 ");
  LocalClock now{date(2026, 2, 10), 3600};
  for (Period period : {Period::month, Period::year}) {
    Problems streamed, loaded;
    std::string fromfiles = formatperiodsjson(loadperiods(setup, period, 3, now, {}, streamed));
    Figures figures = loadfigures(setup, now, loaded);
    std::string fromfigures = formatperiodsjson(buildperiods(figures, period, 3, now, {}, loaded));
    EXPECT_EQ(fromfigures, fromfiles);
    std::vector<std::string> a, b;
    for (const Problem& p : streamed) a.push_back(describe(p));
    for (const Problem& p : loaded) b.push_back(describe(p));
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(b, a);
  }
  Problems problems;
  std::string json = formatperiodsjson(loadperiods(setup, Period::month, 2, now, {}, problems));
  EXPECT_NE(std::string::npos, json.find("\"wan\": {\"in\": 9223372036854775818, \"out\": 24}"));
  EXPECT_NE(std::string::npos, json.find("\"future\": true"));
}

TEST_F(Files, LongLinesAcrossBlocksMissingEmptyAndDirectoryFiles) {
  // Lines far longer than a block, and a last line without a newline.
  std::string items;
  for (int i = 0; i < 5000; ++i) items += "label" + std::to_string(i) + " 1 2 ";
  write(setup.historyfile,
        "[2026-01-01] " + items + "\n\n[2026-01-02] " + items + "\n[2026-01-03] a 1 2");
  Problems problems;
  std::vector<std::string> seen;
  HistoryScanner scanner(setup.historyfile, problems, [&](const DayLineView& line) {
    seen.push_back(formatdate(line.date) + ":" + std::to_string(line.line) + ":" +
                   std::to_string(line.items.size()));
  });
  ASSERT_TRUE(scanfile(setup.historyfile, scanner, problems));
  scanner.finish();
  EXPECT_EQ((std::vector<std::string>{"2026-01-01:1:5000", "2026-01-02:3:5000", "2026-01-03:4:1"}),
            seen);
  EXPECT_TRUE(problems.empty());

  write(setup.historyfile, "");
  HistoryScanner empty(setup.historyfile, problems, [](const DayLineView&) {});
  ASSERT_TRUE(scanfile(setup.historyfile, empty, problems));
  empty.finish();
  EXPECT_FALSE(scanfile(dir + "/none", empty, problems));
  EXPECT_FALSE(readfile(dir, problems));
  ASSERT_EQ(3u, problems.size());
  EXPECT_EQ(setup.historyfile + ": empty", describe(problems[0]));
  EXPECT_EQ(dir + "/none: cannot read: No such file or directory", describe(problems[1]));
  EXPECT_EQ(dir + ": cannot read: Is a directory", describe(problems[2]));
}

// A today file cut in the middle of an item ("wan 812 35 " cut to
// "wan 812 3") is not read as 3 bytes sent: the cut item doesn't count, and
// the day file's items stand in, as the exporter reads it.
TEST_F(Files, TornTodayFileCountsOnlyWholeItems) {
  write(setup.dayfile, "[2026-02-10] wan 800 30 lan 1 1 ");
  write(setup.todayfile, "wan 812 3");
  Problems problems;
  std::optional<DayRecord> today =
      loadrunningday(setup, std::nullopt, LocalClock{date(2026, 2, 10), 3600}, problems);
  ASSERT_TRUE(today);
  ASSERT_EQ(2u, today->items.size());
  EXPECT_EQ(800, today->items[0].counts.in);
  EXPECT_EQ(30, today->items[0].counts.out);
  write(setup.todayfile, "wan 812 35 lan 7");
  today = loadrunningday(setup, std::nullopt, LocalClock{date(2026, 2, 10), 3600}, problems);
  ASSERT_TRUE(today);
  ASSERT_EQ(1u, today->items.size());
  EXPECT_EQ(35, today->items[0].counts.out);
}

}  // namespace
