// What the five-minute file costs the daemon, for bench/daemon/run.sh, on a
// table of 16 interfaces with 13-digit day totals, through the daemon's own
// code in a directory of the caller's (DIR must exist):
//   fiveminbench DIR ROUNDS
// prints "key value" pairs on one line:
//   line_cpu_us, line_wall_us   a boundary line: formatted, appended, synced
//   decision_cpu_us             a minute write's decision that writes no line
//   steady_*                    the daily thinning of a file as it stands at a
//                               change of day: 60 hourly dates, 3 whole ones
//   full_*                      the same for 63 whole dates (a file never thinned)
// CPU times are the calling thread's; a thinning's figures are the median of ROUNDS.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "fiveminfile.h"
#include "fiveminlines.h"
#include "iftable.h"

namespace {

constexpr int klabels = 16;
constexpr int klines = 300;
constexpr int kdecisions = 100'000;
constexpr time_t kday = 24 * 60 * 60;
constexpr time_t knewday = 1796774400;  // 2026-12-09 00:00 UTC

struct Spent {
  double cpuus = 0;
  double wallus = 0;
};

double micros(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

template <typename Work>
Spent measure(Work work) {
  double cpu = micros(CLOCK_THREAD_CPUTIME_ID), wall = micros(CLOCK_MONOTONIC);
  work();
  return {micros(CLOCK_THREAD_CPUTIME_ID) - cpu, micros(CLOCK_MONOTONIC) - wall};
}

tm utc(time_t when) {
  tm broken{};
  gmtime_r(&when, &broken);
  return broken;
}

int maketable(const std::string& dir) {
  std::string specs, labels;
  for (int i = 0; i < klabels; ++i) {
    specs += "eth" + std::to_string(i) + " ";
    labels += "label-" + std::to_string(10 + i) + " ";
  }
  std::string headers = specs + "\n" + dir + "/rate\n" + dir + "/today\n" + dir + "/day\n" + dir +
                        "/history\n" + labels + "\n";
  if (init_ifinfoarr(headers.c_str()) != 0 || preparefivemin() != 0) return -1;
  for (int i = 0; i < klabels; ++i) {
    ifinfoarrptr[i].day_in = 1'234'567'890'123 + i;
    ifinfoarrptr[i].day_out = 987'654'321'098 + i;
  }
  return 0;
}

// The lines of the date that starts at daystart, every step minutes.
void appenddate(std::string& text, time_t daystart, int step) {
  std::vector<char> buf(fiveminbuffersize(iftable()));
  for (int minute = 0; minute < kminutesperday; minute += step) {
    MinuteStamp stamp = minuteof(utc(daystart + minute * 60));
    text.append(buf.data(), formatfiveminline(buf.data(), buf.size(), stamp, iftable()));
  }
}

// The file as a change of day to newday finds it: hourly dates, then whole ones.
std::string filetext(int hourlydates, int wholedates) {
  std::string text;
  time_t first = knewday - (hourlydates + wholedates) * kday;
  for (int i = 0; i < hourlydates + wholedates; ++i)
    appenddate(text, first + i * kday, i < hourlydates ? 60 : 5);
  return text;
}

Spent linecost() {
  Spent spent = measure([] {
    for (int i = 0; i < klines; ++i) {
      tm cur = utc(knewday + i * 300);
      fiveminboundary(cur, utc(knewday + i * 300 - 60), cur);
    }
  });
  return {spent.cpuus / klines, spent.wallus / klines};
}

double decisioncost() {
  tm cur = utc(knewday + 60), previous = utc(knewday);
  return measure([&] {
           for (int i = 0; i < kdecisions; ++i) fiveminboundary(cur, previous, cur);
         }).cpuus /
         kdecisions;
}

off_t filesize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

struct Thinning {
  Spent median;
  off_t before = 0;
  off_t after = 0;
};

Thinning thincost(const std::string& text, int rounds) {
  std::string path = fiveminfilepath();
  std::vector<double> cpu, wall;
  Thinning result;
  for (int r = 0; r < rounds; ++r) {
    FILE* out = fopen(path.c_str(), "we");
    if (out == nullptr) return result;
    fwrite(text.data(), 1, text.size(), out);
    fclose(out);
    result.before = filesize(path);
    Spent spent = measure([] { fiveminnewday(utc(knewday + 1)); });
    cpu.push_back(spent.cpuus);
    wall.push_back(spent.wallus);
    result.after = filesize(path);
  }
  std::sort(cpu.begin(), cpu.end());
  std::sort(wall.begin(), wall.end());
  result.median = {cpu[cpu.size() / 2], wall[wall.size() / 2]};
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc == 3 ? atoi(argv[2]) : 0;
  if (rounds <= 0) {
    fputs("usage: fiveminbench DIR ROUNDS\n", stderr);
    return 2;
  }
  if (maketable(argv[1]) != 0) return 1;
  Spent line = linecost();
  double decision = decisioncost();
  Thinning steady = thincost(filetext(60, 3), rounds);
  Thinning full = thincost(filetext(0, 63), rounds);
  printf("labels %d line_cpu_us %.1f line_wall_us %.1f decision_cpu_us %.3f", klabels, line.cpuus,
         line.wallus, decision);
  for (auto [name, thinning] : {std::pair{"steady", steady}, std::pair{"full", full}})
    printf(" %s_bytes %lld %s_after_bytes %lld %s_cpu_ms %.2f %s_wall_ms %.2f", name,
           static_cast<long long>(thinning.before), name, static_cast<long long>(thinning.after),
           name, thinning.median.cpuus / 1000, name, thinning.median.wallus / 1000);
  printf("\n");
  return 0;
}
