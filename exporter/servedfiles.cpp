#include "servedfiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "options.h"
#include "reportfiles.h"
#include "views.h"

namespace {

double seconds(const FileStamp& stamp) {
  return static_cast<double>(stamp.mtimens) / 1e9;
}

// The daemon truncates and rewrites the rate and today files in place; a
// read in between finds nothing, so it is read once more, as the report does.
std::optional<std::string> readcurrent(OpenFile& file, Problems& problems,
                                       FileStamp* stamp = nullptr) {
  return rereadifblank([&] { return file.read(problems, stamp); });
}

}  // namespace

ServedFiles::ServedFiles(ReportSetup setup)
    : setup_(std::move(setup)), today_(setup_.todayfile), rate_(setup_.ratefile) {}

std::shared_ptr<const ParsedHistory> ServedFiles::history(Problems& problems) {
  std::optional<FileStamp> stamp = stampfile(setup_.historyfile);
  bool absent = !stamp && errno == ENOENT;
  std::lock_guard guard(lock_);
  if (stamp && history_ && history_->stamp == *stamp) return history_;
  auto parsed = std::make_shared<ParsedHistory>();
  Problems found;
  // A history that doesn't exist yet is no error: the daemon writes it after
  // its first day, and the day file after its first minute.
  std::optional<std::string> text = absent ? std::nullopt : readfile(setup_.historyfile, found);
  if (text) parsed->days = parsehistory(*text, setup_.historyfile, found);
  if (text && stamp) parsed->stamp = *stamp;
  parsed->sums = historysums(parsed->days);
  for (const DayRecord& record : parsed->days)
    if (!parsed->newest || record.date > *parsed->newest) parsed->newest = record.date;
  // A parse's problems count once, not once per scrape of the same file.
  errors_["history"] += found.size();
  problems.insert(problems.end(), found.begin(), found.end());
  history_ = parsed;
  return parsed;
}

std::optional<DayRecord> ServedFiles::dayfile(Problems& problems, std::optional<double>& mtime) {
  std::optional<FileStamp> stamp = stampfile(setup_.dayfile);
  bool absent = !stamp && errno == ENOENT;
  std::lock_guard guard(lock_);
  if (stamp && daystamp_ == *stamp) {
    mtime = seconds(daystamp_);
    return day_;
  }
  Problems found;
  std::optional<std::string> text = absent ? std::nullopt : readfile(setup_.dayfile, found);
  day_ = text ? parsedayfile(*text, setup_.dayfile, found) : std::nullopt;
  daystamp_ = text && stamp ? *stamp : FileStamp{};
  if (text && stamp) mtime = seconds(*stamp);
  errors_["day"] += found.size();
  problems.insert(problems.end(), found.begin(), found.end());
  return day_;
}

Reading ServedFiles::read() {
  Reading reading;
  std::optional<double> daymtime;
  reading.dayfile = dayfile(reading.problems, daymtime);
  reading.history = history(reading.problems);
  Problems found;
  FileStamp stamp;
  if (std::optional<std::string> text = readcurrent(today_, found, &stamp)) {
    reading.todaymtime = seconds(stamp);
    reading.todayitems = wholeitems(*text, setup_.todayfile, found);
    if (!reading.todayitems) found.push_back({setup_.todayfile, 0, "empty"});
  }
  // A daemon writes the today file every second and the day file once a
  // minute; a today file older than the day file by more than a cycle was
  // left from before a restart.
  reading.todaystale = reading.todaymtime && daymtime && *reading.todaymtime + 2 < *daymtime;
  size_t todayproblems = found.size();
  if (std::optional<std::string> text = readcurrent(rate_, found))
    reading.rates = parserates(*text, setup_.ratefile, found);
  std::lock_guard guard(lock_);
  errors_["today"] += todayproblems;
  errors_["rate"] += found.size() - todayproblems;
  reading.problems.insert(reading.problems.end(), found.begin(), found.end());
  return reading;
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
      found->in += item.counts.in;
      found->out += item.counts.out;
    }
  return found;
}

int64_t bytesof(double kilobytes) {
  return static_cast<int64_t>(std::llround(kilobytes * 1000.0));
}

}  // namespace

std::optional<DayRecord> ServedFiles::runningday(const Reading& reading, Now now) {
  return ::runningday(reading.todayitems, reading.dayfile, reading.history->newest, now.date);
}

Figures ServedFiles::figures(const Reading& reading, Now now) const {
  return Figures{setup_.labels, reading.history->days, runningday(reading, now)};
}

MetricsInput ServedFiles::metrics(const Reading& reading) {
  std::optional<Items> counted =
      countedday(reading.todayitems, reading.todaystale, reading.dayfile, reading.history->newest);
  LabelSums sums = addday(reading.history->sums, counted);
  std::optional<DayRecord> running = runningday(reading, clocknow());
  std::vector<std::string> names = ratelabels(setup_.labels, reading.rates.size());
  MetricsInput input;
  std::lock_guard guard(lock_);
  const LabelSums& totals = totals_.publish(sums);
  for (const std::string& label : metriclabels(setup_.labels, totals)) {
    LabelFigures figures{label, totals.count(label) ? totals.at(label) : Counts{},
                         itemof(running, label), std::nullopt};
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

Report ServedFiles::report(const Reading& reading, const Options& options) {
  Now now = clocknow();
  Figures all = figures(reading, now);
  DayRange range = dayrange(options, now.date, oldestdate(all, now.date));
  Problems problems;
  return buildreport(all, range, now.date, options.labels, problems);
}

PeriodReport ServedFiles::months(const Reading& reading, int count) {
  Now now = clocknow();
  Problems problems;
  return buildperiods(figures(reading, now), Period::month, count, now, {}, problems);
}

std::string ServedFiles::ratesjson(const Reading& reading) {
  std::vector<std::string> labels = setup_.labels;
  if (labels.empty() && reading.todayitems)
    for (const Item& item : *reading.todayitems) labels.push_back(item.label);
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char clock[32];
  strftime(clock, sizeof clock, "%Y-%m-%dT%H:%M:%S", &local);
  return formatlivejson(labels, reading.rates, clock);
}
