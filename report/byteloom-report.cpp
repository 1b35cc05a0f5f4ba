// byteloom-report: shows the traffic that byteloom accounted, from its rate,
// today, persistent day, history and five-minute files. It only ever reads them.
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>

#include "daemonfiles.h"
#include "dayitems.h"
#include "fiveminutefile.h"
#include "intervals.h"
#include "intervalviews.h"
#include "localclock.h"
#include "messages.h"
#include "options.h"
#include "readfile.h"
#include "reportdays.h"
#include "reportfiles.h"
#include "scriptviews.h"
#include "svgchart.h"
#include "views.h"

namespace {

// Exit statuses.
constexpr int kshown = 0;
constexpr int knothing = 1;
constexpr int kusageerror = 2;
constexpr int kexceeded = 3;

volatile sig_atomic_t interrupted = 0;

void interrupt(int) {
  interrupted = 1;
}

constexpr char kprogram[] = "byteloom-report";

void printproblems(const Problems& problems) {
  ::printproblems(kprogram, problems);
}

int writeoutput(const std::string& path, const std::string& text) {
  if (path == "-") return fputs(text.c_str(), stdout) >= 0 ? kshown : kusageerror;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (file) return kshown;
  printmessage(kprogram, path + ": cannot write: " + strerror(errno));
  return kusageerror;
}

int show(const Options& options, const std::string& text, const Chart* chart) {
  if (options.output == Output::svg) return writeoutput(options.svgfile, formatsvg(*chart));
  fputs(text.c_str(), stdout);
  return kshown;
}

bool nofigures(const Figures& figures) {
  return figures.history.empty() && !figures.today;
}

int nothingtoshow() {
  fputs("byteloom-report: no figures to show\n", stderr);
  return knothing;
}

// The day, month, year and top views: built, then printed in the form asked.
int showview(const Options& options, const Figures& figures, LocalClock now, Problems& problems) {
  std::string text;
  std::optional<Chart> chart;
  DayRange range = dayrange(options, now.date, oldestdate(figures, now.date));
  if (options.view == View::top) {
    TopReport report = buildtop(figures, range, now.date, options.top, options.labels, problems);
    text = options.output == Output::json ? formattopjson(report)
                                          : formattoptable(report, options.units);
  } else {
    Report report = buildreport(figures, range, now.date, options.labels, problems);
    text = options.output == Output::json ? formatjson(report) : formattable(report, options.units);
    if (options.output == Output::svg) chart = daychart(report, options.units);
  }
  printproblems(problems);
  int status = show(options, text, chart ? &*chart : nullptr);
  return status == kshown && nofigures(figures) ? nothingtoshow() : status;
}

bool norows(const PeriodReport& report) {
  for (const PeriodRow& row : report.rows)
    if (row.recordeddays > 0) return false;
  return true;
}

bool norows(const IntervalReport& report) {
  for (const IntervalRow& row : report.rows)
    if (row.recorded) return false;
  return true;
}

// Prints a built view as the options ask; "nothing to show" when no row has
// figures.
template <typename Built, typename Json, typename Table, typename ChartOf>
int showbuilt(const Options& options, const Built& report, Problems& problems, Json json,
              Table table, ChartOf chartof) {
  printproblems(problems);
  std::optional<Chart> chart;
  if (options.output == Output::svg) chart = chartof(report, options.units);
  int status = show(options,
                    options.output == Output::json ? json(report) : table(report, options.units),
                    chart ? &*chart : nullptr);
  return status == kshown && norows(report) ? nothingtoshow() : status;
}

// The month and year views fold the history while reading it: years of
// lines are never held at once.
int showperiods(const Options& options, const FileSetup& setup, LocalClock now,
                Problems& problems) {
  Period period = options.view == View::years ? Period::year : Period::month;
  int count = options.periods > 0 ? options.periods : period == Period::month ? 12 : 0;
  PeriodReport report = loadperiods(setup, period, count, now, options.labels, problems);
  return showbuilt(options, report, problems, formatperiodsjson, formatperiodtable, periodchart);
}

std::vector<FiveMinRecord> loadsnapshots(const FileSetup& setup, Problems& problems) {
  std::string path = fiveminpath(setup.historyfile);
  std::optional<std::string> text = readfiveminutefile(path, problems);
  return text ? parsesnapshots(*text, path, problems) : std::vector<FiveMinRecord>{};
}

// The hour and five-minute views: the last intervals up to the running one,
// or every interval of a date.
int showintervals(const Options& options, const FileSetup& setup, LocalClock now, Problems& problems) {
  Figures figures = loadfigures(setup, now, problems);
  std::vector<FiveMinRecord> snapshots = loadsnapshots(setup, problems);
  Grain grain = options.view == View::hours ? Grain::hour : Grain::fiveminutes;
  IntervalRange range = options.date ? dateintervals(*options.date, grain)
                                     : lastintervals(now, grain, effectiveintervals(options));
  IntervalReport report =
      buildintervals(figures, snapshots, grain, range, now, options.labels, problems);
  auto json = [](const IntervalReport& built) { return formatintervalsjson(built); };
  return showbuilt(options, report, problems, json, formatintervaltable, intervalchart);
}

int showscripted(const Options& options, const Figures& figures, LocalClock now,
                 Problems& problems) {
  std::string text;
  int status = kshown;
  if (options.view == View::oneline) {
    text = formatoneline(figures, now, options.labels, problems);
  } else if (std::optional<std::string> line =
                 judgealert(figures, now, options.alert, options.units, problems)) {
    text = *line;
    status = kexceeded;
  }
  printproblems(problems);
  if (nofigures(figures)) return nothingtoshow();
  fputs(text.c_str(), stdout);
  return status;
}

int showreport(const Options& options, const FileSetup& setup) {
  Problems problems;
  LocalClock now = localclock();
  if (options.view == View::months || options.view == View::years)
    return showperiods(options, setup, now, problems);
  if (options.view == View::hours || options.view == View::fiveminutes)
    return showintervals(options, setup, now, problems);
  Figures figures = loadfigures(setup, now, problems);
  if (options.view == View::oneline || options.view == View::alert)
    return showscripted(options, figures, now, problems);
  return showview(options, figures, now, problems);
}

// Read by the rules every reader of the files follows, so a torn or blank
// rewrite is read again.
std::optional<std::string> readrewritten(const std::string& path, Problems& problems) {
  return rereadunsettled([&] { return readfile(path, problems); });
}

std::vector<std::string> livelabels(const FileSetup& setup, Problems& problems) {
  std::optional<Items> today;
  if (setup.labels.empty())
    if (std::optional<std::string> text = readrewritten(setup.todayfile, problems))
      today = todayitems(*text, setup.todayfile, problems);
  return ratenames(setup.labels, today);
}

// Problems repeat every refresh; they are shown when they change.
void printnewproblems(const Problems& problems, std::vector<std::string>& shown) {
  std::vector<std::string> now;
  for (const Problem& problem : problems) now.push_back(describe(problem));
  if (now != shown) printproblems(problems);
  shown = now;
}

// Wakes on the wall clock's next second, so the clock shown ticks by one; a
// signal ends the sleep at once (the library's sleeps resume after EINTR).
void sleeptonextsecond() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  timespec next{now.tv_sec + 1, 0};
  clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &next, nullptr);
}

