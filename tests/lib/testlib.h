#pragma once
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

// What unit and system tests share: a temporary directory, whole files, and
// waits for a condition or a process.

// A private directory under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "byteloom-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

// The whole file ("" when it can't be read).
std::string readtext(const std::string& path);

// Writes text as the whole file.
void writetext(const std::string& path, const std::string& text);

// Writes text to path.new and renames it over path, as a daemon replaces a
// file, so no reader ever sees it half-written.
void replacetext(const std::string& path, const std::string& text);

// Polls until done() holds or the time-out passes; false on the time-out.
bool waitfor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Whether the process pid has ended (a zombie counts as ended), waiting up
// to the time-out for it.
bool processended(pid_t pid, std::chrono::milliseconds timeout = std::chrono::seconds(2));
