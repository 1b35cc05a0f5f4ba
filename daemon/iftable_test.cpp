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

TEST(StartupOutput, EveryFormOfSpecification) {
  ASSERT_EQ(
      0, init_ifinfoarr(
             output("eth0 eth1:0x2:10.8.0.1 ppp0:7:1.2.3.4:more :wg0 tun0:", "a b c d e").c_str()));
  ASSERT_EQ(5, ifinfoarrsize);
  EXPECT_STREQ("eth0", ifinfoarrptr[0].ifname);
  EXPECT_STREQ("", ifinfoarrptr[0].matchval);
  EXPECT_STREQ("", ifinfoarrptr[0].dest);
  EXPECT_STREQ("eth1", ifinfoarrptr[1].ifname);
  EXPECT_STREQ("0x2", ifinfoarrptr[1].matchval);
  EXPECT_STREQ("10.8.0.1", ifinfoarrptr[1].dest);
  EXPECT_STREQ("1.2.3.4", ifinfoarrptr[2].dest);
  EXPECT_STREQ("wg0", ifinfoarrptr[3].ifname);
  EXPECT_STREQ("", ifinfoarrptr[3].dest);
  EXPECT_STREQ("tun0", ifinfoarrptr[4].ifname);
  EXPECT_EQ("e", labelof(4));
  EXPECT_STREQ("/run/rate", outfile);
  EXPECT_STREQ("/run/today", outfileday);
  EXPECT_STREQ("/var/persist", outpersistentfileday);
  EXPECT_STREQ("/var/history", outdayvolumes);
}

TEST(StartupOutput, BlankLinesAndRepeatedSpacesChangeNothing) {
  ASSERT_EQ(0, init_ifinfoarr("\n\n  eth0   eth1  \n\n/r\n\n/t\n/p\n\n/h\n\n   wan    lan  \n\n"));
  ASSERT_EQ(2, ifinfoarrsize);
  EXPECT_STREQ("eth1", ifinfoarrptr[1].ifname);
  EXPECT_EQ("wan", labelof(0));
  EXPECT_EQ("lan", labelof(1));
  EXPECT_STREQ("/h", outdayvolumes);
}

TEST(StartupOutput, PathsAreTakenWhole) {
  ASSERT_EQ(0, init_ifinfoarr("eth0\n /dir with space/rate \n/t\n/p\n/h\nx\n"));
  EXPECT_STREQ(" /dir with space/rate ", outfile);
}

TEST(StartupOutput, MissingLabelsAreNumberedByPosition) {
  ASSERT_EQ(0, init_ifinfoarr(output("a b c", "one two").c_str()));
  EXPECT_EQ("two", labelof(1));
  EXPECT_EQ("UNKNOWN-2", labelof(2));
  ASSERT_EQ(0, init_ifinfoarr(output("a b", "   ").c_str()));
  EXPECT_EQ("UNKNOWN-0", labelof(0));
  EXPECT_EQ("UNKNOWN-1", labelof(1));
  ASSERT_EQ(0, init_ifinfoarr(output("a", "one two three").c_str()));
  EXPECT_EQ(1, ifinfoarrsize);
}

TEST(StartupOutput, LabelsMayHoldAnyCharacterButSpace) {
  ASSERT_EQ(0, init_ifinfoarr(output("a b", "up_link wan.1\t").c_str()));
  EXPECT_EQ("up_link", labelof(0));
  EXPECT_EQ("wan.1\t", labelof(1));
}

TEST(StartupOutput, SpacesOnlyFirstLineGivesAnEmptyTable) {
  ASSERT_EQ(0, init_ifinfoarr(output("   ", "x").c_str()));
  EXPECT_EQ(0, ifinfoarrsize);
  EXPECT_STREQ("/run/rate", outfile);
}

TEST(StartupOutput, MalformedOutputFails) {
  const char* bad[] = {
      "",
      "\n\n\n",
      "eth0 eth1:0x2\n/r\n/t\n/p\n/h\nl\n",        // two parts
      "eth0 eth1::10.0.0.1\n/r\n/t\n/p\n/h\nl\n",  // a double colon is one separator
      "eth0 :::\n/r\n/t\n/p\n/h\nl\n",             // colons only
      "eth0\n/r\n/t\n/p\n/h\n",                    // no label line
      "eth0\n/r\n/t\n",                            // paths missing
  };
  for (const char* text : bad) {
    EXPECT_EQ(-1, init_ifinfoarr(text)) << text;
    EXPECT_EQ(0, ifinfoarrsize) << text;
  }
}

TEST(StartupOutput, FieldsThatDoNotFitFailInsteadOfBeingCut) {
  std::string name15(15, 'n'), name16(16, 'n');
  EXPECT_EQ(0, init_ifinfoarr(output(name15, "l").c_str()));
  EXPECT_EQ(-1, init_ifinfoarr(output(name16, "l").c_str()));
  EXPECT_EQ(0, init_ifinfoarr(output("e:1234567:" + std::string(31, 'd'), "l").c_str()));
  EXPECT_EQ(-1, init_ifinfoarr(output("e:12345678:d", "l").c_str()));
  EXPECT_EQ(-1, init_ifinfoarr(output("e:1:" + std::string(32, 'd'), "l").c_str()));
  EXPECT_EQ(0, init_ifinfoarr(output("e", std::string(255, 'l')).c_str()));
  EXPECT_EQ(-1, init_ifinfoarr(output("e", std::string(256, 'l')).c_str()));
  std::string path511(511, 'p'), path512(512, 'p');
  EXPECT_EQ(0, init_ifinfoarr(("e\n" + path511 + "\n/t\n/p\n/h\nl\n").c_str()));
  EXPECT_EQ(path511, outfile);
  EXPECT_EQ(-1, init_ifinfoarr(("e\n/r\n/t\n" + path512 + "\n/h\nl\n").c_str()));
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
