#include "counting.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "counterbook.h"
#include "dayfiles.h"
#include "durablefile.h"
#include "iftable.h"
#include "monotonic.h"
#include "ownfiles.h"
#include "sampling.h"
#include "savedreadings.h"
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
constexpr int kmaxrelistings = 3;
constexpr long long kseconds = klistingtimeoutns / 1'000'000'000;

// A family's commands, counting and two readings, used in turn as the
// previous one and the next one. The readings are zero-initialised statics of
// their own, so they take no room in the executable and no memory until used.
// A family with a look command may lack its chains: it is looked for once a
// minute, and its listing failing is never fatal.
struct Family {
  const char* name;
  std::string_view anydest;
  const char* zeroingcommand;
  const char* growthcommand;
  const char* lookcommand;
  const char* listingname;  // as the messages name its listing
  char* capture;
  CounterBook* books;
  Counting counting = Counting::zeroing;
  int latest = 0;
  bool present = true;
  int64_t lookedat = 0;
};

CounterBook ipv4books[2], ipv6books[2];
char capture4[kcapturesize], capture6[kcapturesize];
Family ipv4{.name = "ipv4",
            .anydest = kanyipv4,
            .zeroingcommand = iptcmd,
            .growthcommand = kipv4growthcmd,
            .lookcommand = nullptr,
            .listingname = "listing command",
            .capture = capture4,
            .books = ipv4books};
Family ipv6{.name = "ipv6",
            .anydest = kanyipv6,
            .zeroingcommand = kipv6zeroingcmd,
            .growthcommand = kipv6growthcmd,
            .lookcommand = kipv6lookcmd,
            .listingname = "IPv6 listing command",
            .capture = capture6,
            .books = ipv6books};
Family* const families[] = {&ipv4, &ipv6};
std::string readingspath, readingstemppath;
std::unique_ptr<char[]> readingstext;  // the saved readings' text, made once

// A rule that leaves the book counts whole when it is listed again: worth a
// line, once.
void saydropped(size_t dropped) {
  static bool told = false;
  if (dropped == 0 || told) return;
  told = true;
  fprintf(stderr,
          "byteloom: %zu rule readings did not fit the counter book and were dropped: those "
          "rules count whole when listed again (said once)\n",
          dropped);
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
  saydropped(static_cast<size_t>(growth.dropped));
}

const char* commandof(const Family& family) {
  return family.counting == Counting::growth ? family.growthcommand : family.zeroingcommand;
}

// Both chains came through: each one's header line is in the listing.
bool bothchains(const char* listing) {
  ListedChains listed = walklisting(listing, kanyipv4, [](const RuleLine&, bool) {});
  return listed.in && listed.out;
}

// A listing without -Z, so looking zeroes nothing.
bool chainsexist(Family& family, const CaptureLimits& limits) {
  family.lookedat = monotonicns();
  return capturecommand(family.lookcommand, family.capture, limits) == CaptureEnd::whole &&
         bothchains(family.capture);
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

// A listing cut short still counts the lines it printed whole: their bytes
// were zeroed in the chains and exist nowhere else.
void saycutshort(const Family& family, CaptureEnd end) {
  long lines = std::count(family.capture, family.capture + strlen(family.capture), '\n');
  if (end == CaptureEnd::timedout)
    fprintf(stderr, "byteloom: the %s still ran after %lld s: killed it", family.listingname,
            kseconds);
  else
    fprintf(stderr, "byteloom: the %s still ran at termination: killed it", family.listingname);
  fprintf(stderr, "; counted the %ld whole lines it printed\n", lines);
}

void saynotcounted(CaptureEnd end) {
  if (end == CaptureEnd::failed)
    fprintf(stderr, "byteloom: could not start the IPv6 listing command; trying again\n");
  else
    fprintf(stderr, "byteloom: the IPv6 listing was longer than %zu characters: not counted\n",
            kcapturesize - 2);
}

// What the listing in the family's capture would count against the previous
// reading, counted nowhere.
Growth dryrun(Family& family) {
  return countgrowth(family.capture, true, {}, family.anydest, family.books[family.latest],
                     family.books[family.latest ^ 1]);
}

bool changesrules(const Growth& growth) { return growth.newrules > 0 || growth.gone > 0; }

// iptables-nft reads the kernel's rules without a snapshot: a listing taken
// while another program changes the chains can show a rule twice or miss one
// (about once in 6,000 listings during a run of byteloom-chains up). A rule
// shown anew counts whole, and so does a missed one when it is listed again,
// so a listing that adds or loses rules is taken again until two in a row
// agree. Until they do the cycle counts nothing, which loses nothing on
// counters that are not zeroed: the next reading counts their growth.
bool settled(Family& family, const CaptureLimits& limits) {
  Growth seen = dryrun(family);
  for (int again = 0; changesrules(seen) && again < kmaxrelistings; ++again) {
    if (capturecommand(commandof(family), family.capture, limits) != CaptureEnd::whole)
      return false;
    Growth next = dryrun(family);
    if (next.newrules == seen.newrules && next.gone == seen.gone) return true;
    seen = next;
  }
  return !changesrules(seen);
}

void count(Family& family, bool whole) {
  if (family.counting == Counting::growth)
    countgrowthof(family, family.capture, whole);
  else
    countlisting(family.capture, iftable(), family.anydest);
}

// Whether a family that may lack its chains is to be listed this cycle:
// looked for once a minute while missing.
bool tolist(Family& family, const CaptureLimits& limits) {
  if (family.lookcommand == nullptr) return true;
  // Nothing is zeroed once the daemon is ending: what was not listed waits in
  // the counters for the next start.
  if (limits.stop != nullptr && *limits.stop) return false;
  if (family.present) return true;
  if (monotonicns() - family.lookedat < klookagainns || !chainsexist(family, limits)) return false;
  family.present = true;
  fprintf(stderr, "byteloom: found both chains in ip6tables' mangle table: counting IPv6 too\n");
  return false;
}

// Lists the family's chains and counts the listing: -1 when a family that
// must be listed can't be (the command fails or overflows the capture).
int listandcount(Family& family, const CaptureLimits& limits) {
  if (!tolist(family, limits)) return 0;
  CaptureEnd end = capturecommand(commandof(family), family.capture, limits);
  if (end == CaptureEnd::failed || end == CaptureEnd::overflow) {
    if (family.lookcommand == nullptr) return -1;
    saynotcounted(end);
    return 0;
  }
  if (end != CaptureEnd::whole) saycutshort(family, end);
  if (end == CaptureEnd::whole && family.counting == Counting::growth && !settled(family, limits))
    return 0;
  count(family, end == CaptureEnd::whole);
  if (family.lookcommand != nullptr && end == CaptureEnd::whole && !bothchains(family.capture)) {
    family.present = false;
    family.lookedat = monotonicns();
    fprintf(stderr,
            "byteloom: stopped counting IPv6: `%s` did not list both chains; looking "
            "for them once a minute\n",
            commandof(family));
  }
  return 0;
}

// The boot id under a service manager that hides /proc/sys but passes the
// id in the environment, as 32 hex digits or with dashes.
void bootidfromenvironment(char (&boot)[40]) {
  const char* id = getenv("BYTELOOM_BOOT_ID");
  if (id == nullptr || *id == '\0' || strlen(id) >= sizeof boot) return;
  if (strlen(id) != 32 || strchr(id, '-') != nullptr) {
    strcpy(boot, id);
    return;
  }
  // The kernel's form: 8-4-4-4-12.
  size_t at = 0;
  for (size_t i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) boot[at++] = '-';
    boot[at++] = id[i];
  }
  boot[at] = '\0';
}

