// The real daemon under faults: missing and read-only output directories, a
// full disk under the persistent day file and under the history, a torn
// history, fatal exits, a failing, garbage-printing or stuck listing command,
// a stuck start-up script, clashing paths, a clock stepped back, and kill -9
// over many days.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
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
    sb.launcher = {
        "unshare",
        "-m",
        "--propagation",
        "private",
        "sh",
        "-c",
        setup +
            "\n\"$0\" & daemon=$!\nsignalled=\n"
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
  EXPECT_EQ(1, sb.wait()) << "a day that could not be saved is a failed stop";
  EXPECT_EQ("FATAL! Couldn't open persistent file for writing after receiving SIGTERM!",
            sb.stdoutput());
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

// Stepped back over midnight, the clock is behind the day it left: the day
// is neither closed nor dated back, and midnight, passed again, changes nothing.
TEST_F(Faults, ClockSteppedBackAcrossMidnight) {
  sb.clock("2026-03-08 00:00:03");
  sb.queue("RTCHARTS_IN", inrule(70, "eth0"));
  sb.start();
  waitforfile("today", "wan 70 0 lan 0 0 ");
  sb.clock("2026-03-07 23:59:57");
  ASSERT_TRUE(
      Sandbox::waitfor([&] { return sb.stderror().find("is behind") != std::string::npos; }));
  sb.queue("RTCHARTS_IN", inrule(5, "eth0"));
  waitforfile("today", "wan 75 0 lan 0 0 ");
  ASSERT_TRUE(Sandbox::waitfor([&] { return sb.stderror().find("again") != std::string::npos; }));
  EXPECT_TRUE(sb.running());
  sb.signal(SIGTERM);
  EXPECT_EQ(0, sb.wait());
  EXPECT_EQ("", sb.read("history"));
  EXPECT_EQ("[2026-03-08] wan 75 0 lan 0 0 ", sb.read("day"));
}

// A history that fills its page but for 10 bytes: on a full disk the next
// line's write stops short inside that page.
std::string historyfillingapage() {
  const std::string last = "[2026-03-06] wan 1 1 lan 1 1 \n";
  std::string first = "[2026-01-01] pad ";
  first += std::string(4086 - last.size() - first.size() - 5, 'p') + " 0 0\n";
  return first + last;
}

class FullHistoryDisk : public Faults {
 protected:
  void SetUp() override {
    Faults::SetUp();
    fs::create_directory(sb.path("state"));
    sb.script("echo eth0 eth1\necho " + sb.path("rate") + "\necho " + sb.path("today") + "\necho " +
              sb.path("day") + "\necho " + sb.path("state/history") + "\necho wan lan\n");
  }

  // The history sits on a 16 kB file system of its own, filled up unless
  // space was freed; what it holds afterwards lands in history-after.
  void start(const std::string& history, bool full) {
    sb.write("history-before", history);
    std::string state = sb.path("state");
    inmountnamespace(
        "mount -t tmpfs -o size=16k tmpfs " + state + " && cp " + sb.path("history-before") + " " +
            state + "/history" +
            (full ? " && (dd if=/dev/zero of=" + state + "/fill bs=4k 2>/dev/null; true)" : ""),
        "cp " + state + "/history " + sb.path("history-after"));
    sb.start();
  }
};

TEST_F(FullHistoryDisk, TheDayWaitsWholeInThePersistentFileUntilThereIsSpace) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root for a private mount namespace";
  const std::string history = historyfillingapage();
  ASSERT_EQ(4086u, history.size());
  sb.clock("2026-03-07 23:59:58");
  sb.queue("RTCHARTS_IN", inrule(500, "eth0"));
  start(history, true);
  EXPECT_EQ(255, sb.wait());
  EXPECT_EQ("FATAL! Couldn't open volumes file for writing! Exiting...", sb.stdoutput());
  EXPECT_EQ(history, sb.read("history-after")) << "the history was left with a torn line";
  EXPECT_EQ("[2026-03-07] wan 500 0 lan 0 0 ", sb.read("day"));

  sb.clock("2026-03-08 00:00:30");
  start(history, true);
  EXPECT_EQ(255, sb.wait());
  EXPECT_EQ("FATAL! Couldn't open copy persistent file values to volumes file! Exiting...",
            sb.stdoutput());
  EXPECT_EQ(history, sb.read("history-after"));
  EXPECT_EQ("[2026-03-07] wan 500 0 lan 0 0 ", sb.read("day"))
      << "the start-up changed the day file";

  start(history, false);
  waitforfile("today", "wan 0 0 lan 0 0 ");
  sb.signal(SIGTERM);
  EXPECT_EQ(0, sb.wait());
  EXPECT_EQ(history + "[2026-03-07] wan 500 0 lan 0 0 \n", sb.read("history-after"));
  EXPECT_EQ("[2026-03-08] wan 0 0 lan 0 0 ", sb.read("day"));
}

