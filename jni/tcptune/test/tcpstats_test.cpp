#include "tcpstats.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

using Record = unsigned char[tcpstats::kInfoLength];

void putWord(Record& info, std::size_t offset, std::uint32_t value) {
  std::memcpy(info + offset, &value, sizeof value);
}

std::string format(const Record& info, const char* name) {
  char line[tcpstats::kLineSize];
  tcpstats::formatStats(line, info, name);
  return line;
}

TEST(StatsLine, DocumentedExample) {
  Record info = {};
  putWord(info, tcpstats::kOffTotalRetrans, 12);
  putWord(info, tcpstats::kOffUnacked, 3);
  putWord(info, tcpstats::kOffRtt, 25000);
  putWord(info, tcpstats::kOffRttvar, 4000);
  putWord(info, tcpstats::kOffRcvRtt, 0);
  putWord(info, tcpstats::kOffSndCwnd, 10);
  putWord(info, tcpstats::kOffSndMss, 1448);
  putWord(info, tcpstats::kOffFackets, 0);
  EXPECT_EQ("12,3,25000,4000,0,10,1448,cubic,0", format(info, "cubic"));
}

// Each place reads its own offset: distinct values catch a swapped field,
// and words next to the read ones must not leak in.
TEST(StatsLine, EachPlaceReadsItsOffset) {
  Record info;
  std::memset(info, 0xee, sizeof info);
  const std::size_t order[] = {tcpstats::kOffTotalRetrans, tcpstats::kOffUnacked,
                               tcpstats::kOffRtt,          tcpstats::kOffRttvar,
                               tcpstats::kOffRcvRtt,       tcpstats::kOffSndCwnd,
                               tcpstats::kOffSndMss,       tcpstats::kOffFackets};
  std::uint32_t value = 1;
  for (std::size_t offset : order) putWord(info, offset, value++);
  EXPECT_EQ("1,2,3,4,5,6,7,reno,8", format(info, "reno"));
}

// Words are unsigned: the largest value prints as ten digits, never negative,
// and the longest line (103 characters) fits.
TEST(StatsLine, UnsignedWordsAndLongestLine) {
  Record info;
  std::memset(info, 0xff, sizeof info);
  const std::string line = format(info, "abcdefghijklmno");
  EXPECT_EQ(103u, line.size());
  EXPECT_EQ(
      "4294967295,4294967295,4294967295,4294967295,4294967295,4294967295,"
      "4294967295,abcdefghijklmno,4294967295",
      line);
}

TEST(StatsLine, EmptyNameKeepsNineFields) {
  Record info = {};
  putWord(info, tcpstats::kOffSndCwnd, 10);
  EXPECT_EQ("0,0,0,0,0,10,0,,0", format(info, ""));
}

}  // namespace
