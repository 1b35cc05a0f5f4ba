#include "servedfiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "daemonfiles.h"
#include "digits.h"
#include "localclock.h"
#include "monthsums.h"
#include "runningday.h"
#include "views.h"

ServedFiles::ServedFiles(FileSetup setup)
    : setup_(std::move(setup)),
      today_(setup_.todayfile),
      rate_(setup_.ratefile),
      follower_(setup_),
      current_(std::make_shared<Reading>()) {}

std::shared_ptr<const Reading> ServedFiles::read() {
  std::lock_guard guard(lock_);
  unsigned changed = follower_.changed();
  // Read in the order of the daemon's day change: a file reread is always
  // read after every file before it, so no reading pairs a new day file
  // with a history or today file older than it.
  if (changed & kdaybit) changed |= khistorybit;
  if (changed & khistorybit) changed |= ktodaybit;
  if (changed == 0) return current_;
  auto next = std::make_shared<Reading>(*current_);
  if (changed & kdaybit) readdayfile(*next);
  if (changed & khistorybit) readhistory(*next);
  if (changed & ktodaybit) readtoday(*next);
  if (changed & kratebit) readrates(*next);
  if (changed & (ktodaybit | kratebit))
    next->ratenames = ratenames(setup_.labels, next->todayitems);
  current_ = next;
  return current_;
}

// Followed, a file is read by its path when it changed, so a file replaced
// by a rename is read at once; else the descriptor kept open saves a lookup
// of the path at each request.
std::optional<std::string> ServedFiles::current(OpenFile& file, Problems& problems,
                                                FileStamp* stamp) {
  if (follower_.following()) return readfile(file.path(), problems, stamp);
  return file.read(problems, stamp);
}

void ServedFiles::count(const char* file, const Problems& found) {
  errors_[file] += found.size();
}

// A day file or history that doesn't exist yet is no error: the daemon
// writes the day file after its first minute and the history after its
// first day. Each is parsed again only when its stamp changed.
void ServedFiles::readdayfile(Reading& reading) {
  std::optional<FileStamp> stamp = stampfile(setup_.dayfile);
  if (stamp && dayread_ && daystamp_ == *stamp) return;
  bool absent = !stamp && errno == ENOENT;
  Problems found;
  std::optional<double> mtime;
  reading.dayfile = absent ? std::nullopt : ::readdayfile(setup_.dayfile, found, mtime);
  daystamp_ = stamp && mtime ? *stamp : FileStamp{};
  dayread_ = stamp && mtime;
  daymtime_ = mtime;
  count("day", found);
}

void ServedFiles::readhistory(Reading& reading) {
  std::optional<FileStamp> stamp = stampfile(setup_.historyfile);
  if (stamp && reading.history && reading.history->stamp == *stamp) return;
  bool absent = !stamp && errno == ENOENT;
  auto parsed = std::make_shared<ParsedHistory>();
  Problems found;
  std::optional<std::string> text = absent ? std::nullopt : readfile(setup_.historyfile, found);
  if (text) parsed->days = parsehistory(*text, setup_.historyfile, found);
  if (text && stamp) parsed->stamp = *stamp;
  parsed->sums = historysums(parsed->days);
  parsed->newest = newestdate(parsed->days, std::chrono::sys_days::max());
  count("history", found);
  reading.history = parsed;
}

void ServedFiles::readtoday(Reading& reading) {
  RunningFiles files{reading.dayfile, std::nullopt, std::nullopt};
  Problems found;
  ::readtoday(
      files, daymtime_, setup_.todayfile,
      [&](Problems& problems, FileStamp& stamp) { return current(today_, problems, &stamp); },
      found);
  reading.todayitems = std::move(files.today);
  reading.todaymtime = files.todaymtime;
  count("today", found);
}

void ServedFiles::readrates(Reading& reading) {
  Problems found;
  std::optional<std::string> text = rereadunsettled([&] { return current(rate_, found); });
  reading.rates = text ? ratefigures(*text, setup_.ratefile, found) : std::vector<Rate>{};
  count("rate", found);
}

