// The real daemon under faults: missing and read-only output directories, a
// full disk under the persistent day file, a failing or garbage-printing
// listing command, a clock stepped back, and kill -9 over many days.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "sandbox.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    sb.standardscript("eth0 eth1", "wan lan");
    sb.clock("2026-03-07 12:00:05");
  }

  void scriptwithdirs(const std::string& filesdir, const std::string& daydir) {
    sb.script("echo eth0 eth1\necho " + filesdir + "/rate\necho " + filesdir + "/today\necho " +
              daydir + "/day\necho " + daydir + "/history\necho wan lan\n");
  }

  // Runs the daemon in a private mount namespace between setup and teardown
  // commands; the shell passes SIGTERM on and keeps the daemon's exit status.
  // A wait cut short by the trap is repeated: the shell may already have
  // reaped the daemon, so polling it with kill -0 would lose its status.
  void inmountnamespace(const std::string& setup, const std::string& teardown = "true") {
    sb.launcher = {"unshare", "-m", "--propagation", "private", "sh", "-c",
                   setup + "\n\"$0\" & daemon=$!\nsignalled=\n"
                           "trap 'signalled=1; kill -TERM $daemon' TERM\n"
                           "wait $daemon; status=$?\n"
                           "while [ -n \"$signalled\" ]; do signalled=; wait $daemon; status=$?; done\n" +
                       teardown + "\nexit $status"};
  }


  bool waitforfile(const std::string& name, const std::string& text) {
    bool seen = Sandbox::waitfor([&] { return sb.read(name) == text; });
    EXPECT_TRUE(seen) << name << " holds \"" << sb.read(name) << "\", not \"" << text << "\"";
    return seen;
  }

  Sandbox sb;
};

TEST_F(Faults, MissingOutputDirectoryStopsTheDaemon) {
  scriptwithdirs(sb.path("missing"), sb.dir());
  sb.start();
  EXPECT_EQ(255, sb.wait());
  EXPECT_EQ("FATAL! Couldn't open file for writing! Exiting...", sb.stdoutput());
}

TEST_F(Faults, ReadOnlyOutputDirectoryStopsTheDaemon) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root for a private mount namespace";
  fs::create_directory(sb.path("ro"));
  scriptwithdirs(sb.path("ro"), sb.dir());
  inmountnamespace("mount -t tmpfs -o ro tmpfs " + sb.path("ro"));
  sb.start();
  EXPECT_EQ(255, sb.wait());
  EXPECT_EQ("FATAL! Couldn't open file for writing! Exiting...", sb.stdoutput());
}

TEST_F(Faults, FullDiskKeepsTheOldPersistentFile) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root for a private mount namespace";
  const std::string old = "[2026-03-07] wan 100 200 lan 3 4 ";
  fs::create_directory(sb.path("state"));
  scriptwithdirs(sb.dir(), sb.path("state"));
  sb.clock("2026-03-07 12:00:58");
  sb.queue("RTCHARTS_IN", inrule(5, "eth0"));
  inmountnamespace("mount -t tmpfs -o size=16k tmpfs " + sb.path("state") + " && printf '" + old +
                   "' > " + sb.path("state/day") + " && (dd if=/dev/zero of=" +
                   sb.path("state/fill") + " bs=4k 2>/dev/null; true)",
                   "cp " + sb.path("state/day") + " " + sb.path("day-after") + "; ls " +
                       sb.path("state") + " > " + sb.path("state-after"));
  sb.start();
  waitforfile("today", "wan 105 200 lan 3 4 ");
  ASSERT_TRUE(Sandbox::waitfor([&] {
    return sb.stderror().find("failed to write to persistent file:") != std::string::npos;
  })) << sb.stderror();
  EXPECT_NE(std::string::npos, sb.stderror().find("No space left on device"));
  EXPECT_TRUE(sb.running());
  sb.signal(SIGTERM);
  EXPECT_EQ(0, sb.wait());
  EXPECT_EQ(old, sb.read("day-after"));
  EXPECT_EQ("day\nfill\n", sb.read("state-after")) << "a temporary file was left behind";
}

TEST_F(Faults, FailingOrGarbageListingCountsNothing) {
  sb.write("bin/iptables",
           "#!/bin/sh\nhead -c 3000 " + std::string(GARBAGE_LISTING) + "\nexit 1\n");
  sb.start();
  waitforfile("today", "wan 0 0 lan 0 0 ");
  std::this_thread::sleep_for(2500ms);
  EXPECT_TRUE(sb.running());
  EXPECT_EQ("wan 0 0 lan 0 0 ", sb.read("today"));
  EXPECT_EQ("0.00 0.00 0.00 0.00 ", sb.read("rate"));
  sb.signal(SIGTERM);
  EXPECT_EQ(0, sb.wait());
}

