#include "startup.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
