#include "openfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {

// Coarse monotonic seconds: read from the vDSO, no system call.
int64_t coarsenow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return now.tv_sec;
}

std::string cannotread(int error) {
  return std::string("cannot read: ") + strerror(error);
}

}  // namespace

OpenFile::~OpenFile() {
  if (fd_ >= 0) close(fd_);
}

// Whether the open descriptor may still be the file at the path.
bool OpenFile::current() {
  if (fd_ < 0) return false;
  int64_t now = coarsenow();
  if (checked_.exchange(now) == now) return true;
  std::optional<FileStamp> atpath = stampfile(path_);
  if (atpath && atpath->device == opened_.device && atpath->inode == opened_.inode) return true;
  checked_ = -1;  // so that the check under the exclusive lock looks again
  return false;
}

bool OpenFile::reopen(Problems& problems) {
  if (fd_ >= 0) close(fd_);
  fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd_ < 0 || fstat(fd_, &info) != 0) {
    problems.push_back({path_, 0, cannotread(errno)});
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    return false;
  }
  opened_ = stampof(info);
  checked_ = coarsenow();
  return true;
}

std::optional<std::string> OpenFile::read(Problems& problems, FileStamp* stamp) {
  {
    std::shared_lock shared(lock_);
    if (!current()) {
      shared.unlock();
      std::unique_lock exclusive(lock_);
      if (!current() && !reopen(problems)) return std::nullopt;
    }
  }
  std::shared_lock shared(lock_);
  struct stat info {};
  if (stamp && fstat(fd_, &info) == 0) *stamp = stampof(info);
  // Room past the last size seen: a short read then means the end.
  std::string text(4096 + static_cast<size_t>(stamp ? info.st_size : 0), '\0');
  size_t have = 0;
  for (;;) {
    ssize_t got = pread(fd_, text.data() + have, text.size() - have, static_cast<off_t>(have));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      problems.push_back({path_, 0, cannotread(errno)});
      return std::nullopt;
    }
    have += static_cast<size_t>(got);
    if (got == 0 || have < text.size()) break;
    text.resize(text.size() * 2);
  }
  text.resize(have);
  return text;
}
