// Measurements for bench/daemon/run.sh, one per subcommand, each printing
// "key value" pairs on one line for the script to put side by side:
//   daemonbench listing ROUNDS        parse and match a full listing vs a memchr scan
//   daemonbench cycles SECONDS PID... CPU per cycle and private dirty memory
//   daemonbench cmdtime COUNT         wall time of the daemon's listing command
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "iftable.h"
#include "listingtext.h"
#include "procstat.h"
#include "runcommand.h"
#include "sampling.h"

#include "iftable.h"
#include "listing.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t klistinglength = kcapturesize - 2;
constexpr int kcallsperround = 200;
constexpr long kmeasurephasens = 250'000'000;  // a quarter second past the daemon's boundary
constexpr long kcommandpausens = 200'000'000;

volatile size_t sink;

size_t memchrlines(const char* text, size_t length) {
  size_t lines = 0;
  for (const char* p = text; (p = static_cast<const char*>(memchr(p, '\n', text + length - p)));
       ++p)
    ++lines;
  return lines;
}

// The best round's mean, in µs per call: the least disturbed by the other core's work.
template <typename Call>
double bestmicros(int rounds, Call call) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto start = Clock::now();
    for (int i = 0; i < kcallsperround; ++i) call();
    std::chrono::duration<double, std::micro> spent = Clock::now() - start;
    best = std::min(best, spent.count() / kcallsperround);
  }
  return best;
}

int listing(int rounds) {
  if (init_ifinfoarr(benchheaders().c_str()) != 0) return 1;
  BenchListing bench = benchlisting(klistinglength);
  const char* text = bench.text.c_str();
  double parse = bestmicros(rounds, [&] { extractbytes(text); });
  double scan = bestmicros(rounds, [&] { sink = memchrlines(text, bench.text.size()); });
  printf("listing_chars %zu rule_lines %d records %d parse_us %.2f scan_us %.2f\n",
         bench.text.size(), bench.rulelines, ifinfoarrsize, parse, scan);
  return 0;
}

void sleepuntil(const timespec& when) {
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) != 0) {
  }
}

// A moment a quarter second past a whole second of the monotonic clock, when
// the processes measured (which wake at whole or half seconds) are asleep.
timespec nextmeasuremoment() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  timespec moment{now.tv_sec + 1, kmeasurephasens};
  return moment;
}

int cycles(int seconds, const std::vector<pid_t>& pids) {
  timespec moment = nextmeasuremoment();
  sleepuntil(moment);
  std::vector<int64_t> start, startswitches;
  for (pid_t pid : pids) {
    start.push_back(schedstatcpu(readprocfile(pid, "schedstat")));
    startswitches.push_back(voluntaryswitches(readprocfile(pid, "status")));
  }
  moment.tv_sec += seconds;
  sleepuntil(moment);
  for (size_t i = 0; i < pids.size(); ++i) {
    int64_t end = schedstatcpu(readprocfile(pids[i], "schedstat"));
    int64_t switches = voluntaryswitches(readprocfile(pids[i], "status"));
    int64_t dirty = privatedirtykb(readprocfile(pids[i], "smaps_rollup"));
    if (start[i] < 0 || end < 0 || dirty < 0 || startswitches[i] < 0 || switches < 0) {
      fprintf(stderr, "daemonbench: process %d is gone\n", pids[i]);
      return 1;
    }
    printf("pid %d cycles %d cpu_us_per_cycle %.1f private_dirty_kb %lld wakeups_per_cycle %.1f\n",
           pids[i], seconds, static_cast<double>(end - start[i]) / 1000.0 / seconds,
           static_cast<long long>(dirty),
           static_cast<double>(switches - startswitches[i]) / seconds);
  }
  return 0;
}

int cmdtime(int count) {
  static char capture[kcapturesize];
  std::vector<double> millis;
  size_t length = 0;
  for (int i = 0; i < count; ++i) {
    auto start = Clock::now();
    if (runcommand(iptcmd, capture) != 0) return 1;
    millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    length = strlen(capture);
    timespec pause{0, kcommandpausens};
    nanosleep(&pause, nullptr);
  }
  std::sort(millis.begin(), millis.end());
  printf("runs %d listing_chars %zu median_ms %.2f max_ms %.2f\n", count, length,
         millis[millis.size() / 2], millis.back());
  return 0;
}

int usage() {
  fputs("usage: daemonbench listing ROUNDS | cycles SECONDS PID... | cmdtime COUNT\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string command = argv[1];
  int number = atoi(argv[2]);
  if (number <= 0) return usage();
  if (command == "listing") return listing(number);
  if (command == "cmdtime") return cmdtime(number);
  if (command == "cycles" && argc > 3) {
    std::vector<pid_t> pids;
    for (int i = 3; i < argc; ++i) pids.push_back(atoi(argv[i]));
    return cycles(number, pids);
  }
  return usage();
}
