#include "dayfiles.h"

#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>

#include "daylines.h"
#include "fiveminfile.h"
#include "iftable.h"
#include "pathclash.h"

namespace {

constexpr int kcreatemode = 0666;
constexpr off_t kfirsttail = 4096;

std::unique_ptr<char[]> linebuffer;
size_t linebuffercap = 0;
std::string persisttemppath;
std::string persistdirectory;

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

int openfortruncate(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kcreatemode);
}

// Makes a rename or a new file's entry durable, not only the file's contents.
void syncdirectoryat(const char* directory) {
  int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

void syncdirectory() {
  syncdirectoryat(persistdirectory.c_str());
}

std::string directoryof(const char* path) {
  std::string copy(path);
  return dirname(copy.data());
}

// A file the append creates needs its directory synced as well: after a power
// cut its entry, and so the line in it, could be gone.
int openforappend(const char* path, bool& created) {
  int fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
  created = fd < 0 && errno == ENOENT;
  if (created) fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kcreatemode);
  return fd;
}

// The new contents go to a temporary file in the same directory, reach the
// disk, and only then replace the old file: a crash, kill -9 or full disk
// leaves either the old file or the new one, never a torn one.
int replacepersistentfile(const char* data, size_t len) {
  const char* temp = persisttemppath.c_str();
  int fd = openfortruncate(temp);
  if (fd < 0) return -1;
  bool written = writeall(fd, data, len) && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && written) written = false, error = errno;
  if (written && rename(temp, outpersistentfileday) != 0) written = false, error = errno;
  if (!written) {
    errno = error;
    perror("failed to write to persistent file:");
    unlink(temp);
    return -2;
  }
  syncdirectory();
  return 0;
}

// One write, so the line is never split between calls; a short write on a
// regular file means the disk filled up.
bool writeonce(int fd, const char* data, size_t len) {
  ssize_t n;
  while ((n = write(fd, data, len)) < 0 && errno == EINTR) {
  }
  if (n >= 0 && static_cast<size_t>(n) != len) errno = ENOSPC;
  return n >= 0 && static_cast<size_t>(n) == len;
}

// The data goes in whole and reaches the disk, or the file is cut back to its
// old length: a full disk never leaves a torn line behind.
int appendwhole(const char* path, const char* data, size_t len, const char* what) {
  bool created = false;
  int fd = openforappend(path, created);
  if (fd < 0) return -1;
  struct stat before {};
  bool measured = fstat(fd, &before) == 0;
  bool appended = measured && writeonce(fd, data, len) && fsync(fd) == 0;
  if (!appended) {
    perror(what);
    if (measured && ftruncate(fd, before.st_size) == 0) fsync(fd);
  }
  close(fd);
  if (appended && created) syncdirectoryat(directoryof(path).c_str());
  return appended ? 0 : -1;
}

// A finished day exists nowhere else once the persistent file moves on.
int appendtovolumes(const char* data, size_t len) {
  return appendwhole(outdayvolumes, data, len, "failed to write to volumes file:");
}

// Where the torn last line of the file starts, -1 when it ends with a newline
// (or can't be read). Reads growing tails until a newline comes into view.
off_t tornlineoffset(int fd, off_t size) {
  std::string tail;
  for (off_t want = kfirsttail; size > 0; want *= 2) {
    off_t from = want < size ? size - want : 0;
    tail.resize(static_cast<size_t>(size - from));
    if (pread(fd, tail.data(), tail.size(), from) != static_cast<ssize_t>(tail.size())) return -1;
    size_t whole = completelength(tail);
    if (whole == tail.size()) return -1;
    if (whole > 0 || from == 0) return from + static_cast<off_t>(whole);
  }
  return -1;
}

// The fragment reaches the torn file before it leaves the history, so a
// crash in between keeps it twice rather than never.
int movetornline(int fd, off_t start, off_t size) {
  std::string fragment(static_cast<size_t>(size - start), '\0');
  if (pread(fd, fragment.data(), fragment.size(), start) != static_cast<ssize_t>(fragment.size()))
    return -1;
  fragment += '\n';
  std::string torn = tornhistorypath();
  if (appendwhole(torn.c_str(), fragment.data(), fragment.size(),
                  "failed to write to torn file:") != 0)
    return -1;
  if (ftruncate(fd, start) != 0 || fsync(fd) != 0) return -1;
  fprintf(stderr, "byteloom: %s ended in a torn line; moved its %zu bytes to %s\n", outdayvolumes,
          fragment.size() - 1, torn.c_str());
  return 0;
}

int readlastline(const char* path, std::string& line) {
  FILE* stream = fopen(path, "re");
  if (stream == nullptr) return -1;
  return getLastLineOfFile(stream, line);
}

