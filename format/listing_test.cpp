#include "listing.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

TEST(ListingMatch, ShortLinesAndOddTokens) {
  RuleLine shortline = parseruleline("  1 500 RETURN all --", false);
  EXPECT_EQ(500, shortline.bytes);
  EXPECT_TRUE(shortline.iface.empty());
  RuleLine tabbed = parseruleline("1 7\t8 RETURN all -- eth0\tx * 0.0.0.0/0 0.0.0.0/00", false);
  EXPECT_EQ(7, tabbed.bytes);
  EXPECT_EQ("eth0\tx", tabbed.iface);
  EXPECT_EQ("0.0.0.0/00", tabbed.dest);
}

TEST(ListingMatch, CountsParseLikeStrtoll) {
  EXPECT_EQ(42, parsecount("42abc"));
  EXPECT_EQ(-7, parsecount("-7"));
  EXPECT_EQ(3, parsecount("+3"));
  EXPECT_EQ(0, parsecount("x9"));
  EXPECT_EQ(0, parsecount(""));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), parsecount("99999999999999999999"));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), parsecount("-99999999999999999999"));
}

// ip6tables prints the same columns, with "::/0" for any address.
TEST(ListingMatch, IPv6AnyAddressIsNoDestination) {
  EXPECT_EQ("", parseruleline("1 2 RETURN 0 -- * e ::/0 ::/0", true, kanyipv6).dest);
  EXPECT_EQ("::/0", parseruleline("1 2 RETURN 0 -- * e ::/0 ::/0", true).dest);
  EXPECT_EQ("e", parseruleline("1 2 RETURN 0 -- * e ::/0 ::/0", true, kanyipv6).iface);
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
