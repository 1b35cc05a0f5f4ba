#include "startup.h"

#include <cstring>

#include "tokens.h"

namespace {

bool reject(std::string& error, const char* what) {
  error = what;
  return false;
}

bool reject(std::string& error, const char* what, std::string_view item) {
  error = std::string(what) + ": \"" + std::string(item) + "\"";
  return false;
}

// Copies text into a fixed field only when it fits whole: a cut name could
// silently match another interface or label.
template <size_t N>
bool copyfield(char (&field)[N], std::string_view text) {
  if (text.size() >= N) return false;
  memcpy(field, text.data(), text.size());
  field[text.size()] = '\0';
  return true;
}

bool parsespec(std::string_view spec, IfInfo& record, std::string& error) {
  Tokens parts(spec, ':');
  std::string_view name, value, destination;
  if (!parts.next(name)) return reject(error, "interface specification without a name", spec);
  if (!copyfield(record.ifname, name))
    return reject(error, "interface name longer than 15 characters", name);
  if (!parts.next(value)) return true;
  if (!parts.next(destination))
    return reject(error, "interface specification needs name:value:destination", spec);
  if (!copyfield(record.matchval, value))
    return reject(error, "match value longer than 7 characters", value);
  if (!copyfield(record.dest, destination))
    return reject(error, "destination longer than 31 characters", destination);
  return true;
}

bool parsespecs(std::string_view line, std::vector<IfInfo>& table, std::string& error) {
  Tokens specs(line, ' ');
  for (std::string_view spec; specs.next(spec);) {
    if (!parsespec(spec, table.emplace_back(), error)) return false;
  }
  return true;
}

bool readpaths(Tokens& lines, StartupOutput& output, std::string& error) {
  for (std::string* path :
       {&output.ratefile, &output.todayfile, &output.dayfile, &output.historyfile}) {
    std::string_view line;
    if (!lines.next(line)) return reject(error, "start-up output ends before its four file paths");
    if (line.size() >= kpathsize)
      return reject(error, "file path longer than 511 characters", line);
    path->assign(line);
  }
  return true;
}

bool assignlabels(std::string_view line, std::vector<IfInfo>& table, std::string& error) {
  Tokens labels(line, ' ');
  for (size_t i = 0; i < table.size(); ++i) {
    IfInfo& record = table[i];
    std::string_view label;
    if (!labels.next(label)) {
      copyfield(record.label, "UNKNOWN-" + std::to_string(i));
      continue;
    }
    if (!copyfield(record.label, label))
      return reject(error, "label longer than 255 characters", label);
  }
  return true;
}

}  // namespace

std::optional<StartupOutput> parsestartupoutput(std::string_view text, std::string& error) {
  StartupOutput output;
  Tokens lines(text, '\n');
  std::string_view line;
  if (!lines.next(line)) {
    reject(error, "start-up output holds no interface line");
    return std::nullopt;
  }
  if (!parsespecs(line, output.table, error) || !readpaths(lines, output, error))
    return std::nullopt;
  if (!lines.next(line)) {
    reject(error, "start-up output ends before its label line");
    return std::nullopt;
  }
  if (!assignlabels(line, output.table, error)) return std::nullopt;
  return output;
}
