#include "follow.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr uint32_t kevents = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE |
                             IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                             IN_ONLYDIR;

// The directory and the name of path ("." for a bare name).
std::pair<std::string, std::string> splitpath(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

FileFollower::FileFollower(const FileSetup& setup) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return;
  if (!watch(setup.ratefile, kratebit) || !watch(setup.todayfile, ktodaybit) ||
      !watch(setup.dayfile, kdaybit) || !watch(setup.historyfile, khistorybit))
    stop();
}

FileFollower::~FileFollower() {
  stop();
}

void FileFollower::stop() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool FileFollower::watch(const std::string& path, FileBit bit) {
  auto [directory, name] = splitpath(path);
  // Writes through a link land in its target's directory, which isn't watched.
  struct stat info {};
  if (name.empty() || (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))) return false;
  int watch = inotify_add_watch(fd_, directory.c_str(), kevents);
  if (watch < 0) return false;
  watched_.push_back({watch, name, bit});
  return true;
}

unsigned FileFollower::changed() {
  if (fd_ < 0) return kallfiles;
  unsigned bits = first_ ? unsigned{kallfiles} : 0u;
  first_ = false;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EAGAIN: the queue is empty
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) bits = kallfiles;
      if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
        // A watched directory went away: its files can't be followed now.
        stop();
        return kallfiles;
      }
      for (const Watched& watched : watched_)
        if (watched.watch == event->wd && event->len > 0 && watched.name == event->name)
          bits |= watched.bit;
    }
  }
  return bits;
}
