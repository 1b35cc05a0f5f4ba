#include "dayfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>

#include "daylines.h"
#include "durablefile.h"
#include "iftable.h"
#include "ownfiles.h"

namespace {

constexpr int kcreatemode = 0666;
constexpr off_t kfirsttail = 4096;

std::unique_ptr<char[]> linebuffer;
size_t linebuffercap = 0;
std::string persisttemppath;

int openfortruncate(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kcreatemode);
}

// A crash, kill -9 or full disk leaves either the old file or the new one,
// never a torn one.
int replacepersistentfile(const char* data, size_t len) {
  int result = replacedurably(outpersistentfileday, persisttemppath.c_str(), data, len);
  if (result == -2) perror("failed to write to persistent file:");
  return result;
}

// The data goes in whole and reaches the disk, or the file is cut back to its
// old length: a full disk never leaves a torn line behind.
int appendwhole(const char* path, const char* data, size_t len, const char* what) {
  bool opened = false;
  int result = appenddurably(path, data, len, opened);
  if (result != 0 && opened) perror(what);
  return result;
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

// The persistent day file's line, the same one for its date, its totals and
// its archiving: 0, -1 can't open, -2 no line. A file that holds more is said
// once on standard error; only its line is the stored day.
int readdayfile(std::string& line) {
  FILE* stream = fopen(outpersistentfileday, "re");
  if (stream == nullptr) return -1;
  std::string text;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, stream)) > 0;) text.append(chunk, n);
  fclose(stream);
  NumberedLine found = firstfilledline(text);
  line.assign(found.text);
  if (found.number == 0) return -2;
  std::string_view after = std::string_view(text).substr(
      static_cast<size_t>(found.text.data() + found.text.size() - text.data()));
  static bool toldmore = false;
  if (firstfilledline(after).number != 0 && !toldmore) {
    toldmore = true;
    fprintf(stderr, "byteloom: %s holds more than one line; its day is line %zu\n",
            outpersistentfileday, found.number);
  }
  return 0;
}

}  // namespace

int preparedayfiles() {
  linebuffercap = linebuffersize(iftable());
  linebuffer.reset(new (std::nothrow) char[linebuffercap]);
  persisttemppath = besidepath(Beside::day, kdaytempsuffix);
  return linebuffer ? 0 : -1;
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
  if (readdayfile(line) != 0) return -1;
  line += '\n';
  return appendtovolumes(line.data(), line.size()) == 0 ? 0 : -2;
}

int loadpersistentvaluestoaccs() {
  std::string line;
  if (int result = readdayfile(line); result != 0) return result;
  tm date{};
  size_t itemsstart = 0;
  if (int result = readdatestamp(line.c_str(), &date, &itemsstart); result != 0) return result;
  // Without the closing bracket nothing says where the items begin.
  if (itemsstart != knoitems)
    restoredaytotals(std::string_view(line).substr(itemsstart), iftable());
  return 0;
}

std::string tornhistorypath() {
  return besidepath(Beside::history, ktornsuffix);
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
  std::string line;
  if (int result = readdayfile(line); result != 0) return result;
  size_t itemsstart = 0;
  return readdatestamp(line.c_str(), date, &itemsstart);
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
