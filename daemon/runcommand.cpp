#include "runcommand.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <limits>

#include "daylines.h"
#include "monotonic.h"

extern char** environ;

namespace {

constexpr size_t kmaxcapture = kcapturesize - 2;
constexpr int64_t knever = std::numeric_limits<int64_t>::max();
constexpr int64_t kslicens = 100'000'000;  // how long a wait goes without looking at the stop flag
constexpr long kmaxpausens = 20'000'000;

// The group of the command being captured, for the termination handler.
volatile sig_atomic_t commandgroup = 0;

// The child runs in a process group of its own, so a Ctrl-C meant for the
// daemon can't kill iptables between zeroing a chain and printing it, and so
// a stuck command can be killed with everything it started.
pid_t spawnshell(const char* command, int stdoutfd, const sigset_t& childmask) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, stdoutfd, STDOUT_FILENO);
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setsigmask(&attributes, &childmask);
  const char* argv[] = {"sh", "-c", command, nullptr};
  pid_t pid = -1;
  int failed =
      posix_spawn(&pid, "/bin/sh", &actions, &attributes, const_cast<char**>(argv), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

// Termination signals wait until the group is recorded, so the handler never
// misses a child that has just been started.
pid_t startcommand(const char* command, int stdoutfd) {
  sigset_t termination, previous;
  sigemptyset(&termination);
  sigaddset(&termination, SIGTERM);
  sigaddset(&termination, SIGINT);
  sigprocmask(SIG_BLOCK, &termination, &previous);
  pid_t pid = spawnshell(command, stdoutfd, previous);
  commandgroup = pid > 0 ? pid : 0;
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  return pid;
}

// The time left to a capture's deadline, as the clock and the stop flag move.
class Deadline {
 public:
  explicit Deadline(const CaptureLimits& limits) : limits_(limits), started_(monotonicns()) {}

  // Milliseconds to wait before looking again; 0 once the deadline has passed.
  int wait() {
    int64_t clock = monotonicns();
    if (stopped_ < 0 && limits_.stop != nullptr && *limits_.stop) stopped_ = clock;
    int64_t left = capturedeadline(started_, stopped_, limits_) - clock;
    if (left <= 0) return 0;
    return static_cast<int>((std::min(left, kslicens) + 999'999) / 1'000'000);
  }

  CaptureEnd cut() const { return stopped_ >= 0 ? CaptureEnd::stopped : CaptureEnd::timedout; }

 private:
  const CaptureLimits& limits_;
  int64_t started_;
  int64_t stopped_ = -1;
};

// Reads to end of file. A signal only interrupts a wait, which then looks at
// the deadline: a termination never cuts a listing short before its grace ends.
CaptureEnd capture(int fd, char* dst, size_t& total, Deadline& deadline) {
  total = 0;
  for (int wait; (wait = deadline.wait()) > 0;) {
    pollfd readable{fd, POLLIN, 0};
    int ready = poll(&readable, 1, wait);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    ssize_t n = ready < 0 ? -1 : read(fd, dst + total, kmaxcapture + 1 - total);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return CaptureEnd::whole;  // end of file, or an error that ends the capture
    total += static_cast<size_t>(n);
    if (total > kmaxcapture) return CaptureEnd::overflow;
  }
  return deadline.cut();
}

// Whether the child has ended: reaped now, or none to reap because SIGCHLD is
// ignored (a disposition inherited from whoever started the daemon), which
// makes the kernel reap it at once.
bool reaped(pid_t pid) {
  pid_t result = waitpid(pid, nullptr, WNOHANG);
  return result == pid || (result < 0 && errno == ECHILD);
}

// Without a pidfd (a kernel before 5.3, or a filter that refuses the call)
// the wait polls, backing off from 1 ms so that a shell that hangs on after
// its output costs a few wakeups, not one a millisecond.
bool pollexit(pid_t pid, Deadline& deadline) {
  long pausens = 1'000'000;
  for (int wait; (wait = deadline.wait()) > 0;) {
    if (reaped(pid)) return true;
    long capns = static_cast<long>(wait) * 1'000'000;
    timespec pause{0, std::min(pausens, capns)};
    nanosleep(&pause, nullptr);
    pausens = std::min(pausens * 2, kmaxpausens);
  }
  return false;
}

// Waits for the shell's exit, which follows its end of output at once unless
// it closed its output and hangs on. The pidfd turns readable when the child
// has ended, so the wait blocks, bounded by the same deadline as the capture.
bool awaitexit(pid_t pid, Deadline& deadline) {
  if (reaped(pid)) return true;
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0) return errno == ESRCH || pollexit(pid, deadline);
  bool exited = false;
  for (int wait; !exited && (wait = deadline.wait()) > 0;) {
    pollfd child{pidfd, POLLIN, 0};
    exited = poll(&child, 1, wait) > 0;
  }
  close(pidfd);
  if (exited) reaped(pid);
  return exited;
}

void killandreap(pid_t pid) {
  kill(-pid, SIGKILL);
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

int64_t capturedeadline(int64_t started, int64_t stopped, const CaptureLimits& limits) {
  int64_t deadline = limits.timeoutns > 0 ? started + limits.timeoutns : knever;
  if (stopped >= 0) deadline = std::min(deadline, stopped + limits.gracens);
  return deadline;
}

void killcommand() {
  if (commandgroup > 0) kill(-commandgroup, SIGKILL);
}

CaptureEnd capturecommand(const char* command, char* dst, const CaptureLimits& limits) {
  dst[0] = '\0';
  int pipefds[2];
  if (pipe2(pipefds, O_CLOEXEC) != 0) return CaptureEnd::failed;
  pid_t pid = startcommand(command, pipefds[1]);
  close(pipefds[1]);
  if (pid < 0) {
    close(pipefds[0]);
    return CaptureEnd::failed;
  }
  Deadline deadline(limits);
  size_t total = 0;
  CaptureEnd end = capture(pipefds[0], dst, total, deadline);
  close(pipefds[0]);
  if (end == CaptureEnd::whole && !awaitexit(pid, deadline)) end = deadline.cut();
  if (end != CaptureEnd::whole) killandreap(pid);
  commandgroup = 0;
  if (end == CaptureEnd::overflow) total = 0;
  if (end == CaptureEnd::timedout || end == CaptureEnd::stopped)
    total = completelength(std::string_view(dst, total));
  dst[total] = '\0';
  return end;
}

int runcommand(const char* command, char* dst) {
  return capturecommand(command, dst, CaptureLimits{}) == CaptureEnd::whole ? 0 : -1;
}
