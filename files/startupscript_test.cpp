#include "startupscript.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>

#include "ifrecord.h"
#include "setup.h"
#include "testlib.h"

namespace {

std::string script(const TempDir& dir, const std::string& body) {
  std::string path = dir.path("getbyteloomheaders.sh");
  writetext(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
  return path;
}

TEST(StartupScript, OutputErrorsAndTheConfiguration) {
  TempDir dir;
  std::string path =
      script(dir, "echo \"conf=$BYTELOOM_CONF\"\necho 'bad \033[2J' >&2\necho two >&2\n");
  ScriptRun run = runstartupscript(path, std::string("/etc/x.conf"));
  ASSERT_TRUE(run.output) << run.error;
  EXPECT_EQ("conf=/etc/x.conf\n", *run.output);
  EXPECT_EQ((std::vector<std::string>{"bad \033[2J", "two"}), run.errors);
  run = runstartupscript(path, std::nullopt);
  ASSERT_TRUE(run.output);
  EXPECT_EQ("conf=" + std::string(getenv("BYTELOOM_CONF") ? getenv("BYTELOOM_CONF") : "") + "\n",
            *run.output);
}

// A hung script is killed with everything it started, within the bound.
TEST(StartupScript, AHangKillsTheWholeGroup) {
  TempDir dir;
  std::string path = script(dir, "sleep 30 & echo $! > " + dir.path("child") + "\nsleep 30\n");
  auto start = std::chrono::steady_clock::now();
  ScriptRun run = runstartupscript(path, std::nullopt, std::chrono::milliseconds(300));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(run.output);
  EXPECT_NE(std::string::npos, run.error.find("did not finish within 300 ms")) << run.error;
  ASSERT_TRUE(waitfor([&] { return !readtext(dir.path("child")).empty(); }));
  EXPECT_TRUE(processended(std::stoi(readtext(dir.path("child")))));
}

// The script gets the signals a shell would give it, whatever this program
// blocks or ignores.
TEST(StartupScript, SignalsAsAShellGivesThem) {
  TempDir dir;
  sigset_t blocked, old;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &blocked, &old);
  auto previous = signal(SIGPIPE, SIG_IGN);
  ScriptRun run =
      runstartupscript(script(dir, "grep -E '^Sig(Blk|Ign)' /proc/self/status\n"), std::nullopt);
  signal(SIGPIPE, previous);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ASSERT_TRUE(run.output) << run.error;
  EXPECT_NE(std::string::npos, run.output->find("SigBlk:\t0000000000000000")) << *run.output;
  // SIGPIPE is signal 13: bit 12 of the ignored set.
  size_t ignored = run.output->find("SigIgn:\t");
  ASSERT_NE(std::string::npos, ignored);
  EXPECT_EQ(0u, std::stoull(run.output->substr(ignored + 8, 16), nullptr, 16) & (1u << 12))
      << *run.output;
}

TEST(StartupScript, TooMuchNothingOrNotRunnable) {
  TempDir dir;
  std::string exact = "head -c " + std::to_string(kcapturesize - 2) + " /dev/zero | tr '\\0' x\n";
  EXPECT_TRUE(runstartupscript(script(dir, exact), std::nullopt).output);
  std::string over = "head -c " + std::to_string(kcapturesize - 1) + " /dev/zero | tr '\\0' x\n";
  ScriptRun run = runstartupscript(script(dir, over), std::nullopt);
  EXPECT_FALSE(run.output);
  EXPECT_NE(std::string::npos, run.error.find("printed more than 16382 characters"));
  run = runstartupscript(script(dir, "exit 0\n"), std::nullopt);
  EXPECT_NE(std::string::npos, run.error.find("printed nothing"));
  run = runstartupscript(dir.path("none"), std::nullopt);
  EXPECT_FALSE(run.output);
  EXPECT_NE(std::string::npos, run.error.find("cannot run the start-up script"));
}

TEST(Setup, OptionsNamedOnceAndPathsOverrideTheScript) {
  TempDir dir;
  SetupRequest request;
  EXPECT_TRUE(applysetupoption(request, "--startup-script",
                               script(dir, "printf 'eth0 eth1\\n/r\\n/t\\n/d\\n/h\\nwan\\n'\n")));
  EXPECT_TRUE(applysetupoption(request, "--day-file", "/elsewhere"));
  EXPECT_FALSE(applysetupoption(request, "--days", "7"));
  std::string error;
  std::vector<std::string> errors;
  std::optional<FileSetup> setup = findsetup(request, error, errors);
  ASSERT_TRUE(setup) << error;
  EXPECT_EQ((std::vector<std::string>{"wan", "UNKNOWN-1"}), setup->labels);
  EXPECT_EQ("/r", setup->ratefile);
  EXPECT_EQ("/elsewhere", setup->dayfile);
  // With all four paths and no script named, no script runs: no labels.
  SetupRequest paths{std::nullopt, std::nullopt, "/r", "/t", "/d", "/h"};
  setup = findsetup(paths, error, errors);
  ASSERT_TRUE(setup) << error;
  EXPECT_TRUE(setup->labels.empty());
}

}  // namespace
