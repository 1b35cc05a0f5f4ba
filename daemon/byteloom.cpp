// byteloom: once a second, reads and zeroes the packet-filter counters of the
// accounted interfaces and publishes rates, day totals and a daily history.
#include <libgen.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "counting.h"
#include "daybook.h"
#include "dayfiles.h"
#include "fiveminfile.h"
#include "iftable.h"
#include "runcommand.h"
#include "sampling.h"
#include "tokens.h"

namespace {

constexpr char kpersistfailed[] = "FATAL! Couldn't open persistent file for writing! Exiting...";
constexpr char kterminatefailed[] =
    "FATAL! Couldn't open persistent file for writing after receiving SIGTERM!";

volatile sig_atomic_t terminaterequested = 0;
volatile sig_atomic_t recoverydone = 0;

constexpr long long kseconds = klistingtimeoutns / 1'000'000'000;

tm now;       // the accounting day: the previous cycle's local time unless the clock is behind
tm previous;  // the previous cycle's local time, for the minute persist
bool dayarchived = false;  // the history already holds now's day (a clock behind at start)
bool clockbehind = false;
char capture[kcapturesize];

// Once running, the handler only raises a flag: the cycle in progress
// finishes (a listing within its grace) and the loop persists the day. Before
// the start-up recovery has restored the day, persisting would overwrite it
// with zeros, so the daemon ends without writing, as when the paths are not
// known yet, and takes the start-up script's process group with it.
void terminate(int) {
  if (recoverydone) {
    terminaterequested = 1;
    return;
  }
  killcommand();
  ssize_t ignored = write(STDOUT_FILENO, kterminatefailed, sizeof kterminatefailed - 1);
  (void)ignored;
  _exit(1);
}

void armsignals() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGHUP, &ignore, nullptr);
  struct sigaction handler {};
  handler.sa_handler = terminate;
  sigemptyset(&handler.sa_mask);
  sigaction(SIGTERM, &handler, nullptr);
  sigaction(SIGINT, &handler, nullptr);
}

// Once the recovery has restored the day, a fatal exit first saves the
// counters, so the next start resumes or archives the day instead of losing it.
int fatal(const char* message) {
  if (recoverydone) persistday(now);
  fputs(message, stdout);
  return -1;
}

// Only a temporary file that can't be opened stops the daemon; a failed write
// keeps the old file and has been reported.
bool persistunopened(const tm& date) {
  return persistday(date) == -1;
}

tm localnow() {
  time_t seconds = time(nullptr);
  tm local{};
  if (const tm* converted = localtime(&seconds)) local = *converted;
  return local;
}

std::string executabledirectory() {
  char path[1024] = {};
  ssize_t len = readlink("/proc/self/exe", path, sizeof path);
  if (len >= static_cast<ssize_t>(sizeof path)) errno = ENAMETOOLONG;
  if (len < 0 || len >= static_cast<ssize_t>(sizeof path)) {
    perror("readlink");
    memset(path, 0, sizeof path);
  }
  return dirname(path);
}

int startup() {
  std::string directory = executabledirectory();
  std::string command = shellquoted(directory) + "/" + HEADSCRIPT;
  if (runcommand(command.c_str(), capture) != 0) {
    printf("ERROR. runcommand(iheadcmd)!=0. Sorry... errno=%d\n", -1);
    return -1;
  }
  if (capture[0] == '\0') {
    printf("ERROR. Could not find %s in the executable's path (%s). Exiting...\n", HEADSCRIPT,
           directory.c_str());
    return -1;
  }
  CaptureLimits limits{klistingtimeoutns, 0, nullptr};
  if (init_ifinfoarr(capture) != 0 || preparedayfiles() != 0 || preparefivemin() != 0 ||
      startcounting(limits) != 0) {
    printf("ERROR. init_ifinfoarr()!=0. Sorry... errno=%d\n", -1);
    return -1;
  }
  return 0;
}

constexpr char karchivefailed[] =
    "FATAL! Couldn't open copy persistent file values to volumes file! Exiting...";

std::string isodate(const tm& date) {
  char text[32] = {};
  strftime(text, sizeof text, "%Y-%m-%d", &date);
  return text;
}

// Says once when the clock falls behind the accounting day and once when it
// comes back; while it is behind, the accounting day stays.
void followclock(const tm& cur) {
  bool behind = datebefore(cur, now);
  if (behind && !clockbehind)
    fprintf(stderr,
            "byteloom: the clock (%s) is behind the stored day %s; counting into that day "
            "until the clock reaches it\n",
            isodate(cur).c_str(), isodate(now).c_str());
  if (!behind && clockbehind)
    fprintf(stderr, "byteloom: the clock is at %s again\n", isodate(cur).c_str());
  clockbehind = behind;
  if (!behind) now = cur;
}

