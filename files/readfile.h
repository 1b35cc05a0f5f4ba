#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "dayitems.h"
#include "problems.h"

// What identifies a version of a file without reading it.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  int64_t mtimens = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of what fstat or stat filled in.
FileStamp stampof(const struct stat& info);

// The stamp of the file at path, or nullopt (errno set) when it can't be stat'ed.
std::optional<FileStamp> stampfile(const std::string& path);

// The modification time of a stamp, in seconds since the epoch.
double mtimeseconds(const FileStamp& stamp);

// The whole file and, when asked for, its stamp; nullopt with a problem
// naming it when it can't be read (a directory can't).
std::optional<std::string> readfile(const std::string& path, Problems& problems,
                                    FileStamp* stamp = nullptr);

// Reads the file at path into scanner a block at a time, in whole lines, so
// the memory stays small however long the history grows; false, with a
// problem naming it, when it can't be read.
bool scanfile(const std::string& path, HistoryScanner& scanner, Problems& problems);
