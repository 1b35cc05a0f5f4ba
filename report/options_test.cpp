#include "options.h"

#include <gtest/gtest.h>

namespace {

std::optional<Options> parsed(std::vector<std::string_view> args, std::string* why = nullptr) {
  std::string error;
  std::optional<Options> options = parseoptions(args, error);
  if (why) *why = error;
  return options;
}

TEST(Options, DefaultsAndModes) {
  std::optional<Options> options = parsed({});
  ASSERT_TRUE(options);
  EXPECT_EQ(Mode::table, options->mode);
  EXPECT_EQ(7, effectivedays(*options));
  options = parsed({"--svg", "out.svg"});
  EXPECT_EQ(Mode::svg, options->mode);
  EXPECT_EQ("out.svg", options->svgfile);
  EXPECT_EQ(30, effectivedays(*options));
  options = parsed({"--json", "--live", "--count=3"});
  EXPECT_EQ(Mode::live, options->mode);
  EXPECT_TRUE(options->json);
  EXPECT_EQ(3, options->count);
}

TEST(Options, ValuesLabelsAndPaths) {
  std::optional<Options> options = parsed({"--days=14", "--label", "wan", "--label=a=b",
                                           "--config", "/c", "--history-file=/h", "--today-file", "/t"});
  ASSERT_TRUE(options);
  EXPECT_EQ(14, effectivedays(*options));
  EXPECT_EQ((std::vector<std::string>{"wan", "a=b"}), options->labels);
  EXPECT_EQ("/c", *options->config);
  EXPECT_EQ("/h", *options->historyfile);
  EXPECT_EQ("/t", *options->todayfile);
  EXPECT_FALSE(options->ratefile);
}

TEST(Options, MisuseIsExplained) {
  std::string why;
  EXPECT_FALSE(parsed({"--days", "0"}, &why));
  EXPECT_EQ("--days needs a whole number from 1 to 3660", why);
  EXPECT_FALSE(parsed({"--days", "7x"}, &why));
  EXPECT_FALSE(parsed({"--label"}, &why));
  EXPECT_EQ("--label needs a value", why);
  EXPECT_FALSE(parsed({"--json", "--svg", "x"}, &why));
  EXPECT_FALSE(parsed({"--count", "2"}, &why));
  EXPECT_EQ("--count goes with --live", why);
  EXPECT_FALSE(parsed({"--live=yes"}, &why));
  EXPECT_FALSE(parsed({"history"}, &why));
  EXPECT_EQ("unknown option history", why);
}

}  // namespace