// A history that can't be made to hold whole lines can't take the day either.
int recoverday() {
  if (repairvolumes() != 0) return fatal(karchivefailed);
  tm persistentdate{}, volumesdate{};
  int persistentresult = getpersistentfiledate(&persistentdate);
  int volumesresult = getvolumesdate(&volumesdate);
  StartDay start =
      choosestartday(persistentresult, persistentdate, volumesresult, volumesdate, now);
  tm clock = now;
  now = start.day;
  previous = clock;
  dayarchived = start.archived;
  followclock(clock);
  switch (chooserecovery(persistentresult, persistentdate, volumesresult, volumesdate, clock)) {
    case Recovery::fresh:
    case Recovery::archived:
      return 0;
    case Recovery::resume:
      loadpersistentvaluestoaccs();
      return 0;
    case Recovery::archive:
      if (copypersistenttovolumes() != 0) return fatal(karchivefailed);
      if (persistunopened(now)) return fatal(kpersistfailed);
      return 0;
  }
  return 0;
}

// Until the history holds the finished day, a fatal exit saves it dated that
// day, for the next start to archive; from then on the counters are the new day's.
// A day the history already held was counted while the clock was behind, most
// likely on the day the clock has now reached: its bytes carry over.
int changeday(const tm& cur) {
  if (savereadings() == -1) return fatal(kpersistfailed);
  if (!dayarchived && savevolumes(now) != 0)
    return fatal("FATAL! Couldn't open volumes file for writing! Exiting...");
  if (!dayarchived) resetdaycounters();
  dayarchived = false;
  now = cur;
  if (saveratestofile() != 0) return fatal("FATAL! Couldn't open file for writing! Exiting...");
  if (persistunopened(cur)) return fatal(kpersistfailed);
  fiveminnewday(cur);
  return 0;
}

// A listing cut short still counts the lines it printed whole: their bytes
// were zeroed in the chains and exist nowhere else.
int sample() {
  CaptureLimits limits{klistingtimeoutns, klistinggracens, &terminaterequested};
  CaptureEnd end = capturecommand(ipv4command(), capture, limits);
  if (end == CaptureEnd::failed || end == CaptureEnd::overflow)
    return fatal("ERROR. runcommand(iptcmd)!=0. Sorry...");
  if (end != CaptureEnd::whole) {
    long lines = std::count(capture, capture + strlen(capture), '\n');
    if (end == CaptureEnd::timedout)
      fprintf(stderr, "byteloom: the listing command still ran after %lld s: killed it", kseconds);
    else
      fprintf(stderr, "byteloom: the listing command still ran at termination: killed it");
    fprintf(stderr, "; counted the %ld whole lines it printed\n", lines);
  }
  countipv4(capture, end == CaptureEnd::whole);
  sampleipv6(limits);
  return 0;
}

int runcycle() {
  tm cur = localnow();
  switch (choosecyclestep(now, previous, cur)) {
    case CycleStep::daychange:
      if (changeday(cur) != 0) return -1;
      break;
    case CycleStep::minutepersist: {
      int persisted = persistday(now);
      if (persisted == -1) return fatal(kpersistfailed);
      if (persisted == 0) fiveminboundary(now, previous, cur);
      break;
    }
    case CycleStep::none:
      break;
  }
  previous = cur;
  followclock(cur);
  if (sample() != 0) return -1;
  if (saveratestofile() != 0) return fatal("FATAL! Couldn't open file for writing! Exiting...");
  return 0;
}

// A termination signal cuts the sleep short; the caller checks the flag.
void sleeptonextsecond() {
  timespec reading{};
  clock_gettime(CLOCK_MONOTONIC, &reading);
  timespec request = sleeprequest(reading);
  clock_nanosleep(CLOCK_MONOTONIC, 0, &request, nullptr);
}

// A day file that can't be written, flushed or renamed is a failure too.
int persistandexit() {
  if (persistday(now) != 0) {
    fputs(kterminatefailed, stdout);
    return 1;
  }
  fiveminstop(now, localnow());
  return 0;
}

}  // namespace

int main() {
  armsignals();
  if (startup() != 0) return -1;
  now = localnow();
  if (recoverday() != 0) return -1;
  recoverydone = 1;
  startfivemin(now, previous);  // previous: the clock at start
  for (;;) {
    if (runcycle() != 0) return -1;
    if (terminaterequested) return persistandexit();
    sleeptonextsecond();
    if (terminaterequested) return persistandexit();
  }
}
