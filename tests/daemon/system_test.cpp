// Runs the real daemon binary in a sandbox: start-up failures, sampling,
// signals, the day bookkeeping across restarts and midnight, and crashes.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "sandbox.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kfatal = 255;

class Daemon : public ::testing::Test {
 protected:
  void SetUp() override { sb.standardscript("eth0 eth1", "wan lan"); }

  bool waitforfile(const std::string& name, const std::string& text,
                   std::chrono::milliseconds timeout = 10s) {
    bool seen = Sandbox::waitfor([&] { return sb.read(name) == text; }, timeout);
    EXPECT_TRUE(seen) << name << " holds \"" << sb.read(name) << "\", not \"" << text << "\"";
    return seen;
  }

  bool queued(const std::string& chain) { return fs::exists(sb.path("listings/" + chain)); }

  // Queues rules and waits until the daemon's cycle has consumed them.
  void sample(const std::string& inrules, const std::string& outrules) {
    sb.queue("RTCHARTS_IN", inrules);
    sb.queue("RTCHARTS_OUT", outrules);
    ASSERT_TRUE(
        Sandbox::waitfor([&] { return !queued("RTCHARTS_IN") && !queued("RTCHARTS_OUT"); }));
  }

  int terminate(int signal = SIGTERM) {
    sb.signal(signal);
    return sb.wait();
  }

  Sandbox sb;
};

using StartupFailures = Daemon;
using Sampling = Daemon;
using Signals = Daemon;
using DayBook = Daemon;
using Crashes = Daemon;

TEST_F(StartupFailures, MissingScript) {
  fs::remove(sb.path("getbyteloomheaders.sh"));
  sb.start();
  EXPECT_EQ(kfatal, sb.wait());
  EXPECT_EQ("ERROR. Could not find getbyteloomheaders.sh in the executable's path (" + sb.dir() +
                "). Exiting...\n",
            sb.stdoutput());
}

TEST_F(StartupFailures, MalformedOutputNamesTheItem) {
  const std::pair<std::string, std::string> cases[] = {
      {"eth0 eth1:0x2", "eth1:0x2"},
      {"eth0 " + std::string(16, 'x'), std::string(16, 'x')},
      {"eth0 :::", ":::"},
  };
  for (const auto& [specs, offender] : cases) {
    sb.standardscript(specs, "a b");
    sb.start();
    EXPECT_EQ(kfatal, sb.wait());
    EXPECT_EQ("ERROR. init_ifinfoarr()!=0. Sorry... errno=-1\n", sb.stdoutput());
    EXPECT_NE(std::string::npos, sb.stderror().find(offender)) << sb.stderror();
  }
  sb.script("echo eth0\necho /r\necho /t\necho /p\necho /h\n");
  sb.start();
  EXPECT_EQ(kfatal, sb.wait());
  EXPECT_EQ("ERROR. init_ifinfoarr()!=0. Sorry... errno=-1\n", sb.stdoutput());
  EXPECT_FALSE(fs::exists(sb.path("rate")));
}

TEST_F(StartupFailures, OutputOverTheCaptureLimit) {
  sb.script("head -c 16383 /dev/zero | tr '\\0' x\n");
  sb.start();
  EXPECT_EQ(kfatal, sb.wait());
  EXPECT_EQ("ERROR. runcommand(iheadcmd)!=0. Sorry... errno=-1\n", sb.stdoutput());
}

TEST_F(StartupFailures, ScriptFoundInADirectoryWithShellCharacters) {
  std::string odd = sb.path("it's a $(dir)");
  fs::create_directories(odd);
  fs::copy_file(sb.path("byteloom"), odd + "/byteloom");
  fs::copy_file(sb.path("getbyteloomheaders.sh"), odd + "/getbyteloomheaders.sh");
  fs::remove(sb.path("byteloom"));
  fs::create_symlink(odd + "/byteloom", sb.path("byteloom"));
  sb.start();
  waitforfile("today", "wan 0 0 lan 0 0 ");
  EXPECT_EQ(0, terminate());
}

