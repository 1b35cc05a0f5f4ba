#include "runcommand.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr size_t kmaxcapture = CAPTURESIZE - 2;

// The child runs in a process group of its own, so a Ctrl-C meant for the
// daemon can't kill iptables between zeroing a chain and printing it; the
// daemon finishes its cycle and persists instead.
pid_t spawnshell(const char* command, int stdoutfd) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, stdoutfd, STDOUT_FILENO);
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  const char* argv[] = {"sh", "-c", command, nullptr};
  pid_t pid = -1;
  int failed = posix_spawn(&pid, "/bin/sh", &actions, &attributes, const_cast<char**>(argv), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

// Reads to end of file; a read interrupted by a signal is resumed, so a
// termination request never cuts a listing short. Returns the length, or
// kmaxcapture + 1 when the output doesn't fit.
size_t capture(int fd, char* dst) {
  size_t total = 0;
  while (total <= kmaxcapture) {
    ssize_t n = read(fd, dst + total, kmaxcapture + 1 - total);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // end of file, or a read error that ends the capture
    total += static_cast<size_t>(n);
  }
  return total;
}

void reap(pid_t pid) {
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

int runcommand(const char* command, char* dst) {
  dst[0] = '\0';
  int pipefds[2];
  if (pipe2(pipefds, O_CLOEXEC) != 0) return -1;
  pid_t pid = spawnshell(command, pipefds[1]);
  close(pipefds[1]);
  if (pid < 0) {
    close(pipefds[0]);
    return -1;
  }
  size_t total = capture(pipefds[0], dst);
  close(pipefds[0]);
  reap(pid);
  if (total > kmaxcapture) {
    dst[0] = '\0';
    return -1;
  }
  dst[total] = '\0';
  return 0;
}
