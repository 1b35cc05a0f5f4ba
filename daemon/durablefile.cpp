#include "durablefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kcreatemode = 0666;

bool writeall(int fd, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = write(fd, data, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

// One write, so the data is never split between calls; a short write on a
// regular file means the disk filled up.
bool writeonce(int fd, const char* data, size_t len) {
  ssize_t n;
  while ((n = write(fd, data, len)) < 0 && errno == EINTR) {
  }
  if (n >= 0 && static_cast<size_t>(n) != len) errno = ENOSPC;
  return n >= 0 && static_cast<size_t>(n) == len;
}

// Makes a rename or a new file's entry durable, not only the file's contents.
// The directory's name is cut from path on the stack: no allocation.
void syncdirectoryof(const char* path) {
  char directory[PATH_MAX];
  const char* slash = strrchr(path, '/');
  size_t len = slash == nullptr ? 0 : static_cast<size_t>(slash - path);
  if (slash == nullptr) {
    strcpy(directory, ".");
  } else if (len == 0) {
    strcpy(directory, "/");
  } else {
    if (len >= sizeof directory) return;
    memcpy(directory, path, len);
    directory[len] = '\0';
  }
  int saved = errno;
  int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  errno = saved;
}

// A file the append creates needs its directory synced as well: after a power
// cut its entry, and so the data in it, could be gone.
int openforappend(const char* path, bool& created) {
  int fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
  created = fd < 0 && errno == ENOENT;
  if (created) fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kcreatemode);
  return fd;
}

}  // namespace

// The new contents reach the disk under the temporary name and only then
// replace the old file: a crash, kill -9 or full disk leaves either the old
// file or the new one, never a torn one.
int replacedurably(const char* path, const char* temppath, const char* data, size_t len) {
  int fd = open(temppath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kcreatemode);
  if (fd < 0) return -1;
  bool written = writeall(fd, data, len) && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && written) written = false, error = errno;
  if (written && rename(temppath, path) != 0) written = false, error = errno;
  if (!written) {
    unlink(temppath);
    errno = error;
    return -2;
  }
  syncdirectoryof(path);
  return 0;
}

// The data goes in whole and reaches the disk, or the file is cut back to its
// old length: a full disk never leaves a torn line behind.
int appenddurably(const char* path, const char* data, size_t len) {
  bool created = false;
  int fd = openforappend(path, created);
  if (fd < 0) return -1;
  struct stat before {};
  bool measured = fstat(fd, &before) == 0;
  bool appended = measured && writeonce(fd, data, len) && fsync(fd) == 0;
  int error = errno;
  // A file the append created goes again: it was absent before.
  if (!appended && created) unlink(path);
  if (!appended && !created && measured && ftruncate(fd, before.st_size) == 0) fsync(fd);
  close(fd);
  if (appended && created) syncdirectoryof(path);
  errno = error;
  return appended ? 0 : -1;
}
