#include "readfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string cannotread(int error) {
  return std::string("cannot read: ") + strerror(error);
}

// A descriptor for reading path, filling info, or -1 with a problem naming it.
int openforreading(const std::string& path, struct stat& info, Problems& problems) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode)) return fd;
  int error = fd >= 0 && S_ISDIR(info.st_mode) ? EISDIR : errno;
  problems.push_back({path, 0, cannotread(error)});
  if (fd >= 0) close(fd);
  return -1;
}

}  // namespace

FileStamp stampof(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size,
          static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

std::optional<FileStamp> stampfile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return stampof(info);
}

double mtimeseconds(const FileStamp& stamp) {
  return static_cast<double>(stamp.mtimens) / 1e9;
}

std::optional<std::string> readfile(const std::string& path, Problems& problems, FileStamp* stamp) {
  struct stat info {};
  int fd = openforreading(path, info, problems);
  if (fd < 0) return std::nullopt;
  if (stamp) *stamp = stampof(info);
  // Room past the size seen: a short read then means the end.
  std::string text(static_cast<size_t>(info.st_size) + 4096, '\0');
  size_t length = 0;
  for (ssize_t n; (n = read(fd, text.data() + length, text.size() - length)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      problems.push_back({path, 0, cannotread(errno)});
      close(fd);
      return std::nullopt;
    }
    length += static_cast<size_t>(n);
    if (length == text.size()) text.resize(text.size() * 2);
  }
  close(fd);
  text.resize(length);
  return text;
}

bool scanfile(const std::string& path, HistoryScanner& scanner, Problems& problems) {
  struct stat info {};
  int fd = openforreading(path, info, problems);
  if (fd < 0) return false;
  std::string buffer(size_t{1} << 16, '\0');
  size_t held = 0;
  for (;;) {
    if (held == buffer.size()) buffer.resize(buffer.size() * 2);  // a line longer than a block
    ssize_t n = read(fd, buffer.data() + held, buffer.size() - held);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      problems.push_back({path, 0, cannotread(errno)});
      close(fd);
      return false;
    }
    if (n == 0) break;
    held += static_cast<size_t>(n);
    size_t end = std::string_view(buffer.data(), held).rfind('\n');
    if (end == std::string_view::npos) continue;
    scanner.feed({buffer.data(), end + 1});
    held -= end + 1;
    std::memmove(buffer.data(), buffer.data() + end + 1, held);  // the line begun
  }
  close(fd);
  scanner.feed({buffer.data(), held});
  return true;
}
