#include "iftable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string output(const std::string& specs, const std::string& labels) {
  return specs + "\n/run/rate\n/run/today\n/var/persist\n/var/history\n" + labels + "\n";
}

std::string labelof(int i) {
  return ifinfoarrptr[i].label;
}

// The parser's cases are beside it in format/; here, that its result reaches
// the daemon's table and paths, and that a refusal leaves no table.
TEST(InterfaceTable, FillsTheTableAndThePaths) {
  ASSERT_EQ(0, init_ifinfoarr(output("eth0 eth1:0x2:10.8.0.1", "wan").c_str()));
  ASSERT_EQ(2, ifinfoarrsize);
  EXPECT_STREQ("0x2", ifinfoarrptr[1].matchval);
  EXPECT_EQ("wan", labelof(0));
  EXPECT_EQ("UNKNOWN-1", labelof(1));
  EXPECT_STREQ("/run/rate", outfile);
  EXPECT_STREQ("/run/today", outfileday);
  EXPECT_STREQ("/var/persist", outpersistentfileday);
  EXPECT_STREQ("/var/history", outdayvolumes);
  EXPECT_EQ(-1, init_ifinfoarr("eth0 eth1:0x2\n/r\n/t\n/p\n/h\nl\n"));
  EXPECT_EQ(0, ifinfoarrsize);
}

TEST(Counters, ResetsClearOnlyTheirPair) {
  ASSERT_EQ(0, init_ifinfoarr(output("a b", "x y").c_str()));
  for (IfInfo& record : iftable()) record = {{}, {}, {}, {}, 1, 2, 3, 4};
  resetcounters();
  EXPECT_EQ(0, ifinfoarrptr[1].cur_in);
  EXPECT_EQ(0, ifinfoarrptr[1].cur_out);
  EXPECT_EQ(3, ifinfoarrptr[1].day_in);
  resetdaycounters();
  EXPECT_EQ(0, ifinfoarrptr[0].day_in);
  EXPECT_EQ(0, ifinfoarrptr[0].day_out);
}

}  // namespace
