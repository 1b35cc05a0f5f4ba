#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "periods.h"
#include "problems.h"
#include "reportdays.h"

// Where the daemon's files lie and what its interfaces are called, learnt the
// way the daemon learns them: from its start-up script's output.
struct ReportSetup {
  std::vector<std::string> labels;  // in interface order, the rate file's order
  std::string ratefile;
  std::string todayfile;
  std::string dayfile;
  std::string historyfile;
};

// How the command line names the setup; any path given overrides the script's.
struct SetupRequest {
  std::optional<std::string> startupscript;  // default: beside the installed daemon
  std::optional<std::string> config;         // passed to the script as BYTELOOM_CONF
  std::optional<std::string> ratefile, todayfile, dayfile, historyfile;
};

// The start-up script installed beside the daemon, found from this program's
// own executable.
std::string defaultstartupscript();

// Runs the start-up script and reads its six lines with the daemon's parser,
// unless all four paths are given. nullopt, with the reason in error, for an
// output the daemon would refuse or a script that can't be run.
std::optional<ReportSetup> findsetup(const SetupRequest& request, std::string& error);

// Reads the file at path into scanner a block at a time, in whole lines;
// false, with a problem naming it, when it can't be read.
bool scanfile(const std::string& path, HistoryScanner& scanner, Problems& problems);

// The whole file, or nullopt with a problem naming it.
std::optional<std::string> readfile(const std::string& path, Problems& problems);

// The daemon truncates and rewrites the rate and today files every second; a
// read that lands in between sees nothing, so an empty file is read once more.
std::optional<std::string> readrewritten(const std::string& path, Problems& problems);

// What read() gives, read once more after a pause when it is blank: the
// rewrite in place of a file the daemon truncates every second.
std::optional<std::string> rereadifblank(const std::function<std::optional<std::string>()>& read);

// The local clock now, from the precise clock (time() may lag the second
// that was just slept to).
Now clocknow();

// The running day from setup's today and persistent day files, given the
// newest date of the history; one dated after now is named.
std::optional<DayRecord> loadrunningday(const ReportSetup& setup,
                                        std::optional<std::chrono::sys_days> archived, Now now,
                                        Problems& problems);

// The month or year view straight from setup's files: the history is read
// and folded while it is read, in one pass, without keeping its lines.
PeriodReport loadperiods(const ReportSetup& setup, Period period, int count, Now now,
                         const std::vector<std::string>& only, Problems& problems);

// Reads the history, the persistent day file and the today file of setup
// (each once, whole) into the figures the views are built from; the running
// day is dated as runningday() says, and records dated after now are named.
Figures loadfigures(const ReportSetup& setup, Now now, Problems& problems);
