#include "sampling.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "iftable.h"
#include "listingtext.h"

namespace {

void maketable(const char* specs, const char* labels) {
  std::string text = std::string(specs) + "\n/r\n/t\n/p\n/h\n" + labels + "\n";
  ASSERT_EQ(0, init_ifinfoarr(text.c_str()));
}

TEST(TableSampling, WorkedExampleThroughTheTable) {
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

TEST(TableSampling, EmptyListingZeroesIntervalKeepsDay) {
  maketable("eth0", "LAN");
  ifinfoarrptr[0] = {{}, {}, {}, {}, 5, 6, 7, 8};
  std::strcpy(ifinfoarrptr[0].ifname, "eth0");
  extractbytes("");
  EXPECT_EQ(0, ifinfoarrptr[0].cur_in);
  EXPECT_EQ(0, ifinfoarrptr[0].cur_out);
  EXPECT_EQ(7, ifinfoarrptr[0].day_in);
  EXPECT_EQ(8, ifinfoarrptr[0].day_out);
}

TEST(ListingCounts, DirectionTurnsOutboundOnceAndForAll) {
  std::vector<IfInfo> t = tablefor("eth0", "LAN");
  std::string listing =
      ruleline(1, "eth0", "eth0") + "RETURN line naming RTCHARTS_OUT counts and does not switch\n" +
      ruleline(10, "eth0", "eth0") + "  9 99 RTCHARTS_OUT all -- eth0 * 0.0.0.0/0 0.0.0.0/0\n" +
      ruleline(100, "eth0", "eth0") + "Chain RTCHARTS_IN\n" + ruleline(1000, "eth0", "eth0") +
      "  5 5000 ACCEPT all -- eth0 eth0 0.0.0.0/0 0.0.0.0/0\n";
  countlisting(listing, t);
  EXPECT_EQ(11, t[0].cur_in);
  EXPECT_EQ(1100, t[0].cur_out);
}

TEST(ListingCounts, QualifiersComparedOnlyWhenTheLineHasThem) {
  std::vector<IfInfo> t = tablefor("eth1:0x2:10.8.0.1 eth1", "VPN WAN");
  std::string listing = ruleline(1, "eth1", "*") +              // neither: VPN
                        ruleline(2, "eth1", "*", "10.8.0.1") +  // dest fits: VPN
                        ruleline(4, "eth1", "*", "10.8.0.2") +  // dest differs: WAN
                        ruleline(8, "eth1", "*", "0.0.0.0/0", "mark match 0x3") +  // WAN
                        ruleline(16, "eth1", "*", "10.8.0.1", "mark match 0x2") +  // VPN
                        ruleline(32, "eth1", "*", "10.8.0.1", "mark match 0x3");   // WAN
  countlisting(listing, t);
  EXPECT_EQ(1 + 2 + 16, t[0].cur_in);
  EXPECT_EQ(4 + 8 + 32, t[1].cur_in);
}

TEST(ListingCounts, FirstRecordInTableOrderWins) {
  std::vector<IfInfo> t = tablefor("eth1 eth1:0x2:10.8.0.1", "ALL VPN");
  countlisting(ruleline(5, "eth1", "*", "10.8.0.1"), t);
  EXPECT_EQ(5, t[0].cur_in);
  EXPECT_EQ(0, t[1].cur_in);
}

TEST(ListingCounts, TokensAreComparedWhole) {
  std::string name15(15, 'x');
  std::vector<IfInfo> t =
      tablefor((name15 + " e:0x2:" + std::string(31, 'd') + " f:0x1234:10.0.0.1").c_str(), "A B C");
  std::string listing =
      ruleline(1, name15 + "y", "*") + ruleline(2, "e", "*", std::string(31, 'd') + "d") +
      ruleline(4, "f", "*", "0.0.0.0/0", "mark match 0x12345678") + ruleline(8, name15, "*");
  countlisting(listing, t);
  EXPECT_EQ(8, t[0].cur_in);
  EXPECT_EQ(0, t[1].cur_in);
  EXPECT_EQ(0, t[2].cur_in);
}

TEST(ListingCounts, AShortLineMatchesNoRecord) {
  std::vector<IfInfo> t = tablefor("eth0", "LAN");
  countlisting("  1 500 RETURN all --\n", t);
  EXPECT_EQ(0, t[0].cur_in);
}

TEST(ListingCounts, CountersSaturate) {
  std::vector<IfInfo> t = tablefor("eth0", "LAN");
  t[0].day_in = std::numeric_limits<int64_t>::max() - 1;
  t[0].day_out = std::numeric_limits<int64_t>::min() + 1;
  countlisting(inrule(5, "eth0"), t);
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), t[0].day_in);
  EXPECT_EQ(5, t[0].cur_in);
  addbytes(t[0], true, -5);
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), t[0].day_out);
}

// ip6tables prints the same columns, with "::/0" for any address.
TEST(ListingCounts, IPv6ListingAnyAddressIsNoDestination) {
  std::vector<IfInfo> t = tablefor("eth1:0x2:10.8.0.1 eth1", "VPN WAN");
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
}

}  // namespace
