#include "sandbox.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "testlib.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::vector<std::string> mergedenvironment(const std::map<std::string, std::string>& overrides) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    size_t equals = text.find('=');
    if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [key, value] : overrides) merged[key] = value;
  std::vector<std::string> result;
  for (const auto& [key, value] : merged) result.push_back(key + "=" + value);
  return result;
}

}  // namespace

namespace {

// Every sandbox runs the daemon under a fake wall clock. Without libfaketime
// the tests of a program that makes sandboxes are skipped, not failed.
class FaketimeCheck : public ::testing::Environment {
 public:
  void SetUp() override {
    if (std::string(FAKETIME_LIBRARY).empty())
      GTEST_SKIP() << "libfaketime not found (install the faketime package)";
  }
};

const auto* kfaketimecheck = ::testing::AddGlobalTestEnvironment(new FaketimeCheck);

}  // namespace

Sandbox::Sandbox() {
  char pattern[] = "/tmp/byteloom-system-XXXXXX";
  dir_ = mkdtemp(pattern);
  fs::create_directories(path("bin"));
  fs::create_directories(path("listings"));
  fs::copy_file(BYTELOOM_BINARY, path("byteloom"));
  fs::copy_file(FAKE_IPTABLES, path("bin/iptables"));
  // ip6tables too: the host's own must never be listed, let alone zeroed.
  fs::copy_file(FAKE_IPTABLES, path("bin/ip6tables"));
  clock("2026-03-07 12:00:00");
  environment = {
      {"PATH", path("bin") + ":/usr/sbin:/usr/bin:/sbin:/bin"},
      {"TZ", "UTC"},
      {"LD_PRELOAD", FAKETIME_LIBRARY},
      {"FAKETIME_TIMESTAMP_FILE", path("clock")},
      {"FAKETIME_NO_CACHE", "1"},
      {"FAKETIME_DONT_FAKE_MONOTONIC", "1"},
      // A sanitized daemon runs with libfaketime preloaded ahead of its runtime.
      {"ASAN_OPTIONS", "verify_asan_link_order=0"},
  };
}

Sandbox::~Sandbox() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  fs::remove_all(dir_);
}

void Sandbox::script(const std::string& body) {
  write("getbyteloomheaders.sh", "#!/bin/sh\n" + body);
  chmod(path("getbyteloomheaders.sh").c_str(), 0755);
}

void Sandbox::standardscript(const std::string& specs, const std::string& labels) {
  script("echo '" + specs + "'\necho " + path("rate") + "\necho " + path("today") + "\necho " +
         path("day") + "\necho " + path("history") + "\necho '" + labels + "'\n");
}

void Sandbox::queue(const std::string& chain, const std::string& rules) {
  write("listings/." + chain, rules);
  // Renamed into place, so the fake never serves half a file.
  fs::rename(path("listings/." + chain), path("listings/" + chain));
}

void Sandbox::hang(const std::string& chain, const std::string& text) {
  queue(chain + ".hang", text);
}

void Sandbox::clock(const std::string& when) {
  write("clock.new", "@" + when + "\n");
  fs::rename(path("clock.new"), path("clock"));
}

pid_t Sandbox::start() {
  std::vector<std::string> env = mergedenvironment(environment);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string binary = path("byteloom");
  pid_ = fork();
  if (pid_ == 0) {
    int out = open(path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    chdir("/");
    std::vector<char*> argv;
    for (std::string& word : launcher) argv.push_back(word.data());
    argv.push_back(binary.data());
    argv.push_back(nullptr);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return pid_;
}

int Sandbox::wait(std::chrono::milliseconds timeout) {
  int status = 0;
  bool ended = waitfor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
  if (!ended) return -1;
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void Sandbox::signal(int number) {
  kill(pid_, number);
}

bool Sandbox::running() {
  return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
}

std::string Sandbox::read(const std::string& name) const {
  return readtext(path(name));
}

void Sandbox::write(const std::string& name, const std::string& text) const {
  writetext(path(name), text);
}

bool Sandbox::waitfor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  return ::waitfor(done, timeout);
}

bool Sandbox::ended(pid_t pid, std::chrono::milliseconds timeout) {
  return processended(pid, timeout);
}

namespace {

bool isnumber(const std::string& word) {
  size_t start = !word.empty() && word[0] == '-' ? 1 : 0;
  return word.size() > start && word.find_first_not_of("0123456789", start) == std::string::npos;
}

}  // namespace

std::string dateofdayline(const std::string& text) {
  const std::string shape = "[dddd-dd-dd] ";
  if (text.size() < shape.size()) return "";
  for (size_t i = 0; i < shape.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return "";
  }
  std::istringstream items(text.substr(shape.size()));
  std::string rebuilt, label, in, out;
  while (items >> label >> in >> out) {
    if (!isnumber(in) || !isnumber(out)) return "";
    rebuilt += label + " " + in + " " + out + " ";
  }
  if (rebuilt != text.substr(shape.size())) return "";
  return text.substr(1, 10);
}
