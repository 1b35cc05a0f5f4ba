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
#include "metrics.h"
#include "openfile.h"
#include "options.h"
#include "periods.h"
#include "reportdays.h"
#include "reportfiles.h"
#include "totals.h"

// The history, parsed once per version of the file.
struct ParsedHistory {
  FileStamp stamp;
  std::vector<DayRecord> days;
  LabelSums sums;
  std::optional<std::chrono::sys_days> newest;
};

// One reading of the four files, in the order that makes a day change safe
// to see: the day file, then the history, then the today and rate files.
struct Reading {
  std::shared_ptr<const ParsedHistory> history;
  std::optional<DayRecord> dayfile;
  std::optional<Items> todayitems;
  bool todaystale = false;
  std::optional<double> todaymtime;  // seconds since the epoch
  std::vector<Rate> rates;
  Problems problems;
};

// The daemon's files as the exporter serves them. Shared by the server's
// threads: the caches and the published totals sit behind a lock.
class ServedFiles {
 public:
  explicit ServedFiles(ReportSetup setup);

  // Reads the files; the history and the day file only when they changed.
  Reading read();

  // The metrics of a reading; raises the published totals.
  MetricsInput metrics(const Reading& reading);

  // The report's day view of a reading, for the report's options.
  Report report(const Reading& reading, const Options& options);
  // The report's month view: the last count months (0: all).
  PeriodReport months(const Reading& reading, int count);
  std::string ratesjson(const Reading& reading);

  const ReportSetup& setup() const { return setup_; }

 private:
  std::shared_ptr<const ParsedHistory> history(Problems& problems);
  // The report's running day of a reading, and everything its views use.
  static std::optional<DayRecord> runningday(const Reading& reading, Now now);
  Figures figures(const Reading& reading, Now now) const;
  std::optional<DayRecord> dayfile(Problems& problems, std::optional<double>& mtime);

  ReportSetup setup_;
  OpenFile today_, rate_;
  std::mutex lock_;
  std::shared_ptr<const ParsedHistory> history_;
  FileStamp daystamp_;
  std::optional<DayRecord> day_;
  MonotoneTotals totals_;
  std::map<std::string, uint64_t> errors_;
};
