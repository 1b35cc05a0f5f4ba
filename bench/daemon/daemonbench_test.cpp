#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "iftable.h"
#include "listingtext.h"
#include "procstat.h"
#include "runcommand.h"
#include "sampling.h"

#include "iftable.h"
#include "listing.h"

namespace {

std::string commandoutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  char chunk[256];
  while (pipe && fgets(chunk, sizeof chunk, pipe)) output += chunk;
  if (pipe) pclose(pipe);
  return output;
}

std::string readfile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int64_t tabletotal() {
  int64_t total = 0;
  for (const IfInfo& record : iftable()) total += record.cur_in + record.cur_out;
  return total;
}

TEST(BenchListing, FillsTheCaptureExactlyAndTheDaemonAcceptsIt) {
  BenchListing bench = benchlisting(kcapturesize - 2);
  ASSERT_EQ(kcapturesize - 2, bench.text.size());
  std::string path = "/tmp/daemonbench_test_listing." + std::to_string(getpid());
  std::ofstream(path) << bench.text;
  static char capture[kcapturesize];
  EXPECT_EQ(0, runcommand(("cat " + path).c_str(), capture));
  EXPECT_EQ(bench.text, capture);
  std::ofstream(path, std::ios::app) << ' ';
  EXPECT_EQ(-1, runcommand(("cat " + path).c_str(), capture));
  std::remove(path.c_str());
}

// A listing that matched nothing would time only the cheap path.
TEST(BenchListing, EveryKindOfRecordReceivesBytesInBothDirections) {
  ASSERT_EQ(0, init_ifinfoarr(benchheaders().c_str()));
  for (size_t length : {size_t{3000}, kcapturesize - 2}) {
    BenchListing bench = benchlisting(length);
    extractbytes(bench.text.c_str());
    EXPECT_EQ(bench.countedbytes, tabletotal()) << length;
  }
  for (const IfInfo& record : iftable()) {
    EXPECT_GT(record.cur_in, 0) << record.label;
    EXPECT_GT(record.cur_out, 0) << record.label;
  }
}

TEST(ProcFiles, ReadsTheFiguresAndRefusesOtherText) {
  EXPECT_EQ(123456789, schedstatcpu("123456789 4567 89\n"));
  EXPECT_EQ(-1, schedstatcpu(""));
  EXPECT_EQ(-1, schedstatcpu("abc 1 2"));
  std::string rollup =
      "55d0-7ffe ---p 00000000 00:00 0  [rollup]\nRss:                1800 kB\n"
      "Private_Clean:       120 kB\nPrivate_Dirty:       348 kB\nSwap: 0 kB\n";
  EXPECT_EQ(348, privatedirtykb(rollup));
  EXPECT_EQ(-1, privatedirtykb("Rss: 1800 kB\n"));
  std::string status = "Name:\tx\nnonvoluntary_ctxt_switches:\t9\nvoluntary_ctxt_switches:\t812\n";
  EXPECT_EQ(812, voluntaryswitches(status));
  EXPECT_EQ(-1, voluntaryswitches("nonvoluntary_ctxt_switches:\t9\n"));
  EXPECT_GE(voluntaryswitches(readprocfile(getpid(), "status")), 0);
  // A thread that has not yet been descheduled may read 0: parsed, not -1.
  EXPECT_GE(schedstatcpu(readprocfile(getpid(), "schedstat")), 0);
  EXPECT_GT(privatedirtykb(readprocfile(getpid(), "smaps_rollup")), 0);
}

TEST(AllocCount, CountsTheProgramsCallsAfterWarmUpAndLeavesChildrenAlone) {
#ifdef SANITIZED_BUILD
  GTEST_SKIP() << "the sanitizer's allocator cannot share the process with a counting preload";
#endif
  std::string report = "/tmp/daemonbench_test_allocs." + std::to_string(getpid());
  std::string output =
      commandoutput("ALLOCOUNT_OUT=" + report +
                    " ALLOCOUNT_WARMUP=2 LD_PRELOAD=" ALLOCOUNT_PATH " " + ALLOCPROBE_PATH " 6");
  EXPECT_EQ("LD_PRELOAD unset\n", output);
  // Counting starts at the second sleep; the sixth is the last report.
  EXPECT_EQ("cycles 4 own 12 libc 0\n", readfile(report));
  std::remove(report.c_str());
}

}  // namespace
