#pragma once
#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dayitems.h"
#include "follow.h"
#include "metrics.h"
#include "openfile.h"
#include "periods.h"
#include "readfile.h"
#include "reportdays.h"
#include "setup.h"
#include "totals.h"

// The history, parsed once per version of the file.
struct ParsedHistory {
  FileStamp stamp;
  std::vector<DayRecord> days;
  LabelSums sums;
  std::optional<std::chrono::sys_days> newest;  // of every line, dated after today or not
};

// One reading of the four files, as they were at the start of a request.
struct Reading {
  std::shared_ptr<const ParsedHistory> history = std::make_shared<ParsedHistory>();
  std::optional<DayRecord> dayfile;
  std::optional<Items> todayitems;   // nullopt when missing, empty or stale
  std::optional<double> todaymtime;  // seconds since the epoch
  std::vector<Rate> rates;
  std::vector<std::string> ratenames;  // the labels of the rates, in order
};

// The daemon's files as the exporter serves them: the last reading is kept,
// and each request rereads only the files that changed since (all of them,
// each time, where they can't be followed). Shared by the server's threads:
// the reading, the caches and the published totals sit behind a lock.
class ServedFiles {
 public:
  explicit ServedFiles(FileSetup setup);

  // The files as they are now: the last reading, with the files that
  // changed since reread. It stays valid while the caller holds it.
  std::shared_ptr<const Reading> read();

  // The metrics of a reading; raises the published totals. version, when
  // given, receives the totals' version they show.
  MetricsInput metrics(const Reading& reading, uint64_t* version = nullptr);

  // The metrics of a reading as served, in either format. A reading is
  // kept until a file changes, and its metrics are the same for every
  // scrape of it on one day, so they are formatted once.
  std::string metricstext(const std::shared_ptr<const Reading>& reading, bool openmetrics);

  // The report's day view of a reading: the last days up to today.
  Report days(const Reading& reading, int days);
  // The report's month view: the last count months (0: all).
  PeriodReport months(const Reading& reading, int count);
  std::string ratesjson(const Reading& reading);
  // Everything the views use, from a reading: its running day by the rule
  // every reader follows.
  Figures figures(const Reading& reading, LocalClock now) const;

  const FileSetup& setup() const { return setup_; }
  bool following() const { return follower_.following(); }

 private:
  void readdayfile(Reading& reading);
  void readhistory(Reading& reading);
  void readtoday(Reading& reading);
  void readrates(Reading& reading);
  std::optional<std::string> current(OpenFile& file, Problems& problems,
                                     FileStamp* stamp = nullptr);
  // The running day of a reading by the rule every reader follows.
  static std::optional<DayRecord> runningday(const Reading& reading, LocalClock now);
  void count(const char* file, const Problems& found);
  // The history's sums of day's month up to day; called with the lock held.
  const LabelSums& historymonth(const std::shared_ptr<const ParsedHistory>& history,
                                std::chrono::sys_days day);

  FileSetup setup_;
  OpenFile today_, rate_;
  std::mutex lock_;
  FileFollower follower_;
  std::shared_ptr<const Reading> current_;
  std::optional<double> daymtime_;
  FileStamp daystamp_;
  bool dayread_ = false;
  MonotoneTotals totals_;
  struct FormattedMetrics {
    std::shared_ptr<const Reading> reading;
    std::chrono::sys_days date;
    uint64_t version = 0;  // of the totals shown
    std::string text;
  };
  struct MonthSums {
    std::shared_ptr<const ParsedHistory> history;
    std::chrono::sys_days day;
    LabelSums sums;
  };
  MonthSums month_;
  FormattedMetrics formatted_[2];  // the text format, OpenMetrics
  std::map<std::string, uint64_t> errors_;
};
