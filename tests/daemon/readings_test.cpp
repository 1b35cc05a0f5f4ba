// The real daemon on a packet filter that lists without zeroing (the fake
// iptables says nf_tables): the readings saved beside the day file carry a
// restart across what arrived meanwhile, and readings that can't belong to
// the counters now listed are ignored, so the first listing counts whole.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "sandbox.h"

namespace {

class SavedReadings : public ::testing::Test {
 protected:
  void SetUp() override {
    sb.standardscript("eth0 eth1", "wan lan");
    sb.clock("2026-03-07 12:00:05");
    sb.write("listings/backend", "nf_tables");
    // Counters that keep what they counted: 150 bytes in on eth0 on every listing.
    sb.write("listings/RTCHARTS_IN.always", inrule(150, "eth0"));
    sb.write("day", "[2026-03-07] wan 1000 0 lan 0 0 ");
  }

  // A saved file whose one reading says eth0's rule stood at 100.
  void savedreadings(const std::string& boot, const std::string& netns, const std::string& uptime) {
    std::string line = inrule(150, "eth0");
    std::string rule = line.substr(line.find("RETURN"));
    rule.erase(rule.find_last_not_of(" \n") + 1);
    sb.write("day.counters", "boot " + boot + "\nnetns " + netns + "\nuptime " + uptime +
                                 "\nipv4 in 100 " + rule + "\n");
  }

  static std::string thisnetns() {
    char link[64] = {};
    ssize_t len = readlink("/proc/self/ns/net", link, sizeof link - 1);
    return len > 0 ? std::string(link, static_cast<size_t>(len)) : "-";
  }

  std::string endday() {
    sb.signal(SIGTERM);
    EXPECT_EQ(0, sb.wait());
    return sb.read("day");
  }

  Sandbox sb;
};

TEST_F(SavedReadings, ARestartCountsOnlyWhatArrivedSince) {
  savedreadings("-", thisnetns(), "0");
  sb.start();
  ASSERT_TRUE(Sandbox::waitfor([&] { return sb.read("today") == "wan 1050 0 lan 0 0 "; }))
      << sb.read("today") << sb.stderror();
  EXPECT_NE(std::string::npos, sb.stderror().find("nf_tables")) << sb.stderror();
  EXPECT_EQ("[2026-03-07] wan 1050 0 lan 0 0 ", endday());
  // Saved again with the day: the reading that the day's total includes.
  EXPECT_NE(std::string::npos, sb.read("day.counters").find("\nipv4 in 150 RETURN"))
      << sb.read("day.counters");
}

TEST_F(SavedReadings, ReadingsOfOtherCountersAreIgnored) {
  const char* cases[][3] = {
      {"-", "net:[1]", "0"},                              // another network namespace
      {"-", "", "9999999999"},                            // a boot clock that went back: a reboot
      {"00000000-0000-0000-0000-000000000000", "", "0"},  // another boot, where the id is readable
  };
  bool bootidreadable = access("/proc/sys/kernel/random/boot_id", R_OK) == 0;
  for (auto& c : cases) {
    if (c[0][0] != '-' && !bootidreadable) continue;
    SetUp();
    std::filesystem::remove(sb.path("today"));
    savedreadings(c[0], c[1][0] ? c[1] : thisnetns(), c[2]);
    sb.start();
    ASSERT_TRUE(Sandbox::waitfor([&] { return sb.read("today") == "wan 1150 0 lan 0 0 "; }))
        << c[1] << " " << c[2] << ": " << sb.read("today");
    EXPECT_NE(std::string::npos, sb.stderror().find("ignored the saved counter readings"))
        << sb.stderror();
    EXPECT_EQ("[2026-03-07] wan 1150 0 lan 0 0 ", endday());
  }
}

TEST_F(SavedReadings, ATornFileIsIgnored) {
  savedreadings("-", thisnetns(), "0");
  std::string text = sb.read("day.counters");
  sb.write("day.counters", text.substr(0, text.size() - 5));
  sb.start();
  ASSERT_TRUE(Sandbox::waitfor([&] { return sb.read("today") == "wan 1150 0 lan 0 0 "; }))
      << sb.read("today");
  EXPECT_EQ("[2026-03-07] wan 1150 0 lan 0 0 ", endday());
}

// A listing taken while another program changes the chains can show a rule
// twice or miss one; neither is counted as a rule set up anew.
TEST_F(SavedReadings, AListingTornByAChangeOfTheChainsCountsNothingTwice) {
  savedreadings("-", thisnetns(), "0");
  sb.start();
  ASSERT_TRUE(Sandbox::waitfor([&] { return sb.read("today") == "wan 1050 0 lan 0 0 "; }))
      << sb.read("today") << sb.stderror();
  auto servedonce = [&](const std::string& rules) {
    sb.queue("RTCHARTS_IN", rules);
    return Sandbox::waitfor([&] { return !std::filesystem::exists(sb.path("listings/RTCHARTS_IN")); });
  };
  auto growsto = [&](int bytes, const std::string& today) {
    sb.write("listings/.always", inrule(bytes, "eth0"));
    std::filesystem::rename(sb.path("listings/.always"), sb.path("listings/RTCHARTS_IN.always"));
    return Sandbox::waitfor([&] { return sb.read("today") == today; });
  };
  ASSERT_TRUE(servedonce(inrule(150, "eth0") + inrule(150, "eth0")));
  ASSERT_TRUE(growsto(160, "wan 1060 0 lan 0 0 ")) << sb.read("today");
  ASSERT_TRUE(servedonce(""));
  ASSERT_TRUE(growsto(170, "wan 1070 0 lan 0 0 ")) << sb.read("today");
  EXPECT_EQ("[2026-03-07] wan 1070 0 lan 0 0 ", endday());
}

}  // namespace
