// Runs the real daemon with its wall clock held still and stepped by the
// test (the monotonic clock stays real, so the daemon cycles once a second):
// the five-minute file's lines at boundaries, start, stop, midnight, after
// kill -9, with the clock stepped back, forward or behind the stored day, and
// its thinning and torn-line repair.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "sandbox.h"
#include "testlib.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class FiveMin : public ::testing::Test {
 protected:
  void SetUp() override {
    sb.standardscript("eth0 eth1", "wan lan");
    fivemin = sb.path("history.5min");
  }

  // A wall clock that stands still at when until the next step.
  void hold(const std::string& when) { replacetext(sb.path("clock"), when + "\n"); }

  bool queued(const std::string& chain) { return fs::exists(sb.path("listings/" + chain)); }

  // Queues a listing and waits until a cycle has consumed it.
  void sample(const std::string& inrules, const std::string& outrules = "") {
    sb.queue("RTCHARTS_IN", inrules);
    sb.queue("RTCHARTS_OUT", outrules);
    ASSERT_TRUE(
        Sandbox::waitfor([&] { return !queued("RTCHARTS_IN") && !queued("RTCHARTS_OUT"); }));
  }

  // Steps the clock and waits for two cycles: the second one surely read the
  // new time, and has written whatever line it brings.
  void step(const std::string& when) {
    hold(when);
    sample("");
    sample("");
  }

  void start(const std::string& when) {
    hold(when);
    sb.start();
    ASSERT_TRUE(Sandbox::waitfor([&] { return !sb.read("today").empty(); }))
        << sb.stdoutput() << sb.stderror();
  }

  void stop(int signal = SIGTERM) {
    sb.signal(signal);
    EXPECT_EQ(signal == SIGKILL ? 128 + SIGKILL : 0, sb.wait());
    fs::remove(sb.path("today"));
  }

  std::string lines() { return readtext(fivemin); }

  Sandbox sb;
  std::string fivemin;
};

// "[DATE HH:MM] wan IN OUT lan IN OUT \n" for every hour of date and the
// given minute, the figure growing with the hour.
std::string hourly(const std::string& date, int count = 24, int minute = 0) {
  std::ostringstream text;
  for (int hour = 0; hour < count; ++hour)
    text << "[" << date << " " << (hour < 10 ? "0" : "") << hour << ":" << (minute < 10 ? "0" : "")
         << minute << "] wan " << hour * 100 << " 0 lan 0 0 \n";
  return text.str();
}

