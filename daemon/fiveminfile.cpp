#include "fiveminfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "daylines.h"
#include "durablefile.h"
#include "fiveminbook.h"
#include "fiveminlines.h"
#include "iftable.h"
#include "textsafe.h"

namespace {

std::unique_ptr<char[]> linebuffer;
size_t linebuffercap = 0;
std::string filepath;
std::string temppath;
std::optional<MinuteStamp> laststamp;  // of the file's last line

// The whole file, or nullopt (errno set) when it can't be read; a missing
// file reads as empty.
std::optional<std::string> readwhole(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return std::nullopt;
  std::string text(static_cast<size_t>(info.st_size), '\0');
  size_t got = 0;
  while (got < text.size()) {
    ssize_t n = pread(fd, text.data() + got, text.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  text.resize(got);
  return text;
}

// A power cut in the middle of an append leaves a last line without its
// newline: its figures may be cut mid-number, so it is never read. It is cut
// off, and shown on standard error, before anything else is appended.
void cuttornline(int fd, std::string& text) {
  size_t whole = completelength(text);
  if (whole == text.size()) return;
  std::string fragment = text.substr(whole);
  if (ftruncate(fd, static_cast<off_t>(whole)) != 0 || fsync(fd) != 0) {
    fprintf(stderr, "byteloom: %s ends in a torn line that can't be cut off: %s\n",
            filepath.c_str(), strerror(errno));
    return;
  }
  text.resize(whole);
  fprintf(stderr, "byteloom: %s ended in a torn line; cut off its %zu bytes: %s\n",
          filepath.c_str(), fragment.size(), visibletext(fragment).c_str());
}

// The latest stamp of the file's lines.
std::optional<MinuteStamp> lateststamp(std::string_view text) {
  std::optional<MinuteStamp> latest;
  while (!text.empty()) {
    size_t end = text.find('\n');
    if (auto stamp = readminutestamp(text.substr(0, end));
        stamp && (!latest || *latest < stamp->first))
      latest = stamp->first;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return latest;
}

// Rewrites the file without the lines the thinning leaves out; a cut during
// the rewrite leaves the old file whole.
void thin(const std::string& text, const tm& day) {
  ThinnedFiveMin thinned = thinfivemin(text, minuteof(day).date);
  if (thinned.dropped == 0) return;
  if (replacedurably(filepath.c_str(), temppath.c_str(), thinned.text.data(),
                     thinned.text.size()) != 0)
    perror("failed to thin the five-minute file:");
}

void thinfile(const tm& day) {
  int fd = open(filepath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  std::optional<std::string> text = readwhole(fd);
  close(fd);
  if (text) thin(*text, day);
}

// The line goes in whole, synced, or not at all.
void writeline(const std::optional<MinuteStamp>& stamp) {
  if (!stamp) return;
  size_t len = formatfiveminline(linebuffer.get(), linebuffercap, *stamp, iftable());
  if (len == 0) return;
  if (appenddurably(filepath.c_str(), linebuffer.get(), len) != 0) {
    perror("failed to write to five-minute file:");
    return;
  }
  laststamp = stamp;
}

}  // namespace

std::string fiveminfilepath() {
  return fiveminpath(outdayvolumes);
}

std::string fivemintemppath() {
  return fiveminfilepath() + ".tmp";
}

int preparefivemin() {
  linebuffercap = fiveminbuffersize(iftable());
  linebuffer.reset(new (std::nothrow) char[linebuffercap]);
  filepath = fiveminfilepath();
  temppath = fivemintemppath();
  return linebuffer ? 0 : -1;
}

void startfivemin(const tm& day, const tm& clock) {
  int fd = open(filepath.c_str(), O_RDWR | O_CLOEXEC);
  if (fd >= 0) {
    std::optional<std::string> text = readwhole(fd);
    if (text) cuttornline(fd, *text);
    close(fd);
    if (text) {
      laststamp = lateststamp(*text);
      thin(*text, day);
    }
  }
  writeline(choosestartstamp(day, clock, laststamp));
}

void fiveminboundary(const tm& day, const tm& previous, const tm& cur) {
  writeline(chooseboundarystamp(day, previous, cur, laststamp));
}

void fiveminnewday(const tm& newday) {
  writeline(choosedaystartstamp(newday, laststamp));
  thinfile(newday);
}

void fiveminstop(const tm& day, const tm& clock) {
  writeline(choosestopstamp(day, clock, laststamp));
}
