#include "counting.h"

#include <fcntl.h>
#include <libgen.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "counterbook.h"
#include "dayfiles.h"
#include "iftable.h"
#include "pathclash.h"
#include "sampling.h"
#include "tokens.h"

namespace {

constexpr const char kipv4growthcmd[] =
    "iptables -t mangle -xvnL RTCHARTS_IN && iptables -t mangle -xvnL RTCHARTS_OUT";
constexpr const char kipv6zeroingcmd[] =
    "ip6tables -t mangle -xvnL -Z RTCHARTS_IN && ip6tables -t mangle -xvnL -Z RTCHARTS_OUT";
constexpr const char kipv6growthcmd[] =
    "ip6tables -t mangle -xvnL RTCHARTS_IN && ip6tables -t mangle -xvnL RTCHARTS_OUT";
// Looking for missing chains once a minute would otherwise put ip6tables'
// complaint in the log every minute; the daemon's own line says it once.
constexpr const char kipv6lookcmd[] =
    "ip6tables -t mangle -xvnL RTCHARTS_IN 2>/dev/null && "
    "ip6tables -t mangle -xvnL RTCHARTS_OUT 2>/dev/null";
constexpr int64_t klookagainns = 60'000'000'000;
constexpr long long kseconds = klistingtimeoutns / 1'000'000'000;

// A family's counting and its two readings, used in turn as the previous one
// and the next one. The readings are zero-initialised statics of their own,
// so they take no room in the executable and no memory until used.
struct Family {
  const char* name;
  std::string_view anydest;
  Counting counting;
  CounterBook* books;
  int latest;
};

CounterBook ipv4books[2], ipv6books[2];
Family ipv4{"ipv4", kanyipv4, Counting::zeroing, ipv4books, 0};
Family ipv6{"ipv6", kanyipv6, Counting::zeroing, ipv6books, 0};
char capture6[kcapturesize];
bool ipv6present = false;
int64_t ipv6lookedat = 0;
std::string readingspath, readingstemppath, readingsdirectory;

int64_t monotonicns() {
  timespec reading{};
  clock_gettime(CLOCK_MONOTONIC, &reading);
  return static_cast<int64_t>(reading.tv_sec) * 1'000'000'000 + reading.tv_nsec;
}

// Another program's -Z loses what arrived between the daemon's listing and
// its zeroing: worth one line, not one a second.
void countgrowthof(Family& family, const char* listing, bool whole) {
  static bool toldwentdown = false;
  CounterBook& previous = family.books[family.latest];
  family.latest ^= 1;
  Growth growth =
      countgrowth(listing, whole, iftable(), family.anydest, previous, family.books[family.latest]);
  if (growth.wentdown > 0 && !toldwentdown) {
    toldwentdown = true;
    fprintf(stderr,
            "byteloom: %d %s rule counters went down since the previous listing, zeroed "
            "by another program or set up anew: counted what they hold (said once)\n",
            growth.wentdown, family.name);
  }
}

const char* ipv6command() {
  return ipv6.counting == Counting::growth ? kipv6growthcmd : kipv6zeroingcmd;
}

// Both chains came through: each one's header line is in the listing.
bool bothchains(const char* listing) {
  ListedChains listed = walklisting(listing, kanyipv6, [](const RuleLine&, bool) {});
  return listed.in && listed.out;
}

// A listing without -Z, so looking zeroes nothing.
bool ipv6chainsexist(const CaptureLimits& limits) {
  ipv6lookedat = monotonicns();
  return capturecommand(kipv6lookcmd, capture6, limits) == CaptureEnd::whole &&
         bothchains(capture6);
}

Counting detect(const char* command, const char* program, const CaptureLimits& limits) {
  Counting counting =
      countingfor(capturecommand(command, capture6, limits) == CaptureEnd::whole ? capture6 : "");
  if (counting == Counting::growth)
    fprintf(stderr,
            "byteloom: %s uses the nf_tables backend, which can't list and zero a chain in one "
            "step: counting how much each rule's counter grew since the previous listing\n",
            program);
  else
    fprintf(stderr, "byteloom: %s lists and zeroes each chain in one step (-Z)\n", program);
  return counting;
}

void saystopped(const char* what, CaptureEnd end) {
  if (end == CaptureEnd::failed) {
    fprintf(stderr, "byteloom: could not start the IPv6 listing command; trying again\n");
    return;
  }
  if (end == CaptureEnd::overflow) {
    fprintf(stderr, "byteloom: the IPv6 listing was longer than %zu characters: not counted\n",
            kcapturesize - 2);
    return;
  }
  long lines = std::count(capture6, capture6 + strlen(capture6), '\n');
  if (end == CaptureEnd::timedout)
    fprintf(stderr, "byteloom: the %s still ran after %lld s: killed it", what, kseconds);
  else
    fprintf(stderr, "byteloom: the %s still ran at termination: killed it", what);
  fprintf(stderr, "; counted the %ld whole lines it printed\n", lines);
}

void countipv6(bool whole) {
  if (ipv6.counting == Counting::growth)
    countgrowthof(ipv6, capture6, whole);
  else
    countlisting(capture6, iftable(), kanyipv6);
}

// The saved readings are valid while the counters they were taken from live:
// the same boot (where its id is readable), the same network namespace, and a
// boot clock that has not gone back.
struct Lifetime {
  char boot[40];
  char netns[40];
  long long uptime;
};

// Read with plain calls: a stream would allocate its buffer every minute.
Lifetime currentlifetime() {
  Lifetime now{"-", "-", 0};
  int fd = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ssize_t len = read(fd, now.boot, sizeof now.boot - 1);
    now.boot[len > 0 ? len : 0] = '\0';
    now.boot[strcspn(now.boot, "\n")] = '\0';
    if (now.boot[0] == '\0') strcpy(now.boot, "-");
    close(fd);
  }
  ssize_t len = readlink("/proc/self/ns/net", now.netns, sizeof now.netns - 1);
  now.netns[len > 0 ? len : 0] = '\0';
  if (len <= 0) strcpy(now.netns, "-");
  timespec boottime{};
  clock_gettime(CLOCK_BOOTTIME, &boottime);
  now.uptime = boottime.tv_sec;
  return now;
}

