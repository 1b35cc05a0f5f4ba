#pragma once
#include <string>
#include <vector>

#include "setup.h"

// The four files, as bits of a set.
enum FileBit : unsigned {
  kratebit = 1,
  ktodaybit = 2,
  kdaybit = 4,
  khistorybit = 8,
  kallfiles = 15,
};

// Tells which of the four files changed, from inotify watches on their
// directories (the daemon rewrites the rate and today files in place,
// replaces the day file by a rename and appends to the history, and a
// rename shows only in the directory). The events of a write are queued
// before the write returns, so a look after a write always sees it. Where
// a watch can't be set (no inotify, a missing directory, a file that is a
// symbolic link elsewhere), or a watched directory goes away, every look
// says that every file changed: the reader then reads them all each time.
// Not thread-safe: callers hold their own lock.
class FileFollower {
 public:
  explicit FileFollower(const FileSetup& setup);
  ~FileFollower();
  FileFollower(const FileFollower&) = delete;
  FileFollower& operator=(const FileFollower&) = delete;

  // The files that changed since the last look; every file at the first.
  unsigned changed();

  // Whether the files are followed (else every look names them all).
  bool following() const { return fd_ >= 0; }

 private:
  struct Watched {
    int watch;
    std::string name;
    FileBit bit;
  };

  bool watch(const std::string& path, FileBit bit);
  void stop();

  int fd_ = -1;
  bool first_ = true;
  std::vector<Watched> watched_;
};
