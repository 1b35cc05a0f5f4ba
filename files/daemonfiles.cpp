#include "daemonfiles.h"

#include <thread>

namespace {

// The length of text's whole words: all of it unless it ends inside a word,
// else up to the space before that word.
size_t wholelength(std::string_view text) {
  if (text.empty() || text.back() == ' ' || text.back() == '\n' || text.back() == '\r')
    return text.size();
  size_t space = text.find_last_of(" \n");
  return space == std::string_view::npos ? 0 : space + 1;
}

}  // namespace

bool settled(std::string_view text) {
  return !splitwords(text).empty() && wholelength(text) == text.size();
}

std::optional<std::string> rereadunsettled(
    const std::function<std::optional<std::string>()>& read) {
  std::optional<std::string> text = read();
  if (text && !settled(*text)) {
    std::this_thread::sleep_for(krereadpause);
    text = read();
  }
  return text;
}

std::optional<Items> todayitems(std::string_view text, const std::string& file,
                                Problems& problems) {
  size_t whole = wholelength(text);
  // The item a tear cut short is no malformed line; the next read has it whole.
  Problems torn;
  Items items = parseitems(text.substr(0, whole), file, 1, whole < text.size() ? torn : problems);
  if (!items.empty()) return items;
  problems.push_back({file, 0, "empty"});
  return std::nullopt;
}

std::vector<Rate> ratefigures(std::string_view text, const std::string& file, Problems& problems) {
  std::string_view figures = text.substr(0, wholelength(text));
  if (figures.size() < text.size() && splitwords(figures).size() % 2 != 0) {
    // A tear can split a pair too: its first half goes with the torn tail.
    size_t end = figures.find_last_not_of(' ');
    size_t space = end == std::string_view::npos ? end : figures.find_last_of(' ', end);
    figures = figures.substr(0, space == std::string_view::npos ? 0 : space + 1);
  }
  return parserates(figures, file, problems);
}

bool todaystale(std::optional<double> todaymtime, std::optional<double> daymtime) {
  // The daemon writes the today file every second and the day file once a
  // minute, so a today file more than a cycle older is from before a restart.
  return todaymtime && daymtime && *todaymtime + 2 < *daymtime;
}

std::vector<std::string> ratenames(const std::vector<std::string>& configured,
                                   const std::optional<Items>& today) {
  if (!configured.empty() || !today) return configured;
  std::vector<std::string> labels;
  for (const Item& item : *today) labels.push_back(item.label);
  return labels;
}

std::optional<DayRecord> readdayfile(const std::string& path, Problems& problems,
                                     std::optional<double>& mtime) {
  FileStamp stamp;
  std::optional<std::string> text = readfile(path, problems, &stamp);
  if (!text) return std::nullopt;
  mtime = mtimeseconds(stamp);
  return parsedayfile(*text, path, problems);
}

void readtoday(RunningFiles& files, std::optional<double> daymtime, const std::string& path,
               const std::function<std::optional<std::string>(Problems&, FileStamp&)>& read,
               Problems& problems) {
  FileStamp stamp;
  files.today = std::nullopt;
  files.todaymtime = std::nullopt;
  std::optional<std::string> text = rereadunsettled([&] { return read(problems, stamp); });
  if (!text) return;
  files.todaymtime = mtimeseconds(stamp);
  files.today = todayitems(*text, path, problems);
  if (files.dayfile && todaystale(files.todaymtime, daymtime)) files.today = std::nullopt;
}
