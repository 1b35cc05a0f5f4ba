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

TEST(Sampling, WorkedExampleThroughTheTable) {
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

TEST(Sampling, EmptyListingZeroesIntervalKeepsDay) {
  maketable("eth0", "LAN");
  ifinfoarrptr[0] = {{}, {}, {}, {}, 5, 6, 7, 8};
  std::strcpy(ifinfoarrptr[0].ifname, "eth0");
  extractbytes("");
  EXPECT_EQ(0, ifinfoarrptr[0].cur_in);
  EXPECT_EQ(0, ifinfoarrptr[0].cur_out);
  EXPECT_EQ(7, ifinfoarrptr[0].day_in);
  EXPECT_EQ(8, ifinfoarrptr[0].day_out);
}

}  // namespace