TEST_F(Sampling, CountsEachRuleForItsInterfaceAndDirection) {
  sb.standardscript("eth0 eth1:0x2:10.8.0.1 eth1", "LAN VPN WAN");
  sb.queue("RTCHARTS_IN", inrule(904311, "eth0") + inrule(2210, "eth1") + inrule(99, "eth9"));
  sb.queue("RTCHARTS_OUT",
           outrule(51200, "eth1", "10.8.0.1") + outrule(300, "eth1", "192.168.5.9"));
  sb.start();
  waitforfile("today", "LAN 904311 0 VPN 2210 51200 WAN 0 300 ");
  waitforfile("rate", "0.00 0.00 0.00 0.00 0.00 0.00 ");
  sample(inrule(1234, "eth0"), "");
  waitforfile("today", "LAN 905545 0 VPN 2210 51200 WAN 0 300 ");
  EXPECT_EQ(0, terminate());
}

TEST_F(Sampling, RateFileShowsTheLastSecond) {
  sb.start();
  waitforfile("today", "wan 0 0 lan 0 0 ");
  sb.queue("RTCHARTS_OUT", outrule(1234, "eth1"));
  waitforfile("rate", "0.00 0.00 0.00 1.23 ");
  waitforfile("rate", "0.00 0.00 0.00 0.00 ");
  EXPECT_EQ(0, terminate());
}

TEST_F(Sampling, ListingOverTheCaptureLimitEndsTheDaemon) {
  sb.start();
  waitforfile("today", "wan 0 0 lan 0 0 ");
  sb.queue("RTCHARTS_OUT", std::string(17000, ' ') + "\n");
  EXPECT_EQ(kfatal, sb.wait());
  EXPECT_EQ("ERROR. runcommand(iptcmd)!=0. Sorry...", sb.stdoutput());
}

TEST_F(Signals, TermAndIntPersistTheDay) {
  for (int signal : {SIGTERM, SIGINT}) {
    sb.clock("2026-03-07 12:00:10");
    sb.queue("RTCHARTS_IN", inrule(500, "eth0"));
    sb.start();
    waitforfile("today", "wan 500 0 lan 0 0 ");
    EXPECT_EQ(0, terminate(signal));
    EXPECT_EQ("[2026-03-07] wan 500 0 lan 0 0 ", sb.read("day"));
    EXPECT_EQ("", sb.stdoutput());
    fs::remove(sb.path("day"));
    fs::remove(sb.path("today"));
  }
}

TEST_F(Signals, HangUpIsIgnored) {
  sb.start();
  waitforfile("today", "wan 0 0 lan 0 0 ");
  sb.signal(SIGHUP);
  sample(inrule(7, "eth1"), "");
  waitforfile("today", "wan 0 0 lan 7 0 ");
  EXPECT_TRUE(sb.running());
  EXPECT_EQ(0, terminate());
}

TEST_F(Signals, TerminationWithoutAWritablePersistentFile) {
  sb.clock("2026-03-07 12:00:05");
  sb.script("echo eth0\necho " + sb.path("rate") + "\necho " + sb.path("today") + "\necho " +
            sb.path("missing/day") + "\necho " + sb.path("history") + "\necho wan\n");
  sb.start();
  waitforfile("today", "wan 0 0 ");
  EXPECT_EQ(1, terminate());
  EXPECT_EQ("FATAL! Couldn't open persistent file for writing after receiving SIGTERM!",
            sb.stdoutput());
}

