#include "startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::optional<StartupOutput> parse(const std::string& text, std::string& error) {
  return parsestartupoutput(text, error);
}

TEST(StartupParser, ReturnsTheTablePathsAndLabelsAsAValue) {
  std::string error;
  std::optional<StartupOutput> output =
      parse("\neth0 eth1:0x2:10.8.0.1\n/r a\n/t\n\n/p\n/h\nwan\n", error);
  ASSERT_TRUE(output) << error;
  ASSERT_EQ(2u, output->table.size());
  EXPECT_STREQ("eth1", output->table[1].ifname);
  EXPECT_STREQ("0x2", output->table[1].matchval);
  EXPECT_STREQ("wan", output->table[0].label);
  EXPECT_STREQ("UNKNOWN-1", output->table[1].label);
  EXPECT_EQ(0, output->table[1].day_in);
  EXPECT_EQ("/r a", output->ratefile);
  EXPECT_EQ("/t", output->todayfile);
  EXPECT_EQ("/p", output->dayfile);
  EXPECT_EQ("/h", output->historyfile);
}

TEST(StartupParser, ErrorsNameTheOffendingItem) {
  std::string error;
  EXPECT_FALSE(parse("eth0:0x2\n/r\n/t\n/p\n/h\nwan\n", error));
  EXPECT_EQ("interface specification needs name:value:destination: \"eth0:0x2\"", error);
  EXPECT_FALSE(parse("averyveryverylongname\n/r\n/t\n/p\n/h\nwan\n", error));
  EXPECT_EQ("interface name longer than 15 characters: \"averyveryverylongname\"", error);
  EXPECT_FALSE(parse("eth0\n/r\n/t\n/p\n/h\n", error));
  EXPECT_EQ("start-up output ends before its label line", error);
  EXPECT_FALSE(parse("eth0\n/r\n/t\n", error));
  EXPECT_EQ("start-up output ends before its four file paths", error);
  EXPECT_FALSE(parse("\n\n", error));
  EXPECT_EQ("start-up output holds no interface line", error);
  EXPECT_FALSE(parse("eth0\n" + std::string(512, 'p') + "\n/t\n/p\n/h\nwan\n", error));
  EXPECT_EQ(0u, error.find("file path longer than 511 characters"));
}

std::string output(const std::string& specs, const std::string& labels) {
  return specs + "\n/run/rate\n/run/today\n/var/persist\n/var/history\n" + labels + "\n";
}

// The table, paths and labels of text, which must parse.
StartupOutput parsed(const std::string& text) {
  std::string error;
  std::optional<StartupOutput> result = parsestartupoutput(text, error);
  EXPECT_TRUE(result) << error << "\n" << text;
  return result.value_or(StartupOutput{});
}

std::vector<std::string> labels(const StartupOutput& output) {
  std::vector<std::string> names;
  for (const IfInfo& record : output.table) names.emplace_back(record.label);
  return names;
}

bool refused(const std::string& text) {
  std::string error;
  return !parsestartupoutput(text, error) && !error.empty();
}

TEST(StartupOutput, EveryFormOfSpecification) {
  StartupOutput out =
      parsed(output("eth0 eth1:0x2:10.8.0.1 ppp0:7:1.2.3.4:more :wg0 tun0:", "a b c d e"));
  ASSERT_EQ(5u, out.table.size());
  EXPECT_STREQ("eth0", out.table[0].ifname);
  EXPECT_STREQ("", out.table[0].matchval);
  EXPECT_STREQ("", out.table[0].dest);
  EXPECT_STREQ("eth1", out.table[1].ifname);
  EXPECT_STREQ("0x2", out.table[1].matchval);
  EXPECT_STREQ("10.8.0.1", out.table[1].dest);
  EXPECT_STREQ("1.2.3.4", out.table[2].dest);
  EXPECT_STREQ("wg0", out.table[3].ifname);
  EXPECT_STREQ("", out.table[3].dest);
  EXPECT_STREQ("tun0", out.table[4].ifname);
  EXPECT_STREQ("e", out.table[4].label);
  EXPECT_EQ("/run/rate", out.ratefile);
  EXPECT_EQ("/var/history", out.historyfile);
}

TEST(StartupOutput, BlankLinesRepeatedSpacesAndWholePaths) {
  StartupOutput out = parsed("\n\n  eth0   eth1  \n\n/r\n\n/t\n/p\n\n/h\n\n   wan    lan  \n\n");
  ASSERT_EQ(2u, out.table.size());
  EXPECT_STREQ("eth1", out.table[1].ifname);
  EXPECT_EQ((std::vector<std::string>{"wan", "lan"}), labels(out));
  EXPECT_EQ("/h", out.historyfile);
  EXPECT_EQ(" /dir with space/rate ",
            parsed("eth0\n /dir with space/rate \n/t\n/p\n/h\nx\n").ratefile);
}

TEST(StartupOutput, LabelsNumberedByPositionAndHoldingAnythingButSpace) {
  EXPECT_EQ((std::vector<std::string>{"one", "two", "UNKNOWN-2"}),
            labels(parsed(output("a b c", "one two"))));
  EXPECT_EQ((std::vector<std::string>{"UNKNOWN-0", "UNKNOWN-1"}),
            labels(parsed(output("a b", "   "))));
  EXPECT_EQ(1u, parsed(output("a", "one two three")).table.size());
  EXPECT_EQ((std::vector<std::string>{"up_link", "wan.1\t"}),
            labels(parsed(output("a b", "up_link wan.1\t"))));
  StartupOutput empty = parsed(output("   ", "x"));
  EXPECT_TRUE(empty.table.empty());
  EXPECT_EQ("/run/rate", empty.ratefile);
}

TEST(StartupOutput, MalformedOutputAndFieldsThatDoNotFitFail) {
  for (const char* text : {
           "", "\n\n\n",
           "eth0 eth1:0x2\n/r\n/t\n/p\n/h\nl\n",        // two parts
           "eth0 eth1::10.0.0.1\n/r\n/t\n/p\n/h\nl\n",  // a double colon is one separator
           "eth0 :::\n/r\n/t\n/p\n/h\nl\n",             // colons only
           "eth0\n/r\n/t\n/p\n/h\n",                    // no label line
           "eth0\n/r\n/t\n",                            // paths missing
       })
    EXPECT_TRUE(refused(text)) << text;
  EXPECT_EQ(1u, parsed(output(std::string(15, 'n'), "l")).table.size());
  EXPECT_TRUE(refused(output(std::string(16, 'n'), "l")));
  EXPECT_EQ(1u, parsed(output("e:1234567:" + std::string(31, 'd'), "l")).table.size());
  EXPECT_TRUE(refused(output("e:12345678:d", "l")));
  EXPECT_TRUE(refused(output("e:1:" + std::string(32, 'd'), "l")));
  EXPECT_EQ(1u, parsed(output("e", std::string(255, 'l'))).table.size());
  EXPECT_TRUE(refused(output("e", std::string(256, 'l'))));
  EXPECT_EQ(std::string(511, 'p'),
            parsed("e\n" + std::string(511, 'p') + "\n/t\n/p\n/h\nl\n").ratefile);
  EXPECT_TRUE(refused("e\n/r\n/t\n" + std::string(512, 'p') + "\n/h\nl\n"));
}

}  // namespace