TEST_F(Faults, TornHistoryLineIsMovedAsideAndTheDayArchivedOnce) {
  const std::string whole = "[2026-03-05] wan 1 1 lan 1 1 \n";
  const std::string day = "[2026-03-06] wan 90 9 lan 1 1 ";
  for (const std::string& torn : {std::string("[2026-03-06] wan 4"), day}) {
    sb.write("history", whole + torn);
    sb.write("day", day);
    fs::remove(sb.path("history.torn"));
    fs::remove(sb.path("today"));
    sb.start();
    waitforfile("today", "wan 0 0 lan 0 0 ");
    sb.signal(SIGTERM);
    EXPECT_EQ(0, sb.wait());
    EXPECT_EQ(whole + day + "\n", sb.read("history"));
    EXPECT_EQ(torn + "\n", sb.read("history.torn"));
    EXPECT_NE(std::string::npos, sb.stderror().find("torn line")) << sb.stderror();
  }
}

TEST_F(Faults, FatalExitsSaveTheDay) {
  sb.queue("RTCHARTS_IN", inrule(500, "eth0"));
  sb.start();
  waitforfile("today", "wan 500 0 lan 0 0 ");
  sb.queue("RTCHARTS_OUT", std::string(17000, ' ') + "\n");
  EXPECT_EQ(255, sb.wait());
  EXPECT_EQ("ERROR. runcommand(iptcmd)!=0. Sorry...", sb.stdoutput());
  EXPECT_EQ("[2026-03-07] wan 500 0 lan 0 0 ", sb.read("day"));

  fs::create_directory(sb.path("out"));
  sb.script("echo eth0 eth1\necho " + sb.path("out/rate") + "\necho " + sb.path("out/today") +
            "\necho " + sb.path("day") + "\necho " + sb.path("history") + "\necho wan lan\n");
  sb.start();
  waitforfile("out/today", "wan 500 0 lan 0 0 ");
  sb.queue("RTCHARTS_OUT", outrule(70, "eth1"));
  waitforfile("out/today", "wan 500 0 lan 0 70 ");
  fs::remove_all(sb.path("out"));
  EXPECT_EQ(255, sb.wait());
  EXPECT_EQ("FATAL! Couldn't open file for writing! Exiting...", sb.stdoutput());
  EXPECT_EQ("[2026-03-07] wan 500 0 lan 0 70 ", sb.read("day"));
}

TEST_F(Faults, StuckListingIsKilledAndTheDaemonCarriesOn) {
  sb.hang("RTCHARTS_IN", inrule(700, "eth0") + "       1      999 RETURN  all  --  eth0");
  sb.start();
  ASSERT_TRUE(Sandbox::waitfor([&] { return fs::exists(sb.path("listings/hung.pid")); }));
  pid_t hung = std::stoi(sb.read("listings/hung.pid"));
  ASSERT_TRUE(waitforfile("today", "wan 700 0 lan 0 0 "));
  EXPECT_NE(std::string::npos, sb.stderror().find("still ran after 5 s")) << sb.stderror();
  EXPECT_NE(std::string::npos, sb.stderror().find("counted the 3 whole lines")) << sb.stderror();
  EXPECT_TRUE(Sandbox::ended(hung)) << "the stuck listing outlived its cycle";
  sb.queue("RTCHARTS_IN", inrule(30, "eth0"));
  waitforfile("today", "wan 730 0 lan 0 0 ");
  EXPECT_TRUE(sb.running());
  sb.signal(SIGTERM);
  EXPECT_EQ(0, sb.wait());
  EXPECT_EQ("[2026-03-07] wan 730 0 lan 0 0 ", sb.read("day"));
}

// The fake ip6tables has chains while listings6 exists. Its listings add to
// the same interfaces; a stuck one is killed and IPv4 goes on, and chains that
// disappear are named on standard error without stopping the daemon.
TEST_F(Faults, IPv6ListingsThatHangOrFailNeverStopIPv4) {
  fs::create_directories(sb.path("listings6"));
  sb.start();
  ASSERT_TRUE(Sandbox::waitfor([&] {
    return sb.stderror().find("counting IPv6 too") != std::string::npos;
  })) << sb.stderror();
  sb.write("listings6/RTCHARTS_IN", inrule(40, "eth0"));
  ASSERT_TRUE(waitforfile("today", "wan 40 0 lan 0 0 "));
  sb.write("listings6/RTCHARTS_IN.hang", inrule(5, "eth0"));
  ASSERT_TRUE(Sandbox::waitfor([&] { return fs::exists(sb.path("listings6/hung.pid")); }));
  pid_t hung = std::stoi(sb.read("listings6/hung.pid"));
  sb.queue("RTCHARTS_IN", inrule(700, "eth0"));
  ASSERT_TRUE(waitforfile("today", "wan 745 0 lan 0 0 "));
  EXPECT_NE(std::string::npos, sb.stderror().find("the IPv6 listing command still ran after 5 s"))
      << sb.stderror();
  EXPECT_TRUE(Sandbox::ended(hung)) << "the stuck IPv6 listing outlived its cycle";
  sb.write("listings6/RTCHARTS_OUT", outrule(9, "eth1"));
  ASSERT_TRUE(waitforfile("today", "wan 745 0 lan 0 9 ")) << "IPv6 not listed again";
  fs::remove_all(sb.path("listings6"));
  ASSERT_TRUE(Sandbox::waitfor([&] {
    return sb.stderror().find("stopped counting IPv6") != std::string::npos;
  })) << sb.stderror();
  sb.queue("RTCHARTS_OUT", outrule(1, "eth0"));
  ASSERT_TRUE(waitforfile("today", "wan 745 1 lan 0 9 "));
  EXPECT_TRUE(sb.running());
  sb.signal(SIGTERM);
  EXPECT_EQ(0, sb.wait());
  EXPECT_EQ("[2026-03-07] wan 745 1 lan 0 9 ", sb.read("day"));
}

