#pragma once
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "listingtext.h"

// A private directory with a copy of the daemon, its start-up script, a fake
// iptables first on PATH and a fake wall clock (libfaketime): the daemon runs
// for real, but its surroundings are the test's.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();

  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  // Writes the start-up script; standardscript() prints the usual six lines.
  void script(const std::string& body);
  void standardscript(const std::string& specs, const std::string& labels);

  // Queues rule lines that the fake iptables prints once for the chain.
  void queue(const std::string& chain, const std::string& rules);

  // Queues text that the fake iptables prints once for the chain before it
  // hangs; the hanging process's pid then appears in listings/hung.pid.
  void hang(const std::string& chain, const std::string& text);

  // Sets the wall clock seen by the next start ("2026-03-07 12:00:00"), or
  // moves the clock of a running daemon.
  void clock(const std::string& when);

  pid_t start();
  // The exit status, or -1 if the daemon still runs after the time-out.
  int wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  void signal(int number);
  bool running();

  std::string stdoutput() const { return read("stdout"); }
  std::string stderror() const { return read("stderr"); }
  std::string read(const std::string& name) const;
  void write(const std::string& name, const std::string& text) const;

  // Whether the process pid has ended (a zombie counts as ended), waiting up
  // to the time-out for it.
  static bool ended(pid_t pid, std::chrono::milliseconds timeout = std::chrono::seconds(2));

  // Polls until done() holds or the time-out passes.
  static bool waitfor(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10));

  std::map<std::string, std::string> environment;
  // Runs before the daemon, which it must exec as "$0" (e.g. unshare -m sh -c '...').
  std::vector<std::string> launcher;

 private:
  std::string dir_;
  pid_t pid_ = -1;
};

// The date of a whole day line, "[YYYY-MM-DD] " and items "label in out ", or
// "" when text is anything else (torn, doubled, or with a newline).
std::string dateofdayline(const std::string& text);
