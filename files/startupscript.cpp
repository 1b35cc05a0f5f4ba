#include "startupscript.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ifrecord.h"

extern char** environ;

namespace {

// Standard error kept beyond this is dropped: it is only shown.
constexpr size_t kerrorlimit = 64 * 1024;

using Clock = std::chrono::steady_clock;

// The environment of this process, with BYTELOOM_CONF set to config when given.
std::vector<std::string> scriptenvironment(const std::optional<std::string>& config) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry; ++entry)
    if (!config || std::strncmp(*entry, "BYTELOOM_CONF=", 14) != 0) entries.emplace_back(*entry);
  if (config) entries.push_back("BYTELOOM_CONF=" + *config);
  return entries;
}

// The script through the shell, as the daemon starts it, so one without a
// "#!" line runs too; standard output and error into the pipes' write ends.
pid_t spawnscript(const std::string& script, const std::optional<std::string>& config, int out,
                  int err, int& error) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A group of its own, so a hang is ended with everything the script
  // started; and the signals as a shell gives them, not as this program
  // blocks or ignores them (a server blocks SIGTERM and ignores SIGPIPE).
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t none, defaults;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  sigemptyset(&defaults);
  for (int number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, number);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  std::vector<std::string> env = scriptenvironment(config);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string shell = "/bin/sh", flag = "-c", command = "\"$0\"", name = script;
  char* argv[] = {shell.data(), flag.data(), command.data(), name.data(), nullptr};
  pid_t pid = -1;
  error = posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? pid : -1;
}

// Appends what fd has to text (up to limit, the rest read and dropped);
// false at its end.
bool drain(int fd, std::string& text, size_t limit) {
  char chunk[4096];
  ssize_t n = read(fd, chunk, sizeof chunk);
  if (n < 0) return errno == EINTR || errno == EAGAIN;
  if (n == 0) return false;
  size_t room = text.size() < limit ? limit - text.size() : 0;
  text.append(chunk, std::min(room, static_cast<size_t>(n)));
  return true;
}

std::vector<std::string> splitlines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Reads both pipes to their ends; false when the deadline passes first or
// the output grows past what the daemon can capture.
bool collect(int out, int err, std::string& output, std::string& errors, Clock::time_point deadline,
             bool& toolong) {
  constexpr size_t klimit = kcapturesize - 2;
  pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    int ready = poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    // One character past the limit tells an output that doesn't fit.
    if (fds[0].revents && !drain(out, output, klimit + 1)) fds[0].fd = -1;
    if (fds[1].revents && !drain(err, errors, kerrorlimit)) fds[1].fd = -1;
    if (output.size() > klimit) {
      toolong = true;
      return false;
    }
  }
  return true;
}

}  // namespace

ScriptRun runstartupscript(const std::string& script, const std::optional<std::string>& config,
                           std::chrono::milliseconds timeout) {
  ScriptRun run;
  if (access(script.c_str(), X_OK) != 0) {
    run.error = "cannot run the start-up script " + script + ": " + strerror(errno);
    return run;
  }
  int out[2] = {-1, -1}, err[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    run.error = "cannot start " + script + ": " + strerror(errno);
    for (int fd : {out[0], out[1]})
      if (fd >= 0) close(fd);
    return run;
  }
  int spawnerror = 0;
  pid_t pid = spawnscript(script, config, out[1], err[1], spawnerror);
  close(out[1]);
  close(err[1]);
  std::string output, errors;
  bool toolong = false;
  bool finished =
      pid > 0 && collect(out[0], err[0], output, errors, Clock::now() + timeout, toolong);
  close(out[0]);
  close(err[0]);
  if (pid > 0) {
    if (!finished) kill(-pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  run.errors = splitlines(errors);
  if (pid <= 0)
    run.error = "cannot start " + script + ": " + strerror(spawnerror);
  else if (toolong)
    run.error = script + " printed more than " + std::to_string(kcapturesize - 2) + " characters";
  else if (!finished)
    run.error = script + " did not finish within " + std::to_string(timeout.count()) +
                " ms; its process group was killed";
  else if (output.empty())
    run.error = script + " printed nothing";
  else
    run.output = std::move(output);
  return run;
}