TEST_F(Signals, TerminationDuringStartUpWritesNothing) {
  sb.write("day", "[2026-03-07] wan 11 22 lan 33 44 ");
  sb.script("touch " + sb.path("started") + "; sleep 1\necho eth0 eth1\necho " + sb.path("rate") +
            "\necho " + sb.path("today") + "\necho " + sb.path("day") + "\necho " +
            sb.path("history") + "\necho wan lan\n");
  sb.start();
  ASSERT_TRUE(Sandbox::waitfor([&] { return fs::exists(sb.path("started")); }));
  EXPECT_EQ(1, terminate());
  EXPECT_EQ("FATAL! Couldn't open persistent file for writing after receiving SIGTERM!",
            sb.stdoutput());
  EXPECT_EQ("[2026-03-07] wan 11 22 lan 33 44 ", sb.read("day"));
}

TEST_F(Signals, CycleInProgressFinishesBeforeThePersist) {
  // The termination arrives while a slow listing command runs, after it has
  // zeroed the chain: the listing's bytes must still reach the persistent file.
  sb.write("bin/iptables", "#!/bin/sh\n[ \"$5\" = RTCHARTS_IN ] || exit 0\ntouch " +
                               sb.path("listing") + "\nsleep 0.5\necho '" + inrule(900, "eth0") +
                               "'\n");
  sb.start();
  ASSERT_TRUE(Sandbox::waitfor([&] { return fs::exists(sb.path("listing")); }));
  EXPECT_EQ(0, terminate());
  EXPECT_EQ("[2026-03-07] wan 900 0 lan 0 0 ", sb.read("day"));
}

TEST_F(DayBook, RestartTheSameDayResumesTheTotals) {
  sb.write("day", "[2026-03-07] wan 100 200 lan 5 6 ");
  sb.write("history", "[2026-03-06] wan 1 1 lan 1 1 \n");
  sb.queue("RTCHARTS_IN", inrule(10, "eth0"));
  sb.start();
  waitforfile("today", "wan 110 200 lan 5 6 ");
  EXPECT_EQ(0, terminate());
  EXPECT_EQ("[2026-03-07] wan 110 200 lan 5 6 ", sb.read("day"));
  EXPECT_EQ("[2026-03-06] wan 1 1 lan 1 1 \n", sb.read("history"));
}

// Labels of any character come back, and records that share a label get
// that label's items in order, one each.
TEST_F(DayBook, EveryRecordRestoresItsOwnTotals) {
  const struct {
    std::string specs, labels, items;
  } cases[] = {
      {"eth0 eth1", "up_link wan.2", "up_link 100 200 wan.2 5 6 "},
      {"eth0 eth1 eth2", "wan wan lan", "wan 1 2 wan 30 40 lan 5 6 "},
  };
  for (const auto& c : cases) {
    sb.standardscript(c.specs, c.labels);
    sb.write("day", "[2026-03-07] " + c.items);
    fs::remove(sb.path("today"));
    sb.start();
    waitforfile("today", c.items);
    EXPECT_EQ(0, terminate());
    EXPECT_EQ("[2026-03-07] " + c.items, sb.read("day"));
  }
}

TEST_F(DayBook, RestartOnALaterDayArchivesTheOldOne) {
  sb.write("day", "[2026-03-06] wan 100 200 lan 5 6 ");
  sb.write("history", "[2026-03-05] wan 1 1 lan 1 1 \n");
  sb.start();
  waitforfile("today", "wan 0 0 lan 0 0 ");
  EXPECT_EQ("[2026-03-05] wan 1 1 lan 1 1 \n[2026-03-06] wan 100 200 lan 5 6 \n",
            sb.read("history"));
  EXPECT_EQ("[2026-03-07] wan 0 0 lan 0 0 ", sb.read("day"));
  EXPECT_EQ(0, terminate());
}