TEST_F(Faults, ClockSteppedBackAcrossMidnight) {
  sb.clock("2026-03-08 00:00:03");
  sb.queue("RTCHARTS_IN", inrule(70, "eth0"));
  sb.start();
  waitforfile("today", "wan 70 0 lan 0 0 ");
  sb.clock("2026-03-07 23:59:57");
  waitforfile("history", "[2026-03-08] wan 70 0 lan 0 0 \n");
  waitforfile("day", "[2026-03-07] wan 0 0 lan 0 0 ");
  ASSERT_TRUE(Sandbox::waitfor([&] { return sb.read("history").size() > 32; }));
  EXPECT_EQ("[2026-03-08] wan 70 0 lan 0 0 \n[2026-03-07] wan 0 0 lan 0 0 \n", sb.read("history"));
  EXPECT_TRUE(sb.running());
  sb.signal(SIGTERM);
  EXPECT_EQ(0, sb.wait());
  EXPECT_EQ("[2026-03-08] wan 0 0 lan 0 0 ", sb.read("day"));
}

struct Served {
  long long total = 0;
  long long lastminute = 0;  // served from 23:59:00 on
};

// The bytes the steady listing served, by the date and time the daemon saw.
std::map<std::string, Served> servedbyday(const std::string& log) {
  std::map<std::string, Served> days;
  std::istringstream lines(log);
  std::string date, time;
  long long bytes = 0;
  while (lines >> date >> time >> bytes) {
    days[date].total += bytes;
    if (time >= "23:59:00") days[date].lastminute += bytes;
  }
  return days;
}

TEST_F(Faults, KillNineOverManyDaysLosesAtMostTheLastMinute) {
  sb.write("bin/iptables", "#!/bin/sh\n[ \"$5\" = RTCHARTS_IN ] || exit 0\necho \"$(date '+%F %T') 100\" >> " +
                               sb.path("served.log") + "\necho '" + inrule(100, "eth0") + "'\n");
  std::mt19937 random(2026);
  std::uniform_int_distribution<int> lifetime(300, 4500);
  std::vector<std::string> persisted;
  for (int day = 10; day < 18; ++day) {
    sb.clock("2026-03-" + std::to_string(day) + " 23:59:57");
    sb.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(lifetime(random)));
    sb.signal(SIGKILL);
    ASSERT_EQ(128 + SIGKILL, sb.wait()) << sb.stdoutput();
    std::string dayfile = sb.read("day");
    if (fs::exists(sb.path("day"))) {
      std::string date = dateofdayline(dayfile);
      ASSERT_NE("", date) << "torn persistent day file: \"" << dayfile << "\"";
      persisted.push_back(date);
    }
  }
  // A kill between the midnight history append and the persist leaves a day
  // file the history already holds; such a file is redated at the next minute.
  sb.clock("2026-03-30 12:00:58");
  sb.start();
  EXPECT_TRUE(Sandbox::waitfor([&] { return dateofdayline(sb.read("day")) == "2026-03-30"; }))
      << sb.read("day");
  // A termination before the first listing could still fall in the start-up.
  ASSERT_TRUE(Sandbox::waitfor(
      [&] { return sb.read("served.log").find("2026-03-30 ") != std::string::npos; }));
  sb.signal(SIGTERM);
  ASSERT_EQ(0, sb.wait());

  std::map<std::string, Served> served = servedbyday(sb.read("served.log"));
  std::istringstream history(sb.read("history"));
  std::string line, previous;
  std::set<std::string> archived;
  while (std::getline(history, line)) {
    std::string date = dateofdayline(line);
    ASSERT_NE("", date) << "torn history line: \"" << line << "\"";
    EXPECT_LT(previous, date) << "history out of order or repeated at " << date;
    previous = date;
    archived.insert(date);
    long long total = std::stoll(line.substr(line.find("wan ") + 4));
    EXPECT_LE(total, served[date].total) << date << " counted twice";
    EXPECT_GE(total, served[date].total - served[date].lastminute) << date << " lost more than a minute";
  }
  for (const std::string& date : persisted) {
    if (date < "2026-03-30") {
      EXPECT_TRUE(archived.count(date)) << date << " never reached the history";
    }
  }
}

}  // namespace
