#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where the daemon's four files lie and what its interfaces are called,
// learnt the way the daemon learns them: from its start-up script's output.
struct FileSetup {
  std::vector<std::string> labels;  // in interface order, the rate file's order
  std::string ratefile;
  std::string todayfile;
  std::string dayfile;
  std::string historyfile;
};

// How a command line names the setup; any path given overrides the script's.
struct SetupRequest {
  std::optional<std::string> startupscript;  // default: beside the installed daemon
  std::optional<std::string> config;         // passed to the script as BYTELOOM_CONF
  std::optional<std::string> ratefile, todayfile, dayfile, historyfile;
};

// The options that name the setup, the same in every program that reads the
// files: --startup-script, --config and the four --*-file options.
struct SetupOption {
  const char* name;
  std::optional<std::string> SetupRequest::*field;
  const char* value;  // how the usage text names the option's value
  bool filepath;      // one of the four files (a line of their own in the usage)
};
extern const SetupOption ksetupoptions[6];

// Sets the request's field for the option name; false when name is not a
// setup option.
bool applysetupoption(SetupRequest& request, std::string_view name, std::string_view value);

// The usage lines of the setup options, for a program's usage text: the
// script and its configuration, then the four files on a line of their own,
// begun with indent.
std::string setupusage(std::string_view indent);

// The start-up script installed beside the daemon, found from this program's
// own executable.
std::string defaultstartupscript();

// Runs the start-up script and reads its six lines with the daemon's parser,
// unless all four paths are given (and neither a script nor a configuration
// is named). nullopt, with the reason in error, for an output the daemon
// would refuse or a script that can't be run. The script's standard error
// reaches errors, line by line.
std::optional<FileSetup> findsetup(const SetupRequest& request, std::string& error,
                                   std::vector<std::string>& scripterrors);

// findsetup() for a program: the script's standard error and the reason a
// setup can't be used are printed on standard error, named by program.
std::optional<FileSetup> loadsetup(const SetupRequest& request, const char* program);