// A file written in pieces through a fixed buffer: nothing allocated.
class Writer {
 public:
  explicit Writer(int fd) : fd_(fd) {}
  void put(std::string_view text) {
    while (!text.empty()) {
      if (used_ == sizeof buffer_) flush();
      size_t n = std::min(text.size(), sizeof buffer_ - used_);
      memcpy(buffer_ + used_, text.data(), n);
      used_ += n;
      text.remove_prefix(n);
    }
  }
  void put(long long value) {
    char digits[24];
    put(std::string_view(
        digits,
        static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits)));
  }
  // Writes what is buffered; false if any write failed.
  bool flush() {
    for (size_t done = 0; done < used_ && ok_;) {
      ssize_t n = write(fd_, buffer_ + done, used_ - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        ok_ = false;
      else
        done += static_cast<size_t>(n);
    }
    used_ = 0;
    return ok_;
  }

 private:
  int fd_;
  char buffer_[4096];
  size_t used_ = 0;
  bool ok_ = true;
};

void putbook(Writer& out, const Family& family) {
  if (family.counting != Counting::growth) return;
  const CounterBook& book = family.books[family.latest];
  for (size_t i = 0; i < book.size; ++i) {
    const CounterEntry& entry = book.entries[i];
    out.put(family.name);
    out.put(entry.outbound ? " out " : " in ");
    out.put(static_cast<long long>(entry.bytes));
    out.put(" ");
    out.put(book.ruleof(entry));
    out.put("\n");
  }
}

// Why the saved text can't be used, or nullptr when it was loaded.
const char* loadreadings(std::string_view text) {
  if (text.empty() || text.back() != '\n') return "it is empty or cut short";
  Lifetime now = currentlifetime(), saved{"", "", -1};
  Tokens lines(text, '\n');
  for (std::string_view line; lines.next(line);) {
    BookLine entry;
    if (line.starts_with("boot ")) {
      line.substr(5).copy(saved.boot, sizeof saved.boot - 1);
    } else if (line.starts_with("netns ")) {
      line.substr(6).copy(saved.netns, sizeof saved.netns - 1);
    } else if (line.starts_with("uptime ") && isdecimal(line.substr(7))) {
      saved.uptime = parsecount(line.substr(7));
    } else if (parsebookline(line, entry) && (entry.family == "ipv4" || entry.family == "ipv6")) {
      Family& family = entry.family == "ipv4" ? ipv4 : ipv6;
      family.books[family.latest].add(entry.outbound, entry.rule, entry.bytes);
    } else {
      return "it holds a line that is not a reading";
    }
  }
  bool sameboot = strcmp(saved.boot, "-") == 0 || strcmp(now.boot, "-") == 0 ||
                  strcmp(saved.boot, now.boot) == 0;
  if (!sameboot || saved.uptime < 0 || now.uptime < saved.uptime)
    return "they were taken before the system last started";
  if (strcmp(saved.netns, now.netns) != 0) return "they were taken in another network namespace";
  return nullptr;
}

void loadsavedreadings() {
  FILE* file = fopen(readingspath.c_str(), "re");
  if (file == nullptr) return;
  std::string text;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
  fclose(file);
  if (const char* problem = loadreadings(text)) {
    ipv4.books[ipv4.latest].clear();
    ipv6.books[ipv6.latest].clear();
    fprintf(stderr,
            "byteloom: ignored the saved counter readings in %s: %s; the first listing "
            "counts whole\n",
            readingspath.c_str(), problem);
  }
}

