// Times commands in one run: each is started REPS times, alternating, with
// its output thrown away; prints the median wall time of each and the ratio
// of each to the last (the baseline).
// usage: reportbench REPS -- NAME CMD ARGS... [-- NAME CMD ARGS...]...
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
  std::string name;
  std::vector<char*> argv;
  std::vector<double> seconds;
};

// Runs the command once with standard output on /dev/null; its wall time, or
// a negative value when it did not end with status 0 or 1.
double runonce(Command& command) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int failed = posix_spawnp(&pid, command.argv[0], &actions, nullptr, command.argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (failed != 0 || waitpid(pid, &status, 0) != pid) return -1;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) <= 1 ? seconds : -1;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::vector<Command> parsecommands(int argc, char** argv) {
  std::vector<Command> commands;
  for (int i = 2; i < argc; ++i) {
    if (std::string(argv[i]) == "--" && i + 2 < argc) {
      commands.push_back({argv[++i], {}, {}});
      continue;
    }
    if (!commands.empty()) commands.back().argv.push_back(argv[i]);
  }
  for (Command& command : commands) command.argv.push_back(nullptr);
  return commands;
}

}  // namespace

int main(int argc, char** argv) {
  int reps = argc > 1 ? atoi(argv[1]) : 0;
  std::vector<Command> commands = parsecommands(argc, argv);
  if (reps < 1 || commands.size() < 2) {
    fprintf(stderr, "usage: reportbench REPS -- NAME CMD ARGS... -- NAME CMD ARGS...\n");
    return 2;
  }
  for (int rep = 0; rep < reps; ++rep)
    for (Command& command : commands) {
      double seconds = runonce(command);
      if (seconds < 0) {
        fprintf(stderr, "reportbench: %s failed\n", command.name.c_str());
        return 1;
      }
      command.seconds.push_back(seconds);
    }
  double baseline = median(commands.back().seconds);
  for (const Command& command : commands) {
    double m = median(command.seconds);
    printf("%-40s median %8.2f ms  ratio %.2f\n", command.name.c_str(), m * 1000, m / baseline);
  }
  return 0;
}
