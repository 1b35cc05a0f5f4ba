#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <vector>

// What a run of the start-up script gave: its standard output (nullopt, with
// the reason in error, when there is none to use), and its standard error
// split into lines, which may give the script's own reason.
struct ScriptRun {
  std::optional<std::string> output;
  std::vector<std::string> errors;
  std::string error;
};

// A start-up script reads a configuration and prints six lines; one that
// takes longer than this hangs.
inline constexpr std::chrono::milliseconds kscripttimeout{10000};

// Runs script (with BYTELOOM_CONF=config when given) in a process group of
// its own, standard input from /dev/null, and captures what it prints, as the
// daemon does: at most kcapturesize - 2 characters. A script still running
// after timeout, or printing more, has its whole group killed. No output
// when it can't be run, hangs, prints too much or prints nothing.
ScriptRun runstartupscript(const std::string& script, const std::optional<std::string>& config,
                           std::chrono::milliseconds timeout = kscripttimeout);
