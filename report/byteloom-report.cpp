// byteloom-report: shows the traffic that byteloom accounted, from its rate,
// today, persistent day and history files. It only ever reads them.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <unistd.h>

#include "dayitems.h"
#include "options.h"
#include "reportfiles.h"
#include "reportdays.h"
#include "svgchart.h"
#include "views.h"

namespace {

volatile sig_atomic_t interrupted = 0;

void interrupt(int) { interrupted = 1; }

// A configuration the daemon would refuse is refused here too (exit status 2).
std::optional<ReportSetup> loadsetup(const Options& options) {
  SetupRequest request{options.startupscript, options.config,   options.ratefile,
                       options.todayfile,     options.dayfile, options.historyfile};
  std::string error;
  std::optional<ReportSetup> setup = findsetup(request, error);
  if (!setup) fprintf(stderr, "byteloom-report: %s\n", error.c_str());
  return setup;
}

void printproblems(const Problems& problems) {
  for (const Problem& problem : problems) fprintf(stderr, "byteloom-report: %s\n", describe(problem).c_str());
}

// From the precise clock: time() may lag the second that was just slept to.
tm localnow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  time_t seconds = now.tv_sec;
  tm local{};
  localtime_r(&seconds, &local);
  return local;
}

std::chrono::sys_days localtoday() {
  tm local = localnow();
  using namespace std::chrono;
  return sys_days(year_month_day(year(local.tm_year + 1900), month(static_cast<unsigned>(local.tm_mon + 1)),
                                 day(static_cast<unsigned>(local.tm_mday))));
}

std::string clocktext(const char* format) {
  tm local = localnow();
  char text[32];
  strftime(text, sizeof text, format, &local);
  return text;
}

Report loadreport(const Options& options, const ReportSetup& setup, Problems& problems) {
  std::vector<DayRecord> history;
  if (std::optional<std::string> text = readfile(setup.historyfile, problems))
    history = parsehistory(*text, setup.historyfile, problems);
  std::optional<DayRecord> dayfile;
  if (std::optional<std::string> text = readfile(setup.dayfile, problems))
    dayfile = parsedayfile(*text, setup.dayfile, problems);
  std::optional<Items> todayitems;
  if (std::optional<std::string> text = readrewritten(setup.todayfile, problems)) {
    if (splitwords(*text).empty()) problems.push_back({setup.todayfile, 0, "empty"});
    else todayitems = parseitems(*text, setup.todayfile, 1, problems);
  }
  std::optional<DayRecord> today = runningday(todayitems, dayfile, history, localtoday());
  return buildreport(setup.labels, history, today, effectivedays(options), options.labels, problems);
}

int writeoutput(const std::string& path, const std::string& text) {
  if (path == "-") return fputs(text.c_str(), stdout) >= 0 ? 0 : 2;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (file) return 0;
  fprintf(stderr, "byteloom-report: %s: cannot write: %s\n", path.c_str(), strerror(errno));
  return 2;
}

int showreport(const Options& options, const ReportSetup& setup, Problems& problems) {
  Report report = loadreport(options, setup, problems);
  printproblems(problems);
  int status = 0;
  if (options.mode == Mode::svg) status = writeoutput(options.svgfile, formatsvg(report));
  else fputs((options.mode == Mode::json ? formatjson(report) : formattable(report)).c_str(), stdout);
  if (status == 0 && report.days.empty()) {
    fputs("byteloom-report: no figures to show\n", stderr);
    return 1;
  }
  return status;
}

std::vector<std::string> livelabels(const ReportSetup& setup, Problems& problems) {
  if (!setup.labels.empty()) return setup.labels;
  std::vector<std::string> labels;
  if (std::optional<std::string> text = readrewritten(setup.todayfile, problems))
    for (const Item& item : parseitems(*text, setup.todayfile, 1, problems)) labels.push_back(item.label);
  return labels;
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

int showlive(const Options& options, const ReportSetup& setup, Problems& startup) {
  struct sigaction action {};
  action.sa_handler = interrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  bool screen = !options.json && isatty(STDOUT_FILENO);
  std::vector<std::string> shown;
  for (int refresh = 0; !interrupted && (options.count == 0 || refresh < options.count); ++refresh) {
    if (refresh > 0) sleeptonextsecond();
    if (interrupted) break;
    Problems problems = startup;
    std::vector<std::string> labels = livelabels(setup, problems);
    std::vector<Rate> rates;
    if (std::optional<std::string> text = readrewritten(setup.ratefile, problems))
      rates = parserates(*text, setup.ratefile, problems);
    std::string page = options.json ? formatlivejson(labels, rates, clocktext("%Y-%m-%dT%H:%M:%S"))
                                    : formatlive(labels, rates, clocktext("%H:%M:%S"));
    if (screen) page = "\033[H\033[2J" + page;  // like watch: redraw in place
    else if (!options.json && refresh > 0) page = "\n" + page;
    fputs(page.c_str(), stdout);
    fflush(stdout);
    printnewproblems(problems, shown);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  std::optional<Options> options =
      parseoptions(std::vector<std::string_view>(argv + 1, argv + argc), error);
  if (!options) {
    fprintf(stderr, "byteloom-report: %s\n%s", error.c_str(), kusage);
    return 2;
  }
  if (options->help) {
    fputs(kusage, stdout);
    return 0;
  }
  std::optional<ReportSetup> setup = loadsetup(*options);
  if (!setup) return 2;
  Problems problems;
  if (options->mode == Mode::live) return showlive(*options, *setup, problems);
  return showreport(*options, *setup, problems);
}