std::string livepage(const Options& options, const FileSetup& setup, Problems& problems) {
  std::vector<std::string> labels = livelabels(setup, problems);
  std::vector<Rate> rates;
  if (std::optional<std::string> text = readrewritten(setup.ratefile, problems))
    rates = ratefigures(*text, setup.ratefile, problems);
  if (options.output == Output::json)
    return formatlivejson(labels, rates, localclocktext("%Y-%m-%dT%H:%M:%S"));
  return formatlive(labels, rates, localclocktext("%H:%M:%S"), options.units);
}

int showlive(const Options& options, const FileSetup& setup) {
  struct sigaction action {};
  action.sa_handler = interrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  bool json = options.output == Output::json;
  bool screen = !json && isatty(STDOUT_FILENO);
  std::vector<std::string> shown;
  for (int refresh = 0; !interrupted && (options.count == 0 || refresh < options.count);
       ++refresh) {
    if (refresh > 0) sleeptonextsecond();
    if (interrupted) break;
    Problems problems;
    std::string page = livepage(options, setup, problems);
    if (screen)
      page = "\033[H\033[2J" + page;  // like watch: redraw in place
    else if (!json && refresh > 0)
      page = "\n" + page;
    fputs(page.c_str(), stdout);
    fflush(stdout);
    printnewproblems(problems, shown);
  }
  return kshown;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  std::optional<Options> options =
      parseoptions(std::vector<std::string_view>(argv + 1, argv + argc), error);
  if (!options) {
    printmessage(kprogram, error);
    fputs(reportusage().c_str(), stderr);
    return kusageerror;
  }
  if (options->help) {
    fputs(reportusage().c_str(), stdout);
    return kshown;
  }
  // A configuration the daemon would refuse is refused here too.
  std::optional<FileSetup> setup = loadsetup(options->setup, kprogram);
  if (!setup) return kusageerror;
  if (options->view == View::live) return showlive(*options, *setup);
  return showreport(*options, *setup);
}
