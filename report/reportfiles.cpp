#include "reportfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <thread>
#include <utility>

#include "ifrecord.h"
#include "startup.h"
#include "textsafe.h"
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

// The script's standard error, kept in a temporary file while it runs: it
// may quote the configuration, so it reaches ours made visible, line by line.
class ScriptErrors {
 public:
  ScriptErrors() {
    const char* dir = getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/byteloom-report.XXXXXX";
    int fd = mkstemp(path.data());
    if (fd < 0) return;  // then the script's standard error goes straight to ours
    close(fd);
    path_ = path;
  }
  ScriptErrors(const ScriptErrors&) = delete;
  ScriptErrors& operator=(const ScriptErrors&) = delete;
  ~ScriptErrors() {
    if (!path_.empty()) unlink(path_.c_str());
  }

  std::string redirection() const { return path_.empty() ? "" : " 2>" + shellquoted(path_); }

  void show() const {
    Problems ignored;
    std::optional<std::string> text = path_.empty() ? std::nullopt : readfile(path_, ignored);
    for (size_t start = 0; text && start < text->size();) {
      size_t end = std::min(text->find('\n', start), text->size());
      fprintf(stderr, "%s\n",
              visibletext(std::string_view(*text).substr(start, end - start)).c_str());
      start = end + 1;
    }
  }

 private:
  std::string path_;
};

// Captures what the script prints, as the daemon does: at most
// kcapturesize - 2 characters; its standard error reaches ours.
std::optional<std::string> runscript(const SetupRequest& request, const std::string& script,
                                     std::string& error) {
  if (access(script.c_str(), X_OK) != 0) {
    error = "cannot run the start-up script " + script + ": " + strerror(errno) +
            " (name one with --startup-script, or give all four --*-file options)";
    return std::nullopt;
  }
  ScriptErrors errors;
  std::string command = shellquoted(script) + " </dev/null" + errors.redirection();
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
  errors.show();
  if (output.size() > kcapturesize - 2) {
    error = script + " printed more than " + std::to_string(kcapturesize - 2) + " characters";
    return std::nullopt;
  }
  if (output.empty()) {
    error = script + " printed nothing";
    return std::nullopt;
  }
  return output;
}

// A descriptor for reading path, or -1 with a problem naming it.
int openforreading(const std::string& path, Problems& problems) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (fd >= 0 && fstat(fd, &status) == 0 && !S_ISDIR(status.st_mode)) return fd;
  int error = fd >= 0 && S_ISDIR(status.st_mode) ? EISDIR : errno;
  problems.push_back({path, 0, std::string("cannot read: ") + strerror(error)});
  if (fd >= 0) close(fd);
  return -1;
}

void applyoverrides(const SetupRequest& request, ReportSetup& setup) {
  if (request.ratefile) setup.ratefile = *request.ratefile;
  if (request.todayfile) setup.todayfile = *request.todayfile;
  if (request.dayfile) setup.dayfile = *request.dayfile;
  if (request.historyfile) setup.historyfile = *request.historyfile;
}

}  // namespace

bool scanfile(const std::string& path, HistoryScanner& scanner, Problems& problems) {
  int fd = openforreading(path, problems);
  if (fd < 0) return false;
  // A block at a time, handed on in whole lines: the memory stays small
  // however long the history grows.
  std::string buffer(size_t{1} << 16, '\0');
  size_t held = 0;
  for (;;) {
    if (held == buffer.size()) buffer.resize(buffer.size() * 2);  // a line longer than a block
    ssize_t n = read(fd, buffer.data() + held, buffer.size() - held);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      problems.push_back({path, 0, std::string("cannot read: ") + strerror(errno)});
      close(fd);
      return false;
    }
    if (n == 0) break;
    held += static_cast<size_t>(n);
    size_t end = std::string_view(buffer.data(), held).rfind('\n');
    if (end == std::string_view::npos) continue;
    scanner.feed({buffer.data(), end + 1});
    held -= end + 1;
    std::memmove(buffer.data(), buffer.data() + end + 1, held);  // the line begun
  }
  close(fd);
  scanner.feed({buffer.data(), held});
  return true;
}

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
  int fd = openforreading(path, problems);
  if (fd < 0) return std::nullopt;
  std::string text(4096, '\0');
  size_t length = 0;
  for (ssize_t n; (n = read(fd, text.data() + length, text.size() - length)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      problems.push_back({path, 0, std::string("cannot read: ") + strerror(errno)});
      close(fd);
      return std::nullopt;
    }
    length += static_cast<size_t>(n);
    if (length == text.size()) text.resize(text.size() * 2);
  }
  close(fd);
  text.resize(length);
  return text;
}

std::optional<std::string> rereadifblank(const std::function<std::optional<std::string>()>& read) {
  std::optional<std::string> text = read();
  if (text && isblankline(*text)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    text = read();
  }
  return text;
}

std::optional<std::string> readrewritten(const std::string& path, Problems& problems) {
  return rereadifblank([&] { return readfile(path, problems); });
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

std::optional<DayRecord> loadrunningday(const ReportSetup& setup,
                                        std::optional<std::chrono::sys_days> archived, Now now,
                                        Problems& problems) {
  std::optional<DayRecord> dayfile;
  if (std::optional<std::string> text = readfile(setup.dayfile, problems))
    dayfile = parsedayfile(*text, setup.dayfile, problems);
  std::optional<Items> todayitems;
  if (std::optional<std::string> text = readrewritten(setup.todayfile, problems)) {
    if (splitwords(*text).empty())
      problems.push_back({setup.todayfile, 0, "empty"});
    else
      todayitems = parseitems(*text, setup.todayfile, 1, problems);
  }
  std::optional<DayRecord> today = runningday(todayitems, dayfile, archived, now.date);
  if (today && today->date > now.date)
    problems.push_back(
        futureproblem(today->date, now.date, setup.dayfile, std::max<size_t>(today->line, 1)));
  return today;
}

Figures loadfigures(const ReportSetup& setup, Now now, Problems& problems) {
  Figures figures{setup.labels, {}, std::nullopt};
  HistoryScanner scanner(setup.historyfile, problems, [&](const DayLineView& line) {
    figures.history.push_back(torecord(line));
  });
  if (scanfile(setup.historyfile, scanner, problems)) scanner.finish();
  futureproblems(figures.history, now.date, setup.historyfile, problems);
  std::optional<std::chrono::sys_days> archived;
  for (const DayRecord& record : figures.history)
    if (!archived || record.date > *archived) archived = record.date;
  figures.today = loadrunningday(setup, archived, now, problems);
  return figures;
}

PeriodReport loadperiods(const ReportSetup& setup, Period period, int count, Now now,
                         const std::vector<std::string>& only, Problems& problems) {
  PeriodFolder folder(period, count, now, setup.labels, only);
  std::optional<std::chrono::sys_days> archived;
  HistoryScanner scanner(setup.historyfile, problems, [&](const DayLineView& line) {
    if (line.date > now.date)
      problems.push_back(futureproblem(line.date, now.date, setup.historyfile, line.line));
    if (!archived || line.date > *archived) archived = line.date;
    folder.addday(line.date, line.items);
  });
  if (scanfile(setup.historyfile, scanner, problems)) scanner.finish();
  if (std::optional<DayRecord> today = loadrunningday(setup, archived, now, problems))
    folder.addday(today->date, today->items);
  return folder.finish(problems);
}
