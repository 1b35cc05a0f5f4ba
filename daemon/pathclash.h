#pragma once
#include <optional>
#include <span>
#include <string>
#include <utility>

// A file the daemon writes, by its role ("history file") and its path.
struct RolePath {
  const char* role;
  std::string path;
};

// The first two entries whose paths, already resolved, name the same file.
std::optional<std::pair<size_t, size_t>> findclash(std::span<const RolePath> paths);

// The path as the file system sees it: its directory resolved (symbolic links,
// "." and ".."; the file itself may not exist yet) and its name kept. A
// directory that can't be resolved is normalised as text.
std::string resolvedpath(const std::string& path);