int refuseclashingreadings() {
  const RolePath paths[] = {
      {"saved counter readings", resolvedpath(readingspath)},
      {"saved counter readings' temporary file", resolvedpath(readingstemppath)},
      {"rate file", resolvedpath(outfile)},
      {"today file", resolvedpath(outfileday)},
      {"persistent day file", resolvedpath(outpersistentfileday)},
      {"history file", resolvedpath(outdayvolumes)},
      {"persistent day file's temporary file",
       resolvedpath(std::string(outpersistentfileday) + ".tmp")},
      {"history's torn-line file", resolvedpath(tornhistorypath())},
  };
  std::optional<std::pair<size_t, size_t>> clash = findclash(paths);
  if (!clash || clash->first > 1) return 0;
  const RolePath& first = paths[clash->first];
  fprintf(stderr, "byteloom: the %s and the %s are the same file: %s\n", first.role,
          paths[clash->second].role, first.path.c_str());
  return -1;
}

// The rename reaches the disk before the day file's does.
void syncreadingsdirectory() {
  int fd = open(readingsdirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool growthanywhere() {
  return ipv4.counting == Counting::growth || ipv6.counting == Counting::growth;
}

}  // namespace

Counting countingfor(const char* version) {
  return strstr(version, "nf_tables") != nullptr ? Counting::growth : Counting::zeroing;
}

int startcounting(const CaptureLimits& limits) {
  ipv4.counting = detect("iptables -V", "iptables", limits);
  ipv6.counting = detect("ip6tables -V 2>/dev/null", "ip6tables", limits);
  if (growthanywhere()) {
    readingspath = std::string(outpersistentfileday) + ".counters";
    readingstemppath = readingspath + ".tmp";
    std::string copy = readingspath;
    readingsdirectory = dirname(copy.data());
    if (refuseclashingreadings() != 0) return -1;
    loadsavedreadings();
  }
  ipv6present = ipv6chainsexist(limits);
  if (ipv6present)
    fprintf(stderr, "byteloom: counting IPv6 too: ip6tables' mangle table has both chains\n");
  else
    fprintf(stderr,
            "byteloom: not counting IPv6: ip6tables' mangle table lacks RTCHARTS_IN or "
            "RTCHARTS_OUT; looking for them once a minute\n");
  return 0;
}

const char* ipv4command() {
  return ipv4.counting == Counting::growth ? kipv4growthcmd : iptcmd;
}

void countipv4(const char* listing, bool whole) {
  if (ipv4.counting == Counting::zeroing) {
    extractbytes(listing);
    return;
  }
  resetcounters();
  countgrowthof(ipv4, listing, whole);
}

void sampleipv6(const CaptureLimits& limits) {
  // Nothing is zeroed once the daemon is ending: what was not listed waits in
  // the counters for the next start.
  if (limits.stop != nullptr && *limits.stop) return;
  if (!ipv6present) {
    if (monotonicns() - ipv6lookedat < klookagainns || !ipv6chainsexist(limits)) return;
    ipv6present = true;
    fprintf(stderr, "byteloom: found both chains in ip6tables' mangle table: counting IPv6 too\n");
    return;
  }
  CaptureEnd end = capturecommand(ipv6command(), capture6, limits);
  if (end != CaptureEnd::whole) saystopped("IPv6 listing command", end);
  if (end == CaptureEnd::failed || end == CaptureEnd::overflow) return;
  countipv6(end == CaptureEnd::whole);
  if (end == CaptureEnd::whole && !bothchains(capture6)) {
    ipv6present = false;
    ipv6lookedat = monotonicns();
    fprintf(stderr,
            "byteloom: stopped counting IPv6: `%s` did not list both chains; looking "
            "for them once a minute\n",
            ipv6command());
  }
}

int savereadings() {
  if (!growthanywhere()) return 0;
  int fd = open(readingstemppath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    perror("failed to open the saved counter readings' temporary file:");
    return -1;
  }
  Lifetime now = currentlifetime();
  Writer out(fd);
  out.put("boot ");
  out.put(now.boot);
  out.put("\nnetns ");
  out.put(now.netns);
  out.put("\nuptime ");
  out.put(now.uptime);
  out.put("\n");
  putbook(out, ipv4);
  putbook(out, ipv6);
  bool written = out.flush() && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && written) written = false, error = errno;
  if (written && rename(readingstemppath.c_str(), readingspath.c_str()) != 0)
    written = false, error = errno;
  if (!written) {
    errno = error;
    perror("failed to write the saved counter readings:");
    unlink(readingstemppath.c_str());
    return -2;
  }
  syncreadingsdirectory();
  return 0;
}

int persistday(tm date) {
  int saved = savereadings();
  return saved != 0 ? saved : persisttodayvolume(date);
}