TEST_F(Faults, TerminationDuringAStuckListingEndsWithinASecond) {
  sb.start();
  waitforfile("today", "wan 0 0 lan 0 0 ");
  sb.hang("RTCHARTS_IN", inrule(800, "eth0"));
  ASSERT_TRUE(Sandbox::waitfor([&] { return fs::exists(sb.path("listings/hung.pid")); }));
  pid_t hung = std::stoi(sb.read("listings/hung.pid"));
  auto signalled = std::chrono::steady_clock::now();
  sb.signal(SIGTERM);
  EXPECT_EQ(0, sb.wait(1s));
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, 1s);
  EXPECT_EQ("[2026-03-07] wan 800 0 lan 0 0 ", sb.read("day"));
  EXPECT_TRUE(Sandbox::ended(hung)) << "the stuck listing outlived the daemon";
}

TEST_F(Faults, TerminationDuringAStuckStartUpScriptEndsBoth) {
  sb.write("day", "[2026-03-07] wan 11 22 lan 33 44 ");
  sb.script("sleep 600 & echo $! > " + sb.path("sleeper.new") + "; mv " + sb.path("sleeper.new") +
            " " + sb.path("sleeper") + "; wait\n");
  sb.start();
  ASSERT_TRUE(Sandbox::waitfor([&] { return fs::exists(sb.path("sleeper")); }));
  pid_t sleeper = std::stoi(sb.read("sleeper"));
  sb.signal(SIGTERM);
  EXPECT_EQ(1, sb.wait(1s));
  EXPECT_EQ("FATAL! Couldn't open persistent file for writing after receiving SIGTERM!",
            sb.stdoutput());
  EXPECT_TRUE(Sandbox::ended(sleeper)) << "the start-up script outlived the daemon";
  EXPECT_EQ("[2026-03-07] wan 11 22 lan 33 44 ", sb.read("day"));
}

TEST_F(Faults, PathsThatNameOneFileAreRefused) {
  const std::string history = "[2026-03-06] wan 1 1 lan 1 1 \n";
  fs::create_directory(sb.path("sub"));
  fs::create_directory_symlink(sb.dir(), sb.path("link"));
  struct Case {
    std::string today, day, hist, roles;
  } cases[] = {
      {sb.path("sub/../history"), sb.path("day"), sb.path("history"),
       "today file and the history file"},
      {sb.path("today"), sb.path("day"), sb.path("link/day.tmp"),
       "history file and the persistent day file's temporary file"},
      {sb.path("link/./day"), sb.path("day"), sb.path("history"),
       "today file and the persistent day file"},
  };
  for (const Case& c : cases) {
    sb.write("history", history);
    sb.script("echo eth0 eth1\necho " + sb.path("rate") + "\necho " + c.today + "\necho " + c.day +
              "\necho " + c.hist + "\necho wan lan\n");
    sb.start();
    EXPECT_EQ(255, sb.wait());
    EXPECT_EQ("ERROR. init_ifinfoarr()!=0. Sorry... errno=-1\n", sb.stdoutput());
    EXPECT_NE(std::string::npos, sb.stderror().find(c.roles)) << sb.stderror();
    EXPECT_EQ(history, sb.read("history"));
    EXPECT_FALSE(fs::exists(sb.path("rate")));
  }
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
  sb.write("bin/iptables",
           "#!/bin/sh\n[ \"$5\" = RTCHARTS_IN ] || exit 0\necho \"$(date '+%F %T') 100\" >> " +
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
    EXPECT_GE(total, served[date].total - served[date].lastminute)
        << date << " lost more than a minute";
  }
  for (const std::string& date : persisted) {
    if (date < "2026-03-30") {
      EXPECT_TRUE(archived.count(date)) << date << " never reached the history";
    }
  }
}

}  // namespace
