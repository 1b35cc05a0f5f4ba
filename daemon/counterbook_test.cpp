#include "counterbook.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "counting.h"
#include "listingtext.h"

namespace {

// Readings in turn, as the daemon keeps them; each count starts the interval afresh.
class Readings {
 public:
  explicit Readings(std::vector<IfInfo> records) : table(std::move(records)) {}
  Growth count(const std::string& text, bool whole = true) {
    for (IfInfo& record : table) record.cur_in = record.cur_out = 0;
    CounterBook& previous = books[latest];
    latest ^= 1;
    return countgrowth(text, whole, table, kanyipv4, previous, books[latest]);
  }
  std::vector<IfInfo> table;

 private:
  std::unique_ptr<CounterBook[]> books{new CounterBook[2]()};
  int latest = 0;
};

TEST(GrowthCounting, FirstReadingCountsWholeThenOnlyTheGrowth) {
  Readings r(tablefor("eth0 eth1", "LAN WAN"));
  Growth first =
      r.count(bothchains(inrule(1000, "eth0") + inrule(50, "eth1"), outrule(70, "eth0")));
  EXPECT_EQ(3, first.newrules);
  EXPECT_EQ(1000, r.table[0].cur_in);
  EXPECT_EQ(70, r.table[0].cur_out);
  r.count(bothchains(inrule(1500, "eth0") + inrule(50, "eth1"), outrule(71, "eth0")));
  EXPECT_EQ(500, r.table[0].cur_in);
  EXPECT_EQ(0, r.table[1].cur_in);
  EXPECT_EQ(1, r.table[0].cur_out);
  EXPECT_EQ(1500, r.table[0].day_in);
  EXPECT_EQ(71, r.table[0].day_out);
}

// byteloom-chains up inserts rules around the ones that stay; a rule is
// followed by its text, not its place, and an inserted one starts at 0.
TEST(GrowthCounting, RulesAreFollowedAcrossInsertionsAndReordering) {
  Readings r(tablefor("eth0 eth1 eth2", "A B C"));
  r.count(bothchains(inrule(100, "eth0") + inrule(200, "eth1"), ""));
  Growth changed =
      r.count(bothchains(inrule(7, "eth2") + inrule(250, "eth1") + inrule(130, "eth0"), ""));
  EXPECT_EQ(1, changed.newrules);
  EXPECT_EQ(30, r.table[0].cur_in);
  EXPECT_EQ(50, r.table[1].cur_in);
  EXPECT_EQ(7, r.table[2].cur_in);
  // The same rule in the other chain is another rule.
  r.count(bothchains(inrule(8, "eth2") + inrule(250, "eth1") + inrule(130, "eth0"),
                     outrule(5, "eth1")));
  EXPECT_EQ(5, r.table[1].cur_out);
  EXPECT_EQ(1, r.table[2].cur_in);
}

TEST(GrowthCounting, EqualRulesAreTakenInTheirOrder) {
  Readings r(tablefor("eth0 eth1:0x2:10.8.0.1", "A B"));
  r.count(bothchains(inrule(100, "eth0") + inrule(5, "eth1") + inrule(200, "eth0"), ""));
  r.count(bothchains(inrule(6, "eth1") + inrule(110, "eth0") + inrule(230, "eth0"), ""));
  EXPECT_EQ(40, r.table[0].cur_in);
  EXPECT_EQ(1, r.table[1].cur_in);
}

// Another tool's -Z, or a chain set up anew, leaves the counter below the
// reading: what it holds arrived since.
TEST(GrowthCounting, ACounterThatWentDownCountsWhatItHolds) {
  Readings r(tablefor("eth0", "A"));
  r.count(bothchains(inrule(5000, "eth0"), ""));
  Growth zeroed = r.count(bothchains(inrule(40, "eth0"), ""));
  EXPECT_EQ(1, zeroed.wentdown);
  EXPECT_EQ(40, r.table[0].cur_in);
  r.count(bothchains(inrule(45, "eth0"), ""));
  EXPECT_EQ(5, r.table[0].cur_in);
}

// A failed or cut-short listing must not make its missing rules look new
// next time, which would count their whole counters twice.
TEST(GrowthCounting, RulesOfAChainNotListedWholeAreKept) {
  Readings r(tablefor("eth0 eth1", "A B"));
  r.count(bothchains(inrule(1000, "eth0") + inrule(2000, "eth1"), outrule(300, "eth0")));
  Growth failed = r.count("");
  EXPECT_EQ(2 + 1, failed.kept);
  Growth cut = r.count(bothchains(inrule(1100, "eth0"), ""), false);
  EXPECT_EQ(2, cut.kept);
  Growth inonly =
      r.count("Chain RTCHARTS_IN (1 references)\n" + inrule(1150, "eth0") + inrule(2500, "eth1"));
  EXPECT_EQ(1, inonly.kept);
  EXPECT_EQ(0, inonly.newrules);
  EXPECT_EQ(0, inonly.gone);
  EXPECT_EQ(500, r.table[1].cur_in);
  r.count(bothchains(inrule(1150, "eth0") + inrule(2500, "eth1"), outrule(320, "eth0")));
  EXPECT_EQ(20, r.table[0].cur_out);
  EXPECT_EQ(1150, r.table[0].day_in);
  EXPECT_EQ(2500, r.table[1].day_in);
  EXPECT_EQ(320, r.table[0].day_out);
  // A rule gone from a chain listed whole is forgotten: set up again, it
  // starts at 0 and counts whole.
  Growth gone = r.count(bothchains(inrule(1150, "eth0"), outrule(320, "eth0")));
  EXPECT_EQ(1, gone.gone);
  EXPECT_EQ(0, gone.kept);
  Growth back =
      r.count(bothchains(inrule(1150, "eth0") + inrule(9000, "eth1"), outrule(320, "eth0")));
  EXPECT_EQ(1, back.newrules);
  EXPECT_EQ(9000, r.table[1].cur_in);
}

// The shortest counted lines, as many as fit in room characters.
std::string shortestrules(size_t room) {
  std::string rules;
  while (rules.size() + 7 <= room) rules += "RETURN\n";
  return rules;
}

// The worst a book meets: a listing as large as a capture takes, all of it the
// shortest counted lines of one chain, then one as large in the other chain
// that is cut short, so the first one's chain is kept whole beside it.
TEST(GrowthCounting, TheLargestListingAndAKeptChainFitTheBook) {
  const std::string in = "Chain RTCHARTS_IN (1 references)\n";
  const std::string out = "Chain RTCHARTS_OUT (1 references)\n";
  const size_t room = kcapturesize - 2 - in.size() - out.size();
  Readings r(tablefor("eth0", "wan"));
  Growth first = r.count(in + out + shortestrules(room));
  EXPECT_EQ(0, first.dropped);
  std::string outrules = shortestrules(room);
  Growth cut = r.count(in + shortestrules(room) + out, false);
  EXPECT_EQ(0, cut.dropped);
  EXPECT_EQ(static_cast<int>(outrules.size() / 7), cut.kept);
}

TEST(GrowthCounting, KeptRulesBeyondTheBookAreCountedAsDropped) {
  Readings r(tablefor("eth0", "wan"));
  // Three cut-short listings of the out chain, each with other rules: the
  // kept ones pile up until the book is full.
  Growth last;
  for (int round = 0; round < 3; ++round) {
    std::string rules;
    for (size_t i = 0; i < klistingrules / 2; ++i)
      rules += "1 0 RETURN " + std::to_string(round) + "-" + std::to_string(i) + "\n";
    last = r.count("Chain RTCHARTS_IN (1 references)\nChain RTCHARTS_OUT (1 references)\n" + rules,
                   false);
  }
  EXPECT_GT(last.dropped, 0);
}

TEST(GrowthCounting, TheVersionLineChoosesTheCounting) {
  EXPECT_EQ(Counting::growth, countingfor("iptables v1.8.9 (nf_tables)\n"));
  EXPECT_EQ(Counting::zeroing, countingfor("iptables v1.8.9 (legacy)\n"));
  EXPECT_EQ(Counting::zeroing, countingfor("iptables v1.6.1\n"));
  EXPECT_EQ(Counting::zeroing, countingfor(""));
}

}  // namespace
