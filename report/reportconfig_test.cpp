#include "reportconfig.h"

#include <gtest/gtest.h>

namespace {

std::string messages(const Problems& problems) {
  std::string text;
  for (const Problem& problem : problems) text += describe(problem) + "\n";
  return text;
}

TEST(Config, InterfacesAndPaths) {
  Problems problems;
  ReportConfig config = parseconfig(
      "# comments start with '#'\n"
      "\n"
      "eth0 wan\n"
      "  eth1:0x2:10.8.0.1   vpn   # the tunnel\n"
      "RATE_FILE =/tmp/r\n"
      "HISTORY_FILE= /srv/history \n"
      "DAY_FILE\t=\t/srv/day\n",
      "c", problems);
  EXPECT_EQ((std::vector<std::string>{"wan", "vpn"}), config.labels);
  EXPECT_EQ("/tmp/r", config.ratefile);
  EXPECT_EQ("/srv/history", config.historyfile);
  EXPECT_EQ("/run/byteloom/today", config.todayfile);
  EXPECT_EQ("/srv/day", config.dayfile);
  EXPECT_TRUE(problems.empty()) << messages(problems);
}

TEST(Config, BadLinesAreNamedAndTheRestApplies) {
  Problems problems;
  ReportConfig config = parseconfig(
      "eth0 wan\n"
      "eth1:0x2 half\n"
      "eth1::10.0.0.1 gap\n"
      "averyveryverylongif lan\n"
      "eth2:12345678:x m\n"
      "eth2 wan\n"
      "eth3\n"
      "eth3 dmz extra\n"
      "COLOUR=blue\n"
      "DAY_FILE=\n"
      "eth4 " + std::string(256, 'x') + "\n"
      "eth5 ok\n",
      "/etc/byteloom/byteloom.conf", problems);
  EXPECT_EQ((std::vector<std::string>{"wan", "ok"}), config.labels);
  EXPECT_EQ(
      "/etc/byteloom/byteloom.conf:2: interface 'eth1:0x2' must be ifname or ifname:matchval:dest; line skipped\n"
      "/etc/byteloom/byteloom.conf:3: interface 'eth1::10.0.0.1' has an empty part; line skipped\n"
      "/etc/byteloom/byteloom.conf:4: interface 'averyveryverylongif' interface name is longer than 15 characters; line skipped\n"
      "/etc/byteloom/byteloom.conf:5: interface 'eth2:12345678:x' match value is longer than 7 characters; line skipped\n"
      "/etc/byteloom/byteloom.conf:6: label 'wan' is used twice; line skipped\n"
      "/etc/byteloom/byteloom.conf:7: expected '<spec> <label>'; line skipped\n"
      "/etc/byteloom/byteloom.conf:8: expected '<spec> <label>'; line skipped\n"
      "/etc/byteloom/byteloom.conf:9: unknown setting 'COLOUR'; line skipped\n"
      "/etc/byteloom/byteloom.conf:10: empty path; line skipped\n"
      "/etc/byteloom/byteloom.conf:11: label '" + std::string(256, 'x') +
          "' is longer than 255 characters; line skipped\n",
      messages(problems));
}

TEST(Config, LabelAtTheLimitsAndHashInsideAWord) {
  Problems problems;
  ReportConfig config = parseconfig("eth0 " + std::string(255, 'y') + "\nTODAY_FILE=/run/a#b\n", "c", problems);
  ASSERT_EQ(1u, config.labels.size());
  EXPECT_EQ(255u, config.labels[0].size());
  EXPECT_EQ("/run/a#b", config.todayfile);
  EXPECT_TRUE(problems.empty()) << messages(problems);
}

}  // namespace
