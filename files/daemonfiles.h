#pragma once
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dayitems.h"
#include "problems.h"
#include "readfile.h"

// The rules for reading the daemon's four files, the same for every reader.
//
// - Rewritten in place (the rate and today files, every second): a read may
//   land between the truncation and the write, or in the middle of the write.
//   Text that is blank or torn (it ends inside an item: the daemon ends every
//   item with a space) is read once more after a pause; then only its whole
//   items count, and a torn tail is no malformed line.
// - Stale (a today file older than the persistent day file by more than a
//   cycle): left from before a restart, so the day file's items stand in.
// - Missing or unreadable: named as a problem; the rest is still read.
// - The labels of the rates: the configured ones, else the today file's, by
//   position.

// The pause before a file caught in a rewrite is read again.
inline constexpr std::chrono::milliseconds krereadpause{50};

// True when text holds a word and does not end inside one: the daemon's
// rewrite of it was complete when it was read.
bool settled(std::string_view text);

// What read() gives, read once more after a pause when it is not settled.
std::optional<std::string> rereadunsettled(const std::function<std::optional<std::string>()>& read);

// The whole items of a today file's text; nullopt, with the problem "empty",
// when there is none.
std::optional<Items> todayitems(std::string_view text, const std::string& file, Problems& problems);

// The whole pairs of figures of a rate file's text.
std::vector<Rate> ratefigures(std::string_view text, const std::string& file, Problems& problems);

// Whether a today file written at todaymtime is left from before a restart
// that wrote the day file at daymtime (seconds since the epoch).
bool todaystale(std::optional<double> todaymtime, std::optional<double> daymtime);

// The labels that name the rates, in the rate file's order: the configured
// labels, else the today file's.
std::vector<std::string> ratenames(const std::vector<std::string>& configured,
                                   const std::optional<Items>& today);

// The persistent day file at path and its modification time.
std::optional<DayRecord> readdayfile(const std::string& path, Problems& problems,
                                     std::optional<double>& mtime);

// The running day's files as read once, in the order that makes the
// daemon's day change safe to see: the day file before the today file.
struct RunningFiles {
  std::optional<DayRecord> dayfile;
  std::optional<Items> today;  // nullopt when missing, empty or stale
  std::optional<double> todaymtime;
};

// The today file read by read (which fills the stamp), by the rules above,
// given the day file already read and its modification time.
void readtoday(RunningFiles& files, std::optional<double> daymtime, const std::string& path,
               const std::function<std::optional<std::string>(Problems&, FileStamp&)>& read,
               Problems& problems);
