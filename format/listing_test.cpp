#include "listing.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "startup.h"

namespace {

std::string readtestdata(const char* name) {
  std::ifstream in(std::string(TESTDATA_DIR) + "/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A table as the start-up script's first and last lines give it.
std::vector<IfInfo> maketable(const char* specs, const char* labels) {
  std::string error;
  std::string text = std::string(specs) + "\n/r\n/t\n/p\n/h\n" + labels + "\n";
  std::optional<StartupOutput> output = parsestartupoutput(text, error);
  EXPECT_TRUE(output) << error;
  return output ? output->table : std::vector<IfInfo>{};
}

std::string rule(const char* bytes, const char* in, const char* out, const char* dest,
                 const char* extra = "") {
  return std::string("  1 ") + bytes + " RETURN all -- " + in + " " + out + " 0.0.0.0/0 " + dest +
         " " + extra + "\n";
}

TEST(ListingMatch, WorkedExample) {
  std::vector<IfInfo> t = maketable("eth0 eth1:0x2:10.8.0.1 eth1", "LAN VPN WAN");
  for (IfInfo& record : t) record.cur_in = record.day_out = 7;
  countlisting(readtestdata("worked_listing.txt"), t);
  EXPECT_EQ(7 + 904311, t[0].cur_in);
  EXPECT_EQ(904311, t[0].day_in);
  EXPECT_EQ(0, t[0].cur_out);
  EXPECT_EQ(7, t[0].day_out);
  EXPECT_EQ(7 + 2210, t[1].cur_in);
  EXPECT_EQ(51200, t[1].cur_out);
  EXPECT_EQ(51200 + 7, t[1].day_out);
  EXPECT_EQ(7, t[2].cur_in);
  EXPECT_EQ(300, t[2].cur_out);
  EXPECT_EQ(307, t[2].day_out);
}

TEST(ListingMatch, DirectionTurnsOutboundOnceAndForAll) {
  std::vector<IfInfo> t = maketable("eth0", "LAN");
  std::string listing = rule("1", "eth0", "eth0", "0.0.0.0/0") +
                        "RETURN line naming RTCHARTS_OUT counts and does not switch\n" +
                        rule("10", "eth0", "eth0", "0.0.0.0/0") +
                        "  9 99 RTCHARTS_OUT all -- eth0 * 0.0.0.0/0 0.0.0.0/0\n" +
                        rule("100", "eth0", "eth0", "0.0.0.0/0") + "Chain RTCHARTS_IN\n" +
                        rule("1000", "eth0", "eth0", "0.0.0.0/0") +
                        "  5 5000 ACCEPT all -- eth0 eth0 0.0.0.0/0 0.0.0.0/0\n";
  countlisting(listing, t);
  EXPECT_EQ(11, t[0].cur_in);
  EXPECT_EQ(1100, t[0].cur_out);
}

TEST(ListingMatch, QualifiersComparedOnlyWhenTheLineHasThem) {
  std::vector<IfInfo> t = maketable("eth1:0x2:10.8.0.1 eth1", "VPN WAN");
  std::string listing = rule("1", "eth1", "*", "0.0.0.0/0") +  // neither: VPN
                        rule("2", "eth1", "*", "10.8.0.1") +   // dest fits: VPN
                        rule("4", "eth1", "*", "10.8.0.2") +   // dest differs: WAN
                        rule("8", "eth1", "*", "0.0.0.0/0", "mark match 0x3") +  // WAN
                        rule("16", "eth1", "*", "10.8.0.1", "mark match 0x2") +  // VPN
                        rule("32", "eth1", "*", "10.8.0.1", "mark match 0x3");   // WAN
  countlisting(listing, t);
  EXPECT_EQ(1 + 2 + 16, t[0].cur_in);
  EXPECT_EQ(4 + 8 + 32, t[1].cur_in);
}

TEST(ListingMatch, FirstRecordInTableOrderWins) {
  std::vector<IfInfo> t = maketable("eth1 eth1:0x2:10.8.0.1", "ALL VPN");
  countlisting(rule("5", "eth1", "*", "10.8.0.1"), t);
  EXPECT_EQ(5, t[0].cur_in);
  EXPECT_EQ(0, t[1].cur_in);
}

TEST(ListingMatch, TokensAreComparedWhole) {
  std::string name15(15, 'x');
  std::vector<IfInfo> t = maketable(
      (name15 + " e:0x2:" + std::string(31, 'd') + " f:0x1234:10.0.0.1").c_str(), "A B C");
  std::string listing = rule("1", (name15 + "y").c_str(), "*", "0.0.0.0/0") +
                        rule("2", "e", "*", (std::string(31, 'd') + "d").c_str()) +
                        rule("4", "f", "*", "0.0.0.0/0", "mark match 0x12345678") +
                        rule("8", name15.c_str(), "*", "0.0.0.0/0");
  countlisting(listing, t);
  EXPECT_EQ(8, t[0].cur_in);
  EXPECT_EQ(0, t[1].cur_in);
  EXPECT_EQ(0, t[2].cur_in);
}

TEST(ListingMatch, ShortLinesAndOddTokens) {
  std::vector<IfInfo> t = maketable("eth0", "LAN");
  RuleLine shortline = parseruleline("  1 500 RETURN all --", false);
  EXPECT_EQ(500, shortline.bytes);
  EXPECT_TRUE(shortline.iface.empty());
  countlisting("  1 500 RETURN all --\n", t);
  EXPECT_EQ(0, t[0].cur_in);
  RuleLine tabbed = parseruleline("1 7\t8 RETURN all -- eth0\tx * 0.0.0.0/0 0.0.0.0/00", false);
  EXPECT_EQ(7, tabbed.bytes);
  EXPECT_EQ("eth0\tx", tabbed.iface);
  EXPECT_EQ("0.0.0.0/00", tabbed.dest);
}

TEST(ListingMatch, CountsParseLikeStrtollAndSaturate) {
  EXPECT_EQ(42, parsecount("42abc"));
  EXPECT_EQ(-7, parsecount("-7"));
  EXPECT_EQ(3, parsecount("+3"));
  EXPECT_EQ(0, parsecount("x9"));
  EXPECT_EQ(0, parsecount(""));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), parsecount("99999999999999999999"));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), parsecount("-99999999999999999999"));
  std::vector<IfInfo> t = maketable("eth0", "LAN");
  t[0].day_in = std::numeric_limits<int64_t>::max() - 1;
  countlisting(rule("5", "eth0", "*", "0.0.0.0/0"), t);
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), t[0].day_in);
}