// Files that share a path would destroy each other: a history at the
// temporary file's path, for one, is replaced by the first persist.
int refuseclashingpaths() {
  const RolePath paths[] = {
      {"rate file", resolvedpath(outfile)},
      {"today file", resolvedpath(outfileday)},
      {"persistent day file", resolvedpath(outpersistentfileday)},
      {"history file", resolvedpath(outdayvolumes)},
      {"persistent day file's temporary file", resolvedpath(persisttemppath)},
      {"history's torn-line file", resolvedpath(tornhistorypath())},
      {"five-minute file", resolvedpath(fiveminfilepath())},
      {"five-minute file's temporary file", resolvedpath(fivemintemppath())},
  };
  std::optional<std::pair<size_t, size_t>> clash = findclash(paths);
  if (!clash) return 0;
  const RolePath& first = paths[clash->first];
  fprintf(stderr, "byteloom: the %s and the %s are the same file: %s\n", first.role,
          paths[clash->second].role, first.path.c_str());
  return -1;
}

}  // namespace

int preparedayfiles() {
  linebuffercap = linebuffersize(iftable());
  linebuffer.reset(new (std::nothrow) char[linebuffercap]);
  persisttemppath = std::string(outpersistentfileday) + ".tmp";
  persistdirectory = directoryof(outpersistentfileday);
  return linebuffer && refuseclashingpaths() == 0 ? 0 : -1;
}

int saveratestofile() {
  int ratefd = openfortruncate(outfile);
  int todayfd = openfortruncate(outfileday);
  if (ratefd >= 0 && todayfd >= 0) {
    writeall(ratefd, linebuffer.get(), formatrates(linebuffer.get(), linebuffercap, iftable()));
    writeall(todayfd, linebuffer.get(), formattotals(linebuffer.get(), linebuffercap, iftable()));
  }
  if (ratefd >= 0) close(ratefd);
  if (todayfd >= 0) close(todayfd);
  return ratefd >= 0 && todayfd >= 0 ? 0 : -1;
}

int persisttodayvolume(tm date) {
  size_t len = formatdayline(linebuffer.get(), linebuffercap, date, iftable(), false);
  return replacepersistentfile(linebuffer.get(), len);
}

int savevolumes(tm date) {
  size_t len = formatdayline(linebuffer.get(), linebuffercap, date, iftable(), true);
  return appendtovolumes(linebuffer.get(), len);
}

int copypersistenttovolumes() {
  std::string line;
  if (readlastline(outpersistentfileday, line) != 0) return -1;
  line += '\n';
  return appendtovolumes(line.data(), line.size()) == 0 ? 0 : -2;
}

int loadpersistentvaluestoaccs() {
  std::string line;
  if (readlastline(outpersistentfileday, line) != 0) return -1;
  tm date{};
  size_t itemsstart = 0;
  if (int result = readdatestamp(line.c_str(), &date, &itemsstart); result != 0) return result;
  // Without the closing bracket nothing says where the items begin.
  if (itemsstart != knoitems)
    restoredaytotals(std::string_view(line).substr(itemsstart), iftable());
  return 0;
}

std::string tornhistorypath() {
  return std::string(outdayvolumes) + ".torn";
}

int repairvolumes() {
  int fd = open(outdayvolumes, O_RDWR | O_CLOEXEC);
  if (fd < 0) return 0;  // no history yet, or one the recovery can't read either
  off_t size = lseek(fd, 0, SEEK_END);
  off_t start = size > 0 ? tornlineoffset(fd, size) : -1;
  int result = start < 0 ? 0 : movetornline(fd, start, size);
  close(fd);
  return result;
}

int getpersistentfiledate(tm* date) {
  FILE* stream = fopen(outpersistentfileday, "re");
  if (stream == nullptr) return -1;
  char* line = nullptr;
  size_t cap = 0;
  ssize_t len = getline(&line, &cap, stream);
  fclose(stream);
  size_t itemsstart = 0;
  int result = len <= 0 ? -2 : readdatestamp(line, date, &itemsstart);
  free(line);
  return result;
}

int getvolumesdate(tm* date) {
  std::string line;
  if (readlastline(outdayvolumes, line) != 0) return -1;
  size_t itemsstart = 0;
  return readdatestamp(line.c_str(), date, &itemsstart);
}

// Reads growing tails from the end until the last line starts inside one, so
// a long history costs no more than its last line.
int getLastLineOfFile(FILE* stream, std::string& line) {
  line.clear();
  off_t size = fseeko(stream, 0, SEEK_END) == 0 ? ftello(stream) : 0;
  std::string tail;
  for (off_t want = kfirsttail; size > 0; want *= 2) {
    off_t from = want < size ? size - want : 0;
    tail.resize(static_cast<size_t>(size - from));
    if (fseeko(stream, from, SEEK_SET) != 0) break;
    tail.resize(fread(tail.data(), 1, tail.size(), stream));
    std::string_view last = lastline(tail);
    if (from == 0 || (!last.empty() && last.data() > tail.data())) {
      line.assign(last);
      break;
    }
  }
  fclose(stream);
  return 0;
}
