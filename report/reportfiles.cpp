#include "reportfiles.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "ifrecord.h"
#include "startup.h"
#include "tokens.h"

#ifndef STARTUP_SCRIPT_FROM_BINDIR
#define STARTUP_SCRIPT_FROM_BINDIR "../lib/byteloom/getbyteloomheaders.sh"
#endif

namespace {

std::string executabledirectory() {
  char path[4096] = {};
  ssize_t len = readlink("/proc/self/exe", path, sizeof path - 1);
  if (len <= 0) return ".";
  std::string text(path, static_cast<size_t>(len));
  size_t slash = text.rfind('/');
  return slash == std::string::npos ? "." : text.substr(0, slash == 0 ? 1 : slash);
}

// Captures what the script prints, as the daemon does: at most
// CAPTURESIZE - 2 characters; its standard error reaches ours.
std::optional<std::string> runscript(const SetupRequest& request, const std::string& script,
                                     std::string& error) {
  if (access(script.c_str(), X_OK) != 0) {
    error = "cannot run the start-up script " + script + ": " + strerror(errno) +
            " (name one with --startup-script, or give all four --*-file options)";
    return std::nullopt;
  }
  std::string command = shellquoted(script) + " </dev/null";
  if (request.config) command = "BYTELOOM_CONF=" + shellquoted(*request.config) + " " + command;
  FILE* pipe = popen(command.c_str(), "re");
  if (pipe == nullptr) {
    error = "cannot start " + script + ": " + strerror(errno);
    return std::nullopt;
  }
  std::string output;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, n);
  pclose(pipe);
  if (output.size() > CAPTURESIZE - 2) {
    error = script + " printed more than " + std::to_string(CAPTURESIZE - 2) + " characters";
    return std::nullopt;
  }
  if (output.empty()) {
    error = script + " printed nothing";
    return std::nullopt;
  }
  return output;
}

void applyoverrides(const SetupRequest& request, ReportSetup& setup) {
  if (request.ratefile) setup.ratefile = *request.ratefile;
  if (request.todayfile) setup.todayfile = *request.todayfile;
  if (request.dayfile) setup.dayfile = *request.dayfile;
  if (request.historyfile) setup.historyfile = *request.historyfile;
}

}  // namespace

std::string defaultstartupscript() {
  return executabledirectory() + "/" + STARTUP_SCRIPT_FROM_BINDIR;
}

std::optional<ReportSetup> findsetup(const SetupRequest& request, std::string& error) {
  ReportSetup setup;
  bool allpaths = request.ratefile && request.todayfile && request.dayfile && request.historyfile;
  if (!allpaths || request.startupscript || request.config) {
    std::string script = request.startupscript.value_or(defaultstartupscript());
    std::optional<std::string> output = runscript(request, script, error);
    if (!output) return std::nullopt;
    std::optional<StartupOutput> parsed = parsestartupoutput(*output, error);
    if (!parsed) {
      error = script + ": " + error;
      return std::nullopt;
    }
    for (const IfInfo& record : parsed->table) setup.labels.emplace_back(record.label);
    setup.ratefile = parsed->ratefile;
    setup.todayfile = parsed->todayfile;
    setup.dayfile = parsed->dayfile;
    setup.historyfile = parsed->historyfile;
  }
  applyoverrides(request, setup);
  return setup;
}

std::optional<std::string> readfile(const std::string& path, Problems& problems) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) {
    problems.push_back({path, 0, std::string("cannot read: ") + strerror(errno)});
    return std::nullopt;
  }
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

std::optional<std::string> readrewritten(const std::string& path, Problems& problems) {
  std::optional<std::string> text = readfile(path, problems);
  if (text && text->find_first_not_of(" \n") == std::string::npos) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    text = readfile(path, problems);
  }
  return text;
}

Now clocknow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  time_t seconds = now.tv_sec;
  tm local{};
  localtime_r(&seconds, &local);
  using namespace std::chrono;
  year_month_day date(year(local.tm_year + 1900), month(static_cast<unsigned>(local.tm_mon + 1)),
                      day(static_cast<unsigned>(local.tm_mday)));
  return {sys_days(date), std::min(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec, 86399)};
}

Figures loadfigures(const ReportSetup& setup, Now now, Problems& problems) {
  Figures figures{setup.labels, {}, std::nullopt};
  if (std::optional<std::string> text = readfile(setup.historyfile, problems))
    figures.history = parsehistory(*text, setup.historyfile, problems);
  std::optional<DayRecord> dayfile;
  if (std::optional<std::string> text = readfile(setup.dayfile, problems))
    dayfile = parsedayfile(*text, setup.dayfile, problems);
  std::optional<Items> todayitems;
  if (std::optional<std::string> text = readrewritten(setup.todayfile, problems)) {
    if (splitwords(*text).empty()) problems.push_back({setup.todayfile, 0, "empty"});
    else todayitems = parseitems(*text, setup.todayfile, 1, problems);
  }
  figures.today = runningday(todayitems, dayfile, figures.history, now.date);
  futureproblems(figures, now.date, setup.historyfile, setup.dayfile, problems);
  return figures;
}
