#include "savedreadings.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::unique_ptr<CounterBook[]> books() {
  return std::unique_ptr<CounterBook[]>(new CounterBook[2]());
}

TEST(SavedReadingsText, WrittenAndReadBack) {
  auto written = books();
  written[0].add(false, "RETURN 0 -- eth0 * 0.0.0.0/0 0.0.0.0/0", 1150);
  written[0].add(true, "RETURN 0 -- * eth0 0.0.0.0/0 0.0.0.0/0", 320);
  written[1].add(true, "RETURN 0 -- * eth1 ::/0 ::/0", 9);
  Lifetime lifetime{"0f1e2d3c-0000-4000-8000-000000000001", "net:[4026531840]", 86400};
  SavedBook saved[] = {{"ipv4", &written[0]}, {"ipv6", &written[1]}};
  std::string text(kreadingssize, '\0');
  text.resize(formatreadings(text.data(), text.size(), lifetime, saved));
  EXPECT_EQ(
      "boot 0f1e2d3c-0000-4000-8000-000000000001\nnetns net:[4026531840]\nuptime 86400\n"
      "ipv4 in 1150 RETURN 0 -- eth0 * 0.0.0.0/0 0.0.0.0/0\n"
      "ipv4 out 320 RETURN 0 -- * eth0 0.0.0.0/0 0.0.0.0/0\n"
      "ipv6 out 9 RETURN 0 -- * eth1 ::/0 ::/0\n",
      text);

  auto read = books();
  Lifetime back{};
  LoadedReadings loaded = parsereadings(text, back, read[0], read[1]);
  EXPECT_EQ(nullptr, loaded.problem);
  EXPECT_EQ(0u, loaded.dropped);
  EXPECT_STREQ(lifetime.boot, back.boot);
  EXPECT_STREQ(lifetime.netns, back.netns);
  EXPECT_EQ(86400, back.uptime);
  ASSERT_EQ(2u, read[0].size);
  ASSERT_EQ(1u, read[1].size);
  EXPECT_EQ("RETURN 0 -- * eth0 0.0.0.0/0 0.0.0.0/0", read[0].ruleof(read[0].entries[1]));
  EXPECT_EQ(320, read[0].entries[1].bytes);
  EXPECT_TRUE(read[1].entries[0].outbound);
}

TEST(SavedReadingsText, ATextThatCantBeReadSaysWhy) {
  auto read = books();
  Lifetime back{};
  EXPECT_STREQ("it is empty or cut short", parsereadings("", back, read[0], read[1]).problem);
  EXPECT_STREQ("it is empty or cut short",
               parsereadings("boot -\nipv4 in 12 RETURN", back, read[0], read[1]).problem);
  EXPECT_STREQ("it holds a line that is not a reading",
               parsereadings("boot -\nipv4 in x RETURN\n", back, read[0], read[1]).problem);
  EXPECT_STREQ("it holds a line that is not a reading",
               parsereadings("ipv5 in 1 RETURN\n", back, read[0], read[1]).problem);
}

TEST(SavedReadingsText, ReadingsBeyondABookAreCounted) {
  std::string text = "boot -\nnetns -\nuptime 1\n";
  for (size_t i = 0; i < kbookentries + 3; ++i) text += "ipv4 in 1 RETURN\n";
  auto read = books();
  Lifetime back{};
  LoadedReadings loaded = parsereadings(text, back, read[0], read[1]);
  EXPECT_EQ(nullptr, loaded.problem);
  EXPECT_EQ(3u, loaded.dropped);
  EXPECT_EQ(kbookentries, read[0].size);
}

TEST(SavedReadingsText, BookLines) {
  BookLine line;
  ASSERT_TRUE(parsebookline("ipv6 out 123 RETURN     0    --  *  eth1  ::/0   ::/0", line));
  EXPECT_EQ("ipv6", line.family);
  EXPECT_TRUE(line.outbound);
  EXPECT_EQ(123, line.bytes);
  EXPECT_EQ("RETURN     0    --  *  eth1  ::/0   ::/0", line.rule);
  EXPECT_FALSE(parsebookline("ipv4 in 12", line));
  EXPECT_FALSE(parsebookline("ipv4 sideways 12 RETURN", line));
  EXPECT_FALSE(parsebookline("ipv4 in -12 RETURN", line));
  EXPECT_FALSE(parsebookline("ipv4 in 1x RETURN", line));
}

TEST(SavedReadingsText, OnlyReadingsOfTheLivingCountersAreUsed) {
  Lifetime now{"b-1", "net:[1]", 100};
  EXPECT_EQ(nullptr, otherlifetime({"b-1", "net:[1]", 100}, now));
  EXPECT_EQ(nullptr, otherlifetime({"-", "net:[1]", 50}, now));
  EXPECT_EQ(nullptr, otherlifetime({"b-1", "net:[1]", 50}, {"-", "net:[1]", 100}));
  EXPECT_STREQ("they were taken before the system last started",
               otherlifetime({"b-2", "net:[1]", 50}, now));
  // A later boot with a longer uptime than the saved one: only the id tells.
  EXPECT_STREQ("they were taken before the system last started",
               otherlifetime({"b-0", "net:[1]", 5}, now));
  EXPECT_STREQ("they were taken before the system last started",
               otherlifetime({"-", "net:[1]", 500}, now));
  EXPECT_STREQ("they were taken before the system last started",
               otherlifetime({"-", "net:[1]", -1}, now));
  EXPECT_STREQ("they were taken in another network namespace",
               otherlifetime({"b-1", "net:[2]", 50}, now));
}

}  // namespace
