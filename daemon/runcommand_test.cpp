#include "runcommand.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::string printing(size_t characters) {
  return "head -c " + std::to_string(characters) + " /dev/zero | tr '\\0' x";
}

TEST(Capture, KeepsEverythingUpToTheLimit) {
  char dst[CAPTURESIZE];
  ASSERT_EQ(0, runcommand(printing(16382).c_str(), dst));
  EXPECT_EQ(16382u, strlen(dst));
  EXPECT_EQ(-1, runcommand(printing(16383).c_str(), dst));
  EXPECT_EQ(-1, runcommand(printing(100000).c_str(), dst));
}

TEST(Capture, LongLinesArriveWhole) {
  char dst[CAPTURESIZE];
  ASSERT_EQ(0, runcommand("printf 'a%0300db\\n\\nc'", dst));
  EXPECT_EQ("a" + std::string(300, '0') + "b\n\nc", std::string(dst));
}

TEST(Capture, IgnoresStandardErrorAndExitStatus) {
  char dst[CAPTURESIZE];
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
  char dst[CAPTURESIZE];
  int result = runcommand("echo first; sleep 0.7; echo second", dst);
  interrupter.join();
  EXPECT_EQ(0, result);
  EXPECT_STREQ("first\nsecond\n", dst);
}

}  // namespace
