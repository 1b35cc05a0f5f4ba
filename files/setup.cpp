#include "setup.h"

#include <unistd.h>

#include "executable.h"
#include "ifrecord.h"
#include "messages.h"
#include "startup.h"
#include "startupscript.h"

#ifndef STARTUP_SCRIPT_FROM_BINDIR
#define STARTUP_SCRIPT_FROM_BINDIR "../lib/byteloom/getbyteloomheaders.sh"
#endif

const SetupOption ksetupoptions[6] = {
    {"--startup-script", &SetupRequest::startupscript, "PATH", false},
    {"--config", &SetupRequest::config, "FILE", false},
    {"--rate-file", &SetupRequest::ratefile, "F", true},
    {"--today-file", &SetupRequest::todayfile, "F", true},
    {"--day-file", &SetupRequest::dayfile, "F", true},
    {"--history-file", &SetupRequest::historyfile, "F", true},
};

namespace {

void applyoverrides(const SetupRequest& request, FileSetup& setup) {
  if (request.ratefile) setup.ratefile = *request.ratefile;
  if (request.todayfile) setup.todayfile = *request.todayfile;
  if (request.dayfile) setup.dayfile = *request.dayfile;
  if (request.historyfile) setup.historyfile = *request.historyfile;
}

}  // namespace

bool applysetupoption(SetupRequest& request, std::string_view name, std::string_view value) {
  for (const SetupOption& option : ksetupoptions)
    if (name == option.name) {
      request.*option.field = std::string(value);
      return true;
    }
  return false;
}

std::string setupusage(std::string_view indent) {
  std::string text;
  bool filesbegun = false;
  for (const SetupOption& option : ksetupoptions) {
    if (option.filepath && !filesbegun)
      text.append("\n").append(indent);
    else if (!text.empty())
      text += ' ';
    filesbegun |= option.filepath;
    text.append("[").append(option.name).append(" ").append(option.value).append("]");
  }
  return text;
}

std::string defaultstartupscript() {
  return ownexecutabledirectory().value_or(".") + "/" + STARTUP_SCRIPT_FROM_BINDIR;
}

std::optional<FileSetup> findsetup(const SetupRequest& request, std::string& error,
                                   std::vector<std::string>& scripterrors) {
  FileSetup setup;
  bool allpaths = request.ratefile && request.todayfile && request.dayfile && request.historyfile;
  if (!allpaths || request.startupscript || request.config) {
    std::string script = request.startupscript.value_or(defaultstartupscript());
    ScriptRun run = runstartupscript(script, request.config);
    scripterrors = std::move(run.errors);
    if (!run.output) {
      error = run.error;
      if (access(script.c_str(), X_OK) != 0)
        error += " (name one with --startup-script, or give all four --*-file options)";
      return std::nullopt;
    }
    std::optional<StartupOutput> parsed = parsestartupoutput(*run.output, error);
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

std::optional<FileSetup> loadsetup(const SetupRequest& request, const char* program) {
  std::string error;
  std::vector<std::string> scripterrors;
  std::optional<FileSetup> setup = findsetup(request, error, scripterrors);
  printscripterrors(scripterrors);
  if (!setup) printmessage(program, error);
  return setup;
}