// Where the stored day's line stands in the day file never loses it: after a
// leading blank line it is resumed or archived, and a line after it is not
// taken for the day.
TEST_F(DayBook, TheStoredDayIsKeptWhereverItsLineStands) {
  sb.write("day", "\n[2026-03-07] wan 100 200 lan 5 6 \n");
  sb.start();
  waitforfile("today", "wan 100 200 lan 5 6 ");
  EXPECT_EQ(0, terminate());
  EXPECT_EQ("[2026-03-07] wan 100 200 lan 5 6 ", sb.read("day"));

  sb.write("day", "\n[2026-03-06] wan 100 200 lan 5 6 \n");
  fs::remove(sb.path("history"));
  sb.start();
  waitforfile("today", "wan 0 0 lan 0 0 ");
  EXPECT_EQ(0, terminate());
  EXPECT_EQ("[2026-03-06] wan 100 200 lan 5 6 \n", sb.read("history"));

  sb.write("day", "[2026-03-07] wan 100 200 lan 5 6 \n[2026-03-07] wan 1 1 lan 1 1 \n");
  fs::remove(sb.path("today"));
  sb.start();
  waitforfile("today", "wan 100 200 lan 5 6 ");
  EXPECT_EQ(0, terminate());
  EXPECT_EQ("[2026-03-07] wan 100 200 lan 5 6 ", sb.read("day"));
  EXPECT_NE(std::string::npos, sb.stderror().find("holds more than one line")) << sb.stderror();
}

TEST_F(DayBook, RestartAfterTheDayWasArchivedChangesNothing) {
  sb.write("day", "[2026-03-06] wan 100 200 lan 5 6 ");
  sb.write("history", "[2026-03-06] wan 100 200 lan 5 6 \n");
  sb.clock("2026-03-07 12:00:10");
  sb.start();
  waitforfile("today", "wan 0 0 lan 0 0 ");
  EXPECT_EQ("[2026-03-06] wan 100 200 lan 5 6 ", sb.read("day"));
  EXPECT_EQ("[2026-03-06] wan 100 200 lan 5 6 \n", sb.read("history"));
  EXPECT_EQ(0, terminate());
}

TEST_F(DayBook, MinutePersistWithoutTermination) {
  sb.clock("2026-03-07 12:00:58");
  sb.queue("RTCHARTS_IN", inrule(42, "eth0"));
  sb.start();
  waitforfile("day", "[2026-03-07] wan 42 0 lan 0 0 ");
  EXPECT_EQ(0, terminate());
}

TEST_F(DayBook, MidnightClosesTheDay) {
  sb.clock("2026-03-07 23:59:57");
  sb.queue("RTCHARTS_IN", inrule(300, "eth0"));
  sb.start();
  waitforfile("today", "wan 300 0 lan 0 0 ");
  ASSERT_TRUE(Sandbox::waitfor([&] { return !sb.read("history").empty(); }));
  sample(inrule(5, "eth1"), "");
  waitforfile("today", "wan 0 0 lan 5 0 ");
  EXPECT_EQ("[2026-03-07] wan 300 0 lan 0 0 \n", sb.read("history"));
  EXPECT_EQ(0, terminate());
  EXPECT_EQ("[2026-03-08] wan 0 0 lan 5 0 ", sb.read("day"));
}

