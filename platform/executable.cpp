#include "executable.h"

#include <unistd.h>
#include <cerrno>
#include <climits>

std::string directoryofexecutable(const std::string& target) {
  size_t slash = target.rfind('/');
  if (slash == std::string::npos) return ".";
  return target.substr(0, slash == 0 ? 1 : slash);
}

std::optional<std::string> ownexecutabledirectory() {
  char path[PATH_MAX];
  ssize_t len = readlink("/proc/self/exe", path, sizeof path);
  if (len < 0) return std::nullopt;
  // A target that fills the buffer may have been cut.
  if (len == 0 || static_cast<size_t>(len) >= sizeof path) {
    errno = ENAMETOOLONG;
    return std::nullopt;
  }
  return directoryofexecutable(std::string(path, static_cast<size_t>(len)));
}
