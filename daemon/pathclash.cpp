#include "pathclash.h"

#include <libgen.h>
#include <climits>
#include <cstdlib>
#include <filesystem>

std::optional<std::pair<size_t, size_t>> findclash(std::span<const RolePath> paths) {
  for (size_t i = 0; i < paths.size(); ++i)
    for (size_t j = i + 1; j < paths.size(); ++j)
      if (paths[i].path == paths[j].path) return std::pair{i, j};
  return std::nullopt;
}

std::string resolvedpath(const std::string& path) {
  std::string forname = path, fordirectory = path;
  std::string name = basename(forname.data());
  char resolved[PATH_MAX];
  if (realpath(dirname(fordirectory.data()), resolved) == nullptr)
    return std::filesystem::path(path).lexically_normal().string();
  std::string directory = resolved;
  return directory == "/" ? "/" + name : directory + "/" + name;
}
