#include "sampling.h"

#include "iftable.h"
#include "listing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "tokens.h"

namespace {

std::string readtestdata(const char* name) {
  std::ifstream in(std::string(TESTDATA_DIR) + "/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void maketable(const char* specs, const char* labels) {
  std::string text = std::string(specs) + "\n/r\n/t\n/p\n/h\n" + labels + "\n";
  ASSERT_EQ(0, init_ifinfoarr(text.c_str()));
}

std::string rule(const char* bytes, const char* in, const char* out, const char* dest,
                 const char* extra = "") {
  return std::string("  1 ") + bytes + " RETURN all -- " + in + " " + out + " 0.0.0.0/0 " + dest +
         " " + extra + "\n";
}

TEST(ListingMatch, WorkedExample) {
  maketable("eth0 eth1:0x2:10.8.0.1 eth1", "LAN VPN WAN");
  for (IfInfo& record : iftable()) record.cur_in = record.day_out = 7;
  std::string listing = readtestdata("worked_listing.txt");
  EXPECT_EQ(0, extractbytes(listing.c_str()));
  IfInfo* t = ifinfoarrptr;
  EXPECT_EQ(904311, t[0].cur_in);
  EXPECT_EQ(904311, t[0].day_in);
  EXPECT_EQ(0, t[0].cur_out);
  EXPECT_EQ(7, t[0].day_out);
  EXPECT_EQ(2210, t[1].cur_in);
  EXPECT_EQ(51200, t[1].cur_out);
  EXPECT_EQ(51200 + 7, t[1].day_out);
  EXPECT_EQ(0, t[2].cur_in);
  EXPECT_EQ(300, t[2].cur_out);
  EXPECT_EQ(307, t[2].day_out);
}

TEST(ListingMatch, EmptyListingZeroesIntervalKeepsDay) {
  maketable("eth0", "LAN");
  ifinfoarrptr[0] = {{}, {}, {}, {}, 5, 6, 7, 8};
  std::strcpy(ifinfoarrptr[0].ifname, "eth0");
  extractbytes("");
  EXPECT_EQ(0, ifinfoarrptr[0].cur_in);
  EXPECT_EQ(0, ifinfoarrptr[0].cur_out);
  EXPECT_EQ(7, ifinfoarrptr[0].day_in);
  EXPECT_EQ(8, ifinfoarrptr[0].day_out);
}

TEST(ListingMatch, DirectionTurnsOutboundOnceAndForAll) {
  maketable("eth0", "LAN");
  std::string listing = rule("1", "eth0", "eth0", "0.0.0.0/0") +
                        "RETURN line naming RTCHARTS_OUT counts and does not switch\n" +
                        rule("10", "eth0", "eth0", "0.0.0.0/0") +
                        "  9 99 RTCHARTS_OUT all -- eth0 * 0.0.0.0/0 0.0.0.0/0\n" +
                        rule("100", "eth0", "eth0", "0.0.0.0/0") + "Chain RTCHARTS_IN\n" +
                        rule("1000", "eth0", "eth0", "0.0.0.0/0") +
                        "  5 5000 ACCEPT all -- eth0 eth0 0.0.0.0/0 0.0.0.0/0\n";
  extractbytes(listing.c_str());
  EXPECT_EQ(11, ifinfoarrptr[0].cur_in);
  EXPECT_EQ(1100, ifinfoarrptr[0].cur_out);
}

TEST(ListingMatch, QualifiersComparedOnlyWhenTheLineHasThem) {
  maketable("eth1:0x2:10.8.0.1 eth1", "VPN WAN");
  std::string listing = rule("1", "eth1", "*", "0.0.0.0/0") +  // neither: VPN
                        rule("2", "eth1", "*", "10.8.0.1") +   // dest fits: VPN
                        rule("4", "eth1", "*", "10.8.0.2") +   // dest differs: WAN
                        rule("8", "eth1", "*", "0.0.0.0/0", "mark match 0x3") +  // WAN
                        rule("16", "eth1", "*", "10.8.0.1", "mark match 0x2") +  // VPN
                        rule("32", "eth1", "*", "10.8.0.1", "mark match 0x3");   // WAN
  extractbytes(listing.c_str());
  EXPECT_EQ(1 + 2 + 16, ifinfoarrptr[0].cur_in);
  EXPECT_EQ(4 + 8 + 32, ifinfoarrptr[1].cur_in);
}

TEST(ListingMatch, FirstRecordInTableOrderWins) {
  maketable("eth1 eth1:0x2:10.8.0.1", "ALL VPN");
  extractbytes(rule("5", "eth1", "*", "10.8.0.1").c_str());
  EXPECT_EQ(5, ifinfoarrptr[0].cur_in);
  EXPECT_EQ(0, ifinfoarrptr[1].cur_in);
}

TEST(ListingMatch, TokensAreComparedWhole) {
  std::string name15(15, 'x');
  maketable((name15 + " e:0x2:" + std::string(31, 'd') + " f:0x1234:10.0.0.1").c_str(), "A B C");
  std::string listing = rule("1", (name15 + "y").c_str(), "*", "0.0.0.0/0") +
                        rule("2", "e", "*", (std::string(31, 'd') + "d").c_str()) +
                        rule("4", "f", "*", "0.0.0.0/0", "mark match 0x12345678") +
                        rule("8", name15.c_str(), "*", "0.0.0.0/0");
  extractbytes(listing.c_str());
  EXPECT_EQ(8, ifinfoarrptr[0].cur_in);
  EXPECT_EQ(0, ifinfoarrptr[1].cur_in);
  EXPECT_EQ(0, ifinfoarrptr[2].cur_in);
}

TEST(ListingMatch, ShortLinesAndOddTokens) {
  maketable("eth0", "LAN");
  RuleLine shortline = parseruleline("  1 500 RETURN all --", false);
  EXPECT_EQ(500, shortline.bytes);
  EXPECT_TRUE(shortline.iface.empty());
  extractbytes("  1 500 RETURN all --\n");
  EXPECT_EQ(0, ifinfoarrptr[0].cur_in);
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
  maketable("eth0", "LAN");
  ifinfoarrptr[0].day_in = std::numeric_limits<int64_t>::max() - 1;
  extractbytes(rule("5", "eth0", "*", "0.0.0.0/0").c_str());
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), ifinfoarrptr[0].day_in);
}

}  // namespace
