#include "fiveminutefile.h"

#include <cerrno>

#include "readfile.h"

std::string_view wholelines(std::string_view text) {
  size_t newline = text.rfind('\n');
  return newline == std::string_view::npos ? std::string_view{} : text.substr(0, newline + 1);
}

std::optional<std::string> readfiveminutefile(const std::string& path, Problems& problems) {
  if (!stampfile(path) && errno == ENOENT) return std::nullopt;
  std::optional<std::string> text = readfile(path, problems);
  if (text) text->resize(wholelines(*text).size());
  return text;
}