TEST_F(DayBook, SameDayOfALaterMonthClosesTheDay) {
  sb.clock("2026-03-07 12:00:10");
  sb.queue("RTCHARTS_IN", inrule(300, "eth0"));
  sb.start();
  waitforfile("today", "wan 300 0 lan 0 0 ");
  sb.clock("2026-04-07 12:00:20");
  waitforfile("history", "[2026-03-07] wan 300 0 lan 0 0 \n");
  waitforfile("day", "[2026-04-07] wan 0 0 lan 0 0 ");
  EXPECT_EQ(0, terminate());
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// An appliance without a battery-backed clock boots at an old date and is set
// right later, and a clock may be set back and forth while the daemon runs:
// neither closes the stored day or dates a line in the past.
TEST_F(DayBook, ClockBehindTheStoredDayKeepsCountingIntoIt) {
  sb.write("day", "[2026-03-07] wan 100 200 lan 5 6 ");
  sb.write("history", "[2026-03-06] wan 1 1 lan 1 1 \n");
  sb.clock("2000-01-01 00:00:58");
  sb.queue("RTCHARTS_IN", inrule(10, "eth0"));
  sb.start();
  // The minute persist keeps the stored date while the clock is behind.
  waitforfile("day", "[2026-03-07] wan 110 200 lan 5 6 ");
  EXPECT_EQ("[2026-03-06] wan 1 1 lan 1 1 \n", sb.read("history"));
  auto said = [&](const std::string& text, size_t times) {
    EXPECT_TRUE(Sandbox::waitfor([&] { return count(sb.stderror(), text) == times; }))
        << sb.stderror();
  };
  sb.clock("2026-03-07 12:00:10");
  said("the clock is at 2026-03-07 again", 1);
  sample(inrule(20, "eth0"), "");
  waitforfile("today", "wan 130 200 lan 5 6 ");
  sb.clock("2026-03-08 00:00:05");
  waitforfile("history", "[2026-03-06] wan 1 1 lan 1 1 \n[2026-03-07] wan 130 200 lan 5 6 \n");
  sb.clock("1970-01-02 00:00:05");
  said("is behind the stored day 2026-03-08", 1);
  sample(inrule(7, "eth1"), "");
  waitforfile("today", "wan 0 0 lan 7 0 ");
  sb.clock("2026-03-08 00:01:05");
  said("the clock is at 2026-03-08 again", 1);
  sample(inrule(3, "eth1"), "");
  EXPECT_EQ(0, terminate());
  EXPECT_EQ("[2026-03-08] wan 0 0 lan 10 0 ", sb.read("day"));
  EXPECT_EQ("[2026-03-06] wan 1 1 lan 1 1 \n[2026-03-07] wan 130 200 lan 5 6 \n",
            sb.read("history"));
  // Said once for each time the clock fell behind, not once a second.
  EXPECT_EQ(2u, count(sb.stderror(), "is behind the stored day")) << sb.stderror();
}

// A stored day the history already holds is never appended again: what was
// counted while the clock was behind it goes to the day the clock reaches.
TEST_F(DayBook, ClockBehindAnArchivedDayAppendsItNoMore) {
  sb.write("day", "[2026-03-06] wan 100 200 lan 5 6 ");
  sb.write("history", "[2026-03-06] wan 100 200 lan 5 6 \n");
  sb.clock("2000-01-01 00:00:10");
  sb.queue("RTCHARTS_IN", inrule(10, "eth0"));
  sb.start();
  waitforfile("today", "wan 10 0 lan 0 0 ");
  sb.clock("2026-03-07 08:00:10");
  waitforfile("day", "[2026-03-07] wan 10 0 lan 0 0 ");
  EXPECT_EQ(0, terminate());
  EXPECT_EQ("[2026-03-06] wan 100 200 lan 5 6 \n", sb.read("history"));
}

TEST_F(Crashes, KillNineNeverLeavesATornPersistentFile) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delay(0, 1500);
  long long expected = 0;
  for (int run = 0; run < 12; ++run) {
    // Each run starts just before a minute boundary, so the minute persist
    // falls inside the window in which the kill lands.
    sb.clock("2026-03-07 12:" + std::to_string(10 + run) + ":59");
    sb.queue("RTCHARTS_IN", inrule(1000, "eth0"));
    sb.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
    sb.signal(SIGKILL);
    sb.wait();
    std::string day = sb.read("day");
    if (day.empty() && !fs::exists(sb.path("day"))) continue;
    ASSERT_NE("", dateofdayline(day)) << "run " << run << ": \"" << day << "\"";
    long long total = std::stoll(day.substr(day.find("wan ") + 4));
    EXPECT_GE(total, expected) << "a persisted total went back";
    expected = total;
  }
}

}  // namespace