// ip6tables prints the same columns, with "::/0" for any address.
TEST(ListingMatch, IPv6ListingAnyAddressIsNoDestination) {
  std::vector<IfInfo> t = maketable("eth1:0x2:10.8.0.1 eth1", "VPN WAN");
  std::string listing =
      "Chain RTCHARTS_IN (1 references)\n"
      "    pkts      bytes target     prot opt in     out     source               destination\n"
      "       3      300 RETURN     0    --  eth1   *       ::/0                 ::/0         "
      "        mark match 0x0/0x0\n"
      "Chain RTCHARTS_OUT (1 references)\n"
      "       2      200 RETURN     0    --  *      eth1    ::/0                 ::/0\n"
      "       1       70 RETURN     0    --  *      eth1    ::/0                 2001:db8::1\n";
  countlisting(listing, t, kanyipv6);
  EXPECT_EQ(0, t[0].cur_in);  // "0x0/0x0" is not the qualified record's mark
  EXPECT_EQ(300, t[1].cur_in);
  EXPECT_EQ(200, t[0].cur_out);  // no destination, no mark: the first record of eth1
  EXPECT_EQ(70, t[1].cur_out);   // a destination that is not the qualified record's
  EXPECT_EQ("::/0", parseruleline("1 2 RETURN 0 -- * e ::/0 ::/0", true).dest);
}

// A rule is known by what follows its counters, whatever their widths.
TEST(ListingMatch, RuleTextLeavesOutTheCounters) {
  RuleLine narrow = parseruleline(
      "       0        0 RETURN     0    --  eth0   *       "
      "0.0.0.0/0            0.0.0.0/0           ",
      false);
  RuleLine wide = parseruleline(
      "18446744073709551615 18446744073709551615 RETURN     0    --  "
      "eth0   *       0.0.0.0/0            0.0.0.0/0",
      false);
  EXPECT_EQ(narrow.rule, wide.rule);
  EXPECT_EQ("RETURN     0    --  eth0   *       0.0.0.0/0            0.0.0.0/0", wide.rule);
  ListedChains listed =
      walklisting("Chain RTCHARTS_OUT (1 references)\n 1 1 RTCHARTS_IN 0 -- eth0 * x y\n", kanyipv4,
                  [](const RuleLine&, bool) {});
  EXPECT_FALSE(listed.in);
  EXPECT_TRUE(listed.out);
}

}  // namespace