// The saved readings are valid while the counters they were taken from live:
// the same boot, the same network namespace, and a boot clock that has not
// gone back. Read with plain calls: a stream would allocate its buffer every
// minute.
Lifetime currentlifetime() {
  Lifetime now{"-", "-", 0};
  int fd = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ssize_t len = read(fd, now.boot, sizeof now.boot - 1);
    now.boot[len > 0 ? len : 0] = '\0';
    now.boot[strcspn(now.boot, "\n")] = '\0';
    if (now.boot[0] == '\0') strcpy(now.boot, "-");
    close(fd);
  } else {
    bootidfromenvironment(now.boot);
  }
  ssize_t len = readlink("/proc/self/ns/net", now.netns, sizeof now.netns - 1);
  now.netns[len > 0 ? len : 0] = '\0';
  if (len <= 0) strcpy(now.netns, "-");
  timespec boottime{};
  clock_gettime(CLOCK_BOOTTIME, &boottime);
  now.uptime = boottime.tv_sec;
  return now;
}

void loadsavedreadings() {
  FILE* file = fopen(readingspath.c_str(), "re");
  if (file == nullptr) return;
  std::string text;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
  fclose(file);
  Lifetime saved{};
  LoadedReadings loaded =
      parsereadings(text, saved, ipv4.books[ipv4.latest], ipv6.books[ipv6.latest]);
  const char* problem = loaded.problem ? loaded.problem : otherlifetime(saved, currentlifetime());
  if (problem) {
    ipv4.books[ipv4.latest].clear();
    ipv6.books[ipv6.latest].clear();
    fprintf(stderr,
            "byteloom: ignored the saved counter readings in %s: %s; the first listing "
            "counts whole\n",
            readingspath.c_str(), problem);
    return;
  }
  saydropped(loaded.dropped);
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
    readingspath = besidepath(Beside::day, kreadingssuffix);
    readingstemppath = besidepath(Beside::day, kreadingstempsuffix);
    readingstext.reset(new (std::nothrow) char[kreadingssize]);
    if (!readingstext) return -1;
  }
  if (refuseclashes(ownfiles(growthanywhere())) != 0) return -1;
  if (growthanywhere()) loadsavedreadings();
  ipv6.present = chainsexist(ipv6, limits);
  if (ipv6.present)
    fprintf(stderr, "byteloom: counting IPv6 too: ip6tables' mangle table has both chains\n");
  else
    fprintf(stderr,
            "byteloom: not counting IPv6: ip6tables' mangle table lacks RTCHARTS_IN or "
            "RTCHARTS_OUT; looking for them once a minute\n");
  return 0;
}

int samplefamilies(const CaptureLimits& limits) {
  resetcounters();
  for (Family* family : families)
    if (listandcount(*family, limits) != 0) return -1;
  return 0;
}

int savereadings() {
  if (!growthanywhere()) return 0;
  SavedBook books[2];
  size_t count = 0;
  for (const Family* family : families)
    if (family->counting == Counting::growth)
      books[count++] = {family->name, &family->books[family->latest]};
  size_t len = formatreadings(readingstext.get(), kreadingssize, currentlifetime(),
                              std::span<const SavedBook>(books, count));
  int result =
      replacedurably(readingspath.c_str(), readingstemppath.c_str(), readingstext.get(), len);
  if (result == -1) perror("failed to open the saved counter readings' temporary file:");
  if (result == -2) perror("failed to write the saved counter readings:");
  return result;
}

int persistday(tm date) {
  int saved = savereadings();
  return saved != 0 ? saved : persisttodayvolume(date);
}