namespace {

// The configured labels in order, then any other label with figures.
std::vector<std::string> metriclabels(const std::vector<std::string>& configured,
                                      const LabelSums& totals) {
  std::vector<std::string> labels = configured;
  for (const auto& [label, counts] : totals)
    if (std::find(labels.begin(), labels.end(), label) == labels.end()) labels.push_back(label);
  return labels;
}

std::optional<Counts> itemof(const std::optional<DayRecord>& day, const std::string& label) {
  if (!day) return std::nullopt;
  std::optional<Counts> found;
  for (const Item& item : day->items)
    if (item.label == label) {
      if (!found) found = Counts{};
      found->in = addsaturating(found->in, item.counts.in);
      found->out = addsaturating(found->out, item.counts.out);
    }
  return found;
}

int64_t bytesof(double kilobytes) {
  return static_cast<int64_t>(std::llround(kilobytes * 1000.0));
}

}  // namespace

// The history's newest date up to today: the newest of all, kept with the
// parsed history, unless a line is dated after today.
std::optional<DayRecord> ServedFiles::runningday(const Reading& reading, LocalClock now) {
  const ParsedHistory& history = *reading.history;
  std::optional<std::chrono::sys_days> newest = history.newest;
  if (newest && *newest > now.date) newest = newestdate(history.days, now.date);
  return ::runningday(reading.todayitems, reading.dayfile, newest, now.date);
}

Figures ServedFiles::figures(const Reading& reading, LocalClock now) const {
  return Figures{setup_.labels, reading.history->days, runningday(reading, now)};
}

MetricsInput ServedFiles::metrics(const Reading& reading, uint64_t* version) {
  LocalClock now = localclock();
  std::optional<DayRecord> running = runningday(reading, now);
  LabelSums sums = addday(reading.history->sums, running);
  std::vector<std::string> names = ratelabels(reading.ratenames, reading.rates.size());
  MetricsInput input;
  std::lock_guard guard(lock_);
  // The running day's month: its history lines and the running day.
  LabelSums month =
      addday(historymonth(reading.history, running ? running->date : now.date), running);
  const LabelSums& totals = totals_.publish(sums);
  if (version) *version = totals_.version();
  for (const std::string& label : metriclabels(setup_.labels, totals)) {
    LabelFigures figures{label, totals.count(label) ? totals.at(label) : Counts{},
                         itemof(running, label), std::nullopt,
                         month.count(label) ? month.at(label) : Counts{}};
    for (size_t i = 0; i < reading.rates.size(); ++i)
      if (names[i] == label)
        figures.rate = Counts{bytesof(reading.rates[i].inkb), bytesof(reading.rates[i].outkb)};
    input.labels.push_back(std::move(figures));
  }
  input.lastupdate = reading.todaymtime;
  for (const char* file : {"rate", "today", "day", "history"})
    input.readerrors.emplace_back(file, errors_[file]);
  return input;
}

// The history's part of a month changes only with the history or the date,
// so it is summed once for each.
const LabelSums& ServedFiles::historymonth(const std::shared_ptr<const ParsedHistory>& history,
                                           std::chrono::sys_days day) {
  if (month_.history != history || month_.day != day)
    month_ = {history, day, monthsums(history->days, day)};
  return month_.sums;
}

std::string ServedFiles::metricstext(const std::shared_ptr<const Reading>& reading,
                                     bool openmetrics) {
  // The running day is dated by the local date when the history already
  // holds the day file's date, so a new date formats anew; and totals that
  // another reading raised since (a scrape of an older reading, late) too,
  // so no scrape shows less than one before it.
  std::chrono::sys_days date = localclock().date;
  {
    std::lock_guard guard(lock_);
    FormattedMetrics& cached = formatted_[openmetrics];
    if (cached.reading == reading && cached.date == date && cached.version == totals_.version())
      return cached.text;
  }
  uint64_t version = 0;
  std::string text = formatmetrics(metrics(*reading, &version), openmetrics);
  std::lock_guard guard(lock_);
  formatted_[openmetrics] = {reading, date, version, text};
  return text;
}

Report ServedFiles::days(const Reading& reading, int count) {
  LocalClock now = localclock();
  Problems problems;
  return buildreport(figures(reading, now), lastdays(now.date, count), now.date, {}, problems);
}

PeriodReport ServedFiles::months(const Reading& reading, int count) {
  LocalClock now = localclock();
  Problems problems;
  return buildperiods(figures(reading, now), Period::month, count, now, {}, problems);
}

std::string ServedFiles::ratesjson(const Reading& reading) {
  return formatlivejson(reading.ratenames, reading.rates, localclocktext("%Y-%m-%dT%H:%M:%S"));
}
