#include "runcommand.h"

#include <gtest/gtest.h>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <thread>

namespace {

std::string printing(size_t characters) {
  return "head -c " + std::to_string(characters) + " /dev/zero | tr '\\0' x";
}

TEST(Capture, KeepsEverythingUpToTheLimit) {
  char dst[kcapturesize];
  ASSERT_EQ(0, runcommand(printing(16382).c_str(), dst));
  EXPECT_EQ(16382u, strlen(dst));
  EXPECT_EQ(-1, runcommand(printing(16383).c_str(), dst));
  EXPECT_EQ(-1, runcommand(printing(100000).c_str(), dst));
}

TEST(Capture, LongLinesArriveWhole) {
  char dst[kcapturesize];
  ASSERT_EQ(0, runcommand("printf 'a%0300db\\n\\nc'", dst));
  EXPECT_EQ("a" + std::string(300, '0') + "b\n\nc", std::string(dst));
}

TEST(Capture, IgnoresStandardErrorAndExitStatus) {
  char dst[kcapturesize];
  ASSERT_EQ(0, runcommand("echo out; echo err >&2; exit 3", dst));
  EXPECT_STREQ("out\n", dst);
  ASSERT_EQ(0, runcommand("/nonexistent/script.sh 2>/dev/null", dst));
  EXPECT_STREQ("", dst);
}

void nothing(int) {}

// A termination signal during the capture must not cut the output short.
TEST(Capture, ResumesAReadInterruptedByASignal) {
  struct sigaction handler {};
  handler.sa_handler = nothing;  // no SA_RESTART, as the daemon arms it
  sigaction(SIGUSR1, &handler, nullptr);
  pthread_t reader = pthread_self();
  std::thread interrupter([reader] {
    for (int i = 0; i < 5; ++i) {
      usleep(100'000);
      pthread_kill(reader, SIGUSR1);
    }
  });
  char dst[kcapturesize];
  int result = runcommand("echo first; sleep 0.7; echo second", dst);
  interrupter.join();
  EXPECT_EQ(0, result);
  EXPECT_STREQ("first\nsecond\n", dst);
}

// A process that has ended is gone or a zombie waiting for its reaper.
bool alive(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pidtext, name, state;
  return stat >> pidtext >> name >> state && state != "Z";
}

bool waitgone(pid_t pid) {
  for (int i = 0; i < 100 && alive(pid); ++i) usleep(20'000);
  return !alive(pid);
}

pid_t readpid(const std::string& path) {
  pid_t pid = 0;
  std::ifstream(path) >> pid;
  return pid;
}

class StuckCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/stuckXXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Prints two whole lines and half a third, then hangs in a grandchild that
  // holds the output open.
  std::string hanging() const {
    return "printf 'one\\ntwo\\nhal'; sleep 30 & echo $! > " + dir_ + "/sleeper; wait";
  }

  std::string dir_;
};

TEST_F(StuckCommand, IsKilledWithItsGroupAtTheTimeOutAndKeepsItsWholeLines) {
  char dst[kcapturesize];
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(CaptureEnd::timedout,
            capturecommand(hanging().c_str(), dst, {300'000'000, 0, nullptr}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_STREQ("one\ntwo\n", dst);
  pid_t sleeper = readpid(dir_ + "/sleeper");
  ASSERT_GT(sleeper, 0);
  EXPECT_TRUE(waitgone(sleeper)) << "the hanging grandchild outlived the capture";
}

TEST_F(StuckCommand, AStopRequestEndsItAfterTheGrace) {
  volatile sig_atomic_t stop = 0;
  std::thread requester([&stop] {
    usleep(200'000);
    stop = 1;
  });
  char dst[kcapturesize];
  auto started = std::chrono::steady_clock::now();
  CaptureEnd end = capturecommand(hanging().c_str(), dst, {60'000'000'000, 300'000'000, &stop});
  auto took = std::chrono::steady_clock::now() - started;
  requester.join();
  EXPECT_EQ(CaptureEnd::stopped, end);
  EXPECT_GE(took, std::chrono::milliseconds(500));
  EXPECT_LT(took, std::chrono::milliseconds(1000));
  EXPECT_STREQ("one\ntwo\n", dst);
  // A command that ends within the grace is captured whole.
  stop = 1;
  EXPECT_EQ(CaptureEnd::whole,
            capturecommand("sleep 0.1; echo late", dst, {60'000'000'000, 300'000'000, &stop}));
  EXPECT_STREQ("late\n", dst);
}

TEST_F(StuckCommand, AShellThatClosedItsOutputIsStillBounded) {
  char dst[kcapturesize];
  std::string command = "echo done; exec >&-; sleep 30";
  EXPECT_EQ(CaptureEnd::timedout, capturecommand(command.c_str(), dst, {300'000'000, 0, nullptr}));
  EXPECT_STREQ("done\n", dst);
}

long voluntaryswitches() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw;
}

// Runs a capture of a shell that runs on after closing its output (bash
// running its last command itself does): 0 when it was waited for whole
// and without waking every millisecond, else a code that says what failed.
int awaitoutlivingshell() {
  char dst[kcapturesize];
  long before = voluntaryswitches();
  auto started = std::chrono::steady_clock::now();
  CaptureEnd end =
      capturecommand("echo done; exec >&-; sleep 0.4", dst, {5'000'000'000, 0, nullptr});
  auto took = std::chrono::steady_clock::now() - started;
  long wakeups = voluntaryswitches() - before;
  if (end != CaptureEnd::whole || strcmp(dst, "done\n") != 0) return 1;
  if (took < std::chrono::milliseconds(400)) return 2;
  if (wakeups >= 40) fprintf(stderr, "woke %ld times while the shell ran on\n", wakeups);
  return wakeups < 40 ? 0 : 3;
}

TEST(Capture, WaitsForAShellThatOutlivesItsOutputWithoutPolling) {
  EXPECT_EQ(0, awaitoutlivingshell());
}

// Where pidfd_open is refused (an old kernel, a system call filter) the wait
// falls back to polling that backs off.
TEST(Capture, WaitsWithoutAPidfdToo) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sock_filter refusepidfd[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_pidfd_open, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(refusepidfd)), refusepidfd};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
      _exit(4);
    if (syscall(SYS_pidfd_open, getpid(), 0) >= 0 || errno != ENOSYS) _exit(5);
    _exit(awaitoutlivingshell());
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
}

// With SIGCHLD ignored (a disposition inherited from whoever started the
// daemon) the kernel reaps the shell itself: its end is seen when it comes,
// not at the time-out.
TEST(Capture, ChildrenTheKernelReapsEndWhenTheyEnd) {
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGCHLD, &ignore, &previous);
  for (const char* command : {"echo x", "echo x; exec >&-; sleep 0.2"}) {
    char dst[kcapturesize];
    auto started = std::chrono::steady_clock::now();
    CaptureEnd end = capturecommand(command, dst, {3'000'000'000, 0, nullptr});
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(CaptureEnd::whole, end) << command;
    EXPECT_STREQ("x\n", dst);
    EXPECT_LT(took, std::chrono::seconds(1)) << command;
  }
  sigaction(SIGCHLD, &previous, nullptr);
}

TEST(CaptureDeadline, TimeOutOrGraceAfterAStopWhicheverComesFirst) {
  const CaptureLimits limits{5'000, 600, nullptr};
  EXPECT_EQ(6'000, capturedeadline(1'000, -1, limits));
  EXPECT_EQ(2'600, capturedeadline(1'000, 2'000, limits));
  EXPECT_EQ(6'000, capturedeadline(1'000, 5'900, limits));
  const CaptureLimits unbounded{};
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), capturedeadline(1'000, -1, unbounded));
  EXPECT_EQ(2'000, capturedeadline(1'000, 2'000, unbounded));
}

}  // namespace
