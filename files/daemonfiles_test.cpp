#include "daemonfiles.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

std::string messages(const Problems& problems) {
  std::string text;
  for (const Problem& problem : problems) text += describe(problem) + "\n";
  return text;
}

// A read that gives the texts in turn, counting the reads.
struct Reads {
  std::deque<std::optional<std::string>> texts;
  int count = 0;
  std::optional<std::string> operator()() {
    ++count;
    std::optional<std::string> text = texts.front();
    if (texts.size() > 1) texts.pop_front();
    return text;
  }
};

TEST(RewrittenFiles, BlankOrTornTextIsReadOnceMore) {
  for (const char* caught : {"", "wan 812 3", "wan 812 35 lan"}) {
    Reads reads{{std::string(caught), std::string("wan 812 35 lan 7 0 ")}};
    EXPECT_EQ("wan 812 35 lan 7 0 ", rereadunsettled(std::ref(reads))) << caught;
    EXPECT_EQ(2, reads.count) << caught;
  }
  for (const char* whole : {"wan 812 35 ", "wan 812 35\n", "0.81 0.04 "}) {
    Reads reads{{std::string(whole)}};
    EXPECT_EQ(whole, rereadunsettled(std::ref(reads)));
    EXPECT_EQ(1, reads.count) << whole;
  }
  Reads missing{{std::nullopt}};
  EXPECT_FALSE(rereadunsettled(std::ref(missing)));
  EXPECT_EQ(1, missing.count);
}

// A today file still torn when read again counts its whole items only: the
// cut item is neither read as "out 3" nor named as malformed.
TEST(TodayFile, OnlyWholeItemsCount) {
  Problems problems;
  EXPECT_FALSE(todayitems("wan 812 3", "today", problems));
  EXPECT_EQ("today: empty\n", messages(problems));
  problems.clear();
  std::optional<Items> items = todayitems("wan 812 35 lan 7", "today", problems);
  ASSERT_TRUE(items);
  ASSERT_EQ(1u, items->size());
  EXPECT_EQ(35, (*items)[0].counts.out);
  EXPECT_TRUE(problems.empty());
  // A whole item that is malformed is named.
  items = todayitems("wan 1 2 lan x y ", "today", problems);
  ASSERT_TRUE(items);
  EXPECT_EQ(1u, items->size());
  EXPECT_EQ("today:1: label 'lan' is not followed by two numbers; skipped\n", messages(problems));
}

// The daemon splits labels at spaces only, so a label may hold a tab; it is
// one label, not two words and a malformed item.
TEST(TodayFile, LabelsEndAtSpacesOnly) {
  Problems problems;
  std::optional<Items> items = todayitems("wa\tn 812 35 lan 7 0 ", "today", problems);
  ASSERT_TRUE(items);
  ASSERT_EQ(2u, items->size());
  EXPECT_EQ("wa\tn", (*items)[0].label);
  EXPECT_EQ(812, (*items)[0].counts.in);
  EXPECT_TRUE(problems.empty()) << messages(problems);
}

TEST(RateFileRead, ATearDropsTheCutFigureAndItsPair) {
  Problems problems;
  EXPECT_EQ(1u, ratefigures("0.81 0.04 0.0", "rate", problems).size());
  EXPECT_EQ(1u, ratefigures("0.81 0.04 0.01 0.0", "rate", problems).size());
  EXPECT_EQ(2u, ratefigures("0.81 0.04 0.01 0.00 ", "rate", problems).size());
  EXPECT_TRUE(problems.empty()) << messages(problems);
  EXPECT_TRUE(ratefigures("0.8", "rate", problems).empty());
  EXPECT_EQ("rate: empty\n", messages(problems));
}

TEST(RateLabels, ConfiguredElseTheTodayFilesByPosition) {
  Items today = {{"wan", {1, 2}}, {"lan", {3, 4}}};
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), ratenames({"a", "b"}, today));
  EXPECT_EQ((std::vector<std::string>{"wan", "lan"}), ratenames({}, today));
  EXPECT_TRUE(ratenames({}, std::nullopt).empty());
}

// A today file older than the day file by more than a cycle is left from
// before a restart: the day file's items stand in. Without a day file it counts.
TEST(TodayFile, StaleAfterARestart) {
  auto read = [](Problems&, FileStamp& stamp) {
    stamp.mtimens = 1000'000'000'000LL;  // written at 1000 s
    return std::optional<std::string>("wan 900 90 ");
  };
  Problems problems;
  RunningFiles files;
  files.dayfile = DayRecord{};
  readtoday(files, 1003.0, "today", read, problems);
  EXPECT_FALSE(files.today);
  ASSERT_TRUE(files.todaymtime);
  EXPECT_EQ(1000.0, *files.todaymtime);
  readtoday(files, 1001.5, "today", read, problems);
  EXPECT_TRUE(files.today);
  files.dayfile = std::nullopt;
  readtoday(files, 1003.0, "today", read, problems);
  EXPECT_TRUE(files.today);
  EXPECT_TRUE(problems.empty());
}

}  // namespace
