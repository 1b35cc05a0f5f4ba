#include "reportfiles.h"

#include <algorithm>
#include <chrono>

#include "daemonfiles.h"
#include "localclock.h"
#include "readfile.h"
#include "runningday.h"

std::optional<DayRecord> loadrunningday(const FileSetup& setup,
                                        std::optional<std::chrono::sys_days> archived,
                                        LocalClock now, Problems& problems) {
  RunningFiles files;
  std::optional<double> daymtime;
  files.dayfile = readdayfile(setup.dayfile, problems, daymtime);
  readtoday(
      files, daymtime, setup.todayfile,
      [&](Problems& found, FileStamp& stamp) { return readfile(setup.todayfile, found, &stamp); },
      problems);
  std::optional<DayRecord> today = runningday(files.today, files.dayfile, archived, now.date);
  if (today && today->date > now.date)
    problems.push_back(
        futureproblem(today->date, now.date, setup.dayfile, std::max<size_t>(today->line, 1)));
  return today;
}

Figures loadfigures(const FileSetup& setup, LocalClock now, Problems& problems) {
  Figures figures{setup.labels, {}, std::nullopt};
  HistoryScanner scanner(setup.historyfile, problems, [&](const DayLineView& line) {
    figures.history.push_back(torecord(line));
  });
  if (scanfile(setup.historyfile, scanner, problems)) scanner.finish();
  futureproblems(figures.history, now.date, setup.historyfile, problems);
  figures.today = loadrunningday(setup, newestdate(figures.history, now.date), now, problems);
  return figures;
}

PeriodReport loadperiods(const FileSetup& setup, Period period, int count, LocalClock now,
                         const std::vector<std::string>& only, Problems& problems) {
  PeriodFolder folder(period, count, now, setup.labels, only);
  NewestDate archived(now.date);
  HistoryScanner scanner(setup.historyfile, problems, [&](const DayLineView& line) {
    if (line.date > now.date)
      problems.push_back(futureproblem(line.date, now.date, setup.historyfile, line.line));
    archived.see(line.date);
    folder.addday(line.date, line.items);
  });
  if (scanfile(setup.historyfile, scanner, problems)) scanner.finish();
  if (std::optional<DayRecord> today = loadrunningday(setup, archived.value(), now, problems))
    folder.addday(today->date, today->items);
  return folder.finish(problems);
}
