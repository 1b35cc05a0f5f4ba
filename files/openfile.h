#pragma once
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>

#include "problems.h"
#include "readfile.h"

// A file the daemon rewrites in place every second, kept open: a read is one
// pread from its start. The path is looked up again at most once a second,
// and at once after a failure, so a file replaced (or created late) is
// followed. Safe to read from several threads.
class OpenFile {
 public:
  explicit OpenFile(std::string path) : path_(std::move(path)) {}
  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  // The whole file and, when asked for, its stamp; nullopt with a problem
  // when it can't be read.
  std::optional<std::string> read(Problems& problems, FileStamp* stamp = nullptr);

  const std::string& path() const { return path_; }

 private:
  bool current();
  bool reopen(Problems& problems);

  std::string path_;
  std::shared_mutex lock_;
  int fd_ = -1;
  FileStamp opened_;
  std::atomic<int64_t> checked_ = -1;  // coarse monotonic second of the last look-up
};
