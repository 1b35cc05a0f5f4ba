#include "reportconfig.h"

#include <algorithm>

#include "dayitems.h"

namespace {

constexpr size_t kmaxifname = 15;
constexpr size_t kmaxmatchval = 7;
constexpr size_t kmaxdest = 31;
constexpr size_t kmaxlabel = 255;

// A '#' that starts a word starts a comment; labels and specs never hold one.
std::string_view withoutcomment(std::string_view line) {
  for (size_t at = line.find('#'); at != std::string_view::npos; at = line.find('#', at + 1))
    if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t') return line.substr(0, at);
  return line;
}

std::string_view trimmed(std::string_view text) {
  size_t start = text.find_first_not_of(" \t\r");
  if (start == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(start, end + 1 - start);
}

std::vector<std::string_view> colonparts(std::string_view spec) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    size_t end = spec.find(':', start);
    parts.push_back(spec.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Why spec is not "ifname" or "ifname:matchval:dest", or "" when it is.
std::string specfault(std::string_view spec) {
  std::vector<std::string_view> parts = colonparts(spec);
  if (parts.size() != 1 && parts.size() != 3) return "must be ifname or ifname:matchval:dest";
  if (std::any_of(parts.begin(), parts.end(), [](std::string_view p) { return p.empty(); }))
    return "has an empty part";
  if (parts[0].size() > kmaxifname) return "interface name is longer than 15 characters";
  if (parts.size() == 3 && parts[1].size() > kmaxmatchval)
    return "match value is longer than 7 characters";
  if (parts.size() == 3 && parts[2].size() > kmaxdest)
    return "destination is longer than 31 characters";
  return "";
}

std::string labelfault(std::string_view label, const std::vector<std::string>& known) {
  if (label.size() > kmaxlabel) return "is longer than 255 characters";
  if (std::any_of(label.begin(), label.end(), [](char c) { return c >= 0 && c < ' '; }) ||
      label.find('\x7f') != std::string_view::npos)
    return "holds a control character";
  if (std::find(known.begin(), known.end(), label) != known.end()) return "is used twice";
  return "";
}

std::string* pathsetting(ReportConfig& config, std::string_view key) {
  if (key == "RATE_FILE") return &config.ratefile;
  if (key == "TODAY_FILE") return &config.todayfile;
  if (key == "DAY_FILE") return &config.dayfile;
  if (key == "HISTORY_FILE") return &config.historyfile;
  return nullptr;
}

// "" on success, else the reason the line is skipped.
std::string applypath(ReportConfig& config, std::string_view line) {
  size_t equals = line.find('=');
  std::string_view key = trimmed(line.substr(0, equals));
  std::string* setting = pathsetting(config, key);
  if (setting == nullptr) return "unknown setting '" + std::string(key) + "'";
  std::string_view value = trimmed(line.substr(equals + 1));
  if (value.empty()) return "empty path";
  *setting = value;
  return "";
}

std::string applyinterface(ReportConfig& config, std::string_view line) {
  std::vector<std::string_view> words = splitwords(line);
  if (words.size() != 2) return "expected '<spec> <label>'";
  if (std::string fault = specfault(words[0]); !fault.empty())
    return "interface '" + std::string(words[0]) + "' " + fault;
  if (std::string fault = labelfault(words[1], config.labels); !fault.empty())
    return "label '" + std::string(words[1]) + "' " + fault;
  config.labels.emplace_back(words[1]);
  return "";
}

// "KEY=value" or "KEY = value", KEY a word of letters, digits and underscores.
bool issetting(std::string_view line) {
  size_t keyend = line.find_first_not_of(
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_");
  if (keyend == 0 || keyend == std::string_view::npos) return false;
  size_t equals = line.find_first_not_of(" \t", keyend);
  return equals != std::string_view::npos && line[equals] == '=';
}

}  // namespace

ReportConfig parseconfig(std::string_view text, std::string_view file, Problems& problems) {
  ReportConfig config;
  size_t number = 0;
  for (size_t start = 0; start <= text.size(); ++number) {
    size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = trimmed(withoutcomment(text.substr(start, end - start)));
    start = end + 1;
    if (line.empty()) continue;
    std::string fault = issetting(line) ? applypath(config, line) : applyinterface(config, line);
    if (!fault.empty()) problems.push_back({std::string(file), number + 1, fault + "; line skipped"});
  }
  return config;
}