// A line every five minutes of date.
std::string everyfive(const std::string& date) {
  std::string text;
  for (int minute = 0; minute < 60; minute += 5) text += hourly(date, 24, minute);
  return text;
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(FiveMin, BoundariesStartsAndStopsWithTheRunningTotals) {
  start("2026-12-08 14:03:10");
  sample(inrule(100, "eth0"));
  step("2026-12-08 14:04:30");
  sample(inrule(50, "eth0"));
  step("2026-12-08 14:05:00");
  sample("", outrule(7, "eth1"));
  // Stepped forward over two boundaries: one line, for the later.
  step("2026-12-08 14:17:01");
  // Stepped back inside the day: nothing until the clock passes 14:15 again.
  step("2026-12-08 14:08:00");
  sample(inrule(20, "eth0"));
  step("2026-12-08 14:10:00");
  step("2026-12-08 14:15:00");
  step("2026-12-08 14:20:00");
  sample(inrule(3, "eth1"));
  hold("2026-12-08 14:20:30");
  sample("");
  stop();
  // A new start and stop inside the minute of the stop line write none;
  // one later in the same hour writes its own.
  start("2026-12-08 14:20:50");
  stop();
  start("2026-12-08 14:40:10");
  sample(inrule(1, "eth0"));
  stop();
  EXPECT_EQ(
      "[2026-12-08 14:03] wan 0 0 lan 0 0 \n"
      "[2026-12-08 14:05] wan 150 0 lan 0 0 \n"
      "[2026-12-08 14:15] wan 150 0 lan 0 7 \n"
      "[2026-12-08 14:20] wan 170 0 lan 0 7 \n"
      "[2026-12-08 14:21] wan 170 0 lan 3 7 \n"
      "[2026-12-08 14:40] wan 170 0 lan 3 7 \n"
      "[2026-12-08 14:41] wan 171 0 lan 3 7 \n",
      lines());
  EXPECT_EQ("[2026-12-08] wan 171 0 lan 3 7 ", sb.read("day"));
}

TEST_F(FiveMin, MidnightStartsTheNewDayAtZeroAndTheIntervalsAddUp) {
  start("2026-12-08 23:54:30");
  sample(inrule(100, "eth0"));
  step("2026-12-08 23:55:00");
  sample(inrule(200, "eth0"));
  // No stop line in the day's last minute: the history line closes the day.
  hold("2026-12-08 23:59:10");
  sample("");
  stop();
  start("2026-12-08 23:59:20");
  sample(inrule(11, "eth0"));
  step("2026-12-09 00:00:01");
  sample(inrule(5, "eth1"));
  stop();
  EXPECT_EQ("[2026-12-08] wan 311 0 lan 0 0 \n", sb.read("history"));
  EXPECT_EQ(
      "[2026-12-08 23:54] wan 0 0 lan 0 0 \n"
      "[2026-12-08 23:55] wan 100 0 lan 0 0 \n"
      "[2026-12-08 23:59] wan 300 0 lan 0 0 \n"
      "[2026-12-09 00:00] wan 0 0 lan 0 0 \n"
      "[2026-12-09 00:01] wan 0 0 lan 5 0 \n",
      lines());
}

TEST_F(FiveMin, KillNineLosesAtMostWhatTheDayFileLoses) {
  start("2026-12-08 14:03:10");
  sample(inrule(100, "eth0"));
  step("2026-12-08 14:05:00");
  sample(inrule(50, "eth0"));
  step("2026-12-08 14:06:00");
  sample(inrule(25, "eth0"));
  stop(SIGKILL);
  EXPECT_EQ("[2026-12-08] wan 150 0 lan 0 0 ", sb.read("day"));
  start("2026-12-08 14:07:30");
  sample(inrule(10, "eth0"));
  step("2026-12-08 14:10:00");
  stop();
  // The bytes after the last minute write are gone from the day file and
  // from the lines alike; every interval is still a difference of growing figures.
  EXPECT_EQ(
      "[2026-12-08 14:03] wan 0 0 lan 0 0 \n"
      "[2026-12-08 14:05] wan 100 0 lan 0 0 \n"
      "[2026-12-08 14:07] wan 150 0 lan 0 0 \n"
      "[2026-12-08 14:10] wan 160 0 lan 0 0 \n"
      "[2026-12-08 14:11] wan 160 0 lan 0 0 \n",
      lines());
}

TEST_F(FiveMin, NoLineWhileTheClockIsBehindTheStoredDay) {
  sb.write("day", "[2026-12-08] wan 100 0 lan 0 0 ");
  sb.write("history", "[2026-12-07] wan 1 1 lan 1 1 \n");
  start("2000-01-01 10:04:10");
  step("2000-01-01 10:05:00");
  sample(inrule(10, "eth0"));
  step("2000-01-01 10:10:00");
  step("2026-12-08 14:05:00");
  stop();
  EXPECT_EQ("[2026-12-08 14:05] wan 110 0 lan 0 0 \n[2026-12-08 14:06] wan 110 0 lan 0 0 \n",
            lines());
}

TEST_F(FiveMin, OldDatesAreThinnedToHoursAtStartAndAtTheChangeOfDay) {
  std::string octoberseventh = everyfive("2026-10-07");
  sb.write("history.5min", everyfive("2026-10-06") + octoberseventh + everyfive("2026-10-08") +
                               everyfive("2026-12-05") + everyfive("2026-12-06"));
  // Each date's lines come hour by hour for each minute: the thinning keeps
  // each hour's figure by the stamps, whatever the order of the lines.
  start("2026-12-08 23:59:50");
  std::string atstart = lines();
  EXPECT_EQ(0u, count(atstart, "[2026-10-06 ")) << "more than 62 days before";
  for (const char* date : {"2026-10-07", "2026-10-08", "2026-12-05"}) {
    // Each hour keeps the last line at or before it: here the line at the hour.
    EXPECT_NE(std::string::npos, atstart.find(hourly(date))) << date;
    EXPECT_EQ(24u, count(atstart, std::string("[") + date + " ")) << date;
  }
  EXPECT_NE(std::string::npos, atstart.find(everyfive("2026-12-06"))) << "2 days before: whole";
  EXPECT_EQ(1u, count(atstart, "[2026-12-08 23:59] "));
  step("2026-12-09 00:00:01");
  std::string atmidnight = lines();
  EXPECT_EQ(0u, count(atmidnight, "[2026-10-07 "));
  EXPECT_NE(std::string::npos, atmidnight.find(hourly("2026-10-08")));
  EXPECT_NE(std::string::npos, atmidnight.find(hourly("2026-12-06")));
  EXPECT_EQ(24u, count(atmidnight, "[2026-12-06 "));
  EXPECT_EQ(1u, count(atmidnight, "[2026-12-09 00:00] wan 0 0 lan 0 0 \n"));
  EXPECT_FALSE(fs::exists(fivemin + ".tmp"));
  stop();
}

TEST_F(FiveMin, ATornLastLineIsCutOffBeforeTheNextAppend) {
  sb.write("day", "[2026-12-08] wan 20 0 lan 0 0 ");
  sb.write("history.5min", "[2026-12-08 14:00] wan 10 0 lan 0 0 \n[2026-12-08 14:05] wan 1");
  start("2026-12-08 14:07:10");
  stop();
  EXPECT_EQ(
      "[2026-12-08 14:00] wan 10 0 lan 0 0 \n"
      "[2026-12-08 14:07] wan 20 0 lan 0 0 \n"
      "[2026-12-08 14:08] wan 20 0 lan 0 0 \n",
      lines());
  EXPECT_NE(std::string::npos, sb.stderror().find("ended in a torn line; cut off its 24 bytes: "
                                                  "[2026-12-08 14:05] wan 1"))
      << sb.stderror();
}

TEST_F(FiveMin, APathThatClashesWithTheFiveMinuteFileStopsTheStart) {
  sb.script("echo 'eth0'\necho " + sb.path("history.5min") + "\necho " + sb.path("today") +
            "\necho " + sb.path("day") + "\necho " + sb.path("history") + "\necho wan\n");
  hold("2026-12-08 14:07:10");
  sb.start();
  EXPECT_EQ(255, sb.wait());
  EXPECT_NE(std::string::npos, sb.stderror().find("the rate file and the five-minute file"))
      << sb.stderror();
}

}  // namespace
