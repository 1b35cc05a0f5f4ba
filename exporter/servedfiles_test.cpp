#include "servedfiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "localclock.h"
#include "testlib.h"

namespace {

// The four files of a daemon with wan and lan in a temporary directory,
// dated today, and the exporter's view of them from the four paths alone.
struct Appliance {
  TempDir dir;
  std::string today = formatdate(localclock().date);

  Appliance() {
    writetext(dir.path("rate"), "1.50 0.25 0.01 0.00 ");
    writetext(dir.path("today"), "wan 1500 250 lan 7 0 ");
    writetext(dir.path("day"), "[" + today + "] wan 1000 200 lan 0 0 ");
    writetext(dir.path("history"), "[2020-01-01] wan 50000 6000 lan 7 8 \n");
  }

  FileSetup setup(std::vector<std::string> labels = {}) const {
    return {std::move(labels), dir.path("rate"), dir.path("today"), dir.path("day"),
            dir.path("history")};
  }
};

template <typename Figure>
std::optional<Counts> figure(const MetricsInput& input, const std::string& label,
                             Figure LabelFigures::*which) {
  for (const LabelFigures& figures : input.labels)
    if (figures.label == label) return figures.*which;
  return std::nullopt;
}

// Run with the four paths alone, the rates are named by the today file's
// labels, by position, in the metrics as in /api/rates.
TEST(ServedFiles, RatesNamedByTheTodayFileWithoutConfiguredLabels) {
  Appliance appliance;
  ServedFiles files(appliance.setup());
  auto reading = files.read();
  MetricsInput input = files.metrics(*reading);
  std::optional<Counts> wan = figure(input, "wan", &LabelFigures::rate);
  ASSERT_TRUE(wan);
  EXPECT_EQ(1500, wan->in);
  EXPECT_EQ(250, wan->out);
  ASSERT_TRUE(figure(input, "lan", &LabelFigures::rate));
  EXPECT_EQ(10, figure(input, "lan", &LabelFigures::rate)->in);
  EXPECT_NE(std::string::npos, files.ratesjson(*reading).find("\"wan\""));
  // Configured labels still win.
  ServedFiles configured(appliance.setup({"up", "down"}));
  MetricsInput named = configured.metrics(*configured.read());
  EXPECT_TRUE(figure(named, "up", &LabelFigures::rate));
  EXPECT_FALSE(figure(named, "wan", &LabelFigures::rate));
}

// The month gauge is that of the running day, as the day file dates it: at
// the end of a month it holds the month's history and the running day, and
// after the daemon's day change only the new month's running day; a label
// without traffic in the new month shows zero.
TEST(ServedFiles, MonthOfTheRunningDayAcrossAMonthsEnd) {
  Appliance appliance;
  writetext(appliance.dir.path("history"),
            "[2026-02-28] wan 90000 9000 lan 5 5 \n[2026-03-30] wan 3000 300 lan 2 1 \n");
  writetext(appliance.dir.path("day"), "[2026-03-31] wan 1000 200 lan 0 0 ");
  ServedFiles files(appliance.setup());
  MetricsInput march = files.metrics(*files.read());
  EXPECT_EQ(4500, figure(march, "wan", &LabelFigures::month)->in);
  EXPECT_EQ(550, figure(march, "wan", &LabelFigures::month)->out);
  EXPECT_EQ(9, figure(march, "lan", &LabelFigures::month)->in);

  writetext(appliance.dir.path("history"),
            "[2026-02-28] wan 90000 9000 lan 5 5 \n[2026-03-30] wan 3000 300 lan 2 1 \n"
            "[2026-03-31] wan 1500 250 lan 7 0 \n");
  writetext(appliance.dir.path("today"), "wan 20 2 ");
  writetext(appliance.dir.path("day"), "[2026-04-01] wan 20 2 ");
  MetricsInput april = files.metrics(*files.read());
  EXPECT_EQ(20, figure(april, "wan", &LabelFigures::month)->in);
  EXPECT_EQ(2, figure(april, "wan", &LabelFigures::month)->out);
  EXPECT_EQ(0, figure(april, "lan", &LabelFigures::month)->in);
}

// A today file cut in the middle of an item is read as the report reads it:
// the cut item doesn't count, the day file's items stand in.
TEST(ServedFiles, TornTodayFileAsTheReportReadsIt) {
  Appliance appliance;
  writetext(appliance.dir.path("today"), "wan 812 3");
  ServedFiles files(appliance.setup({"wan", "lan"}));
  MetricsInput input = files.metrics(*files.read());
  std::optional<Counts> day = figure(input, "wan", &LabelFigures::day);
  ASSERT_TRUE(day);
  EXPECT_EQ(1000, day->in);
  EXPECT_EQ(200, day->out);
}

// Each write is seen by the next request, followed or read each time: in
// place, replaced by a rename, appended.
TEST(ServedFiles, EveryWriteIsSeenByTheNextRequest) {
  for (bool linked : {false, true}) {
    Appliance appliance;
    FileSetup setup = appliance.setup({"wan", "lan"});
    if (linked) {  // a today file that is a link can't be followed
      std::filesystem::rename(setup.todayfile, appliance.dir.path("real-today"));
      std::filesystem::create_symlink(appliance.dir.path("real-today"), setup.todayfile);
    }
    ServedFiles files(setup);
    EXPECT_EQ(!linked, files.following());
    auto total = [&] {
      MetricsInput input = files.metrics(*files.read());
      for (const LabelFigures& figures : input.labels)
        if (figures.label == "wan") return figures.total.in;
      return int64_t{-1};
    };
    EXPECT_EQ(51500, total());
    writetext(linked ? appliance.dir.path("real-today") : setup.todayfile, "wan 1600 250 lan 7 0 ");
    EXPECT_EQ(51600, total());
    // Midnight: the finished day goes to the history, the new day starts at zero.
    std::ofstream(setup.historyfile, std::ios::app)
        << "[" << appliance.today << "] wan 1600 250 \n";
    EXPECT_EQ(51600, total());
    replacetext(setup.dayfile, "[2099-01-01] wan 0 0 lan 0 0 ");
    writetext(linked ? appliance.dir.path("real-today") : setup.todayfile, "wan 5 0 lan 0 0 ");
    EXPECT_EQ(51605, total());
    writetext(setup.ratefile, "9.00 0.00 0.00 0.00 ");
    EXPECT_EQ(9000, figure(files.metrics(*files.read()), "wan", &LabelFigures::rate)->in);
    if (linked) continue;  // a descriptor kept open sees a rename within a second
    replacetext(setup.ratefile, "7.00 0.00 0.00 0.00 ");
    EXPECT_EQ(7000, figure(files.metrics(*files.read()), "wan", &LabelFigures::rate)->in);
  }
}

// The metrics of a reading are formatted once, but a scrape never shows a
// total below one shown before it, even when a late scrape of an older
// reading raised the totals in between.
TEST(ServedFiles, FormattedMetricsNeverFallBehind) {
  Appliance appliance;
  ServedFiles files(appliance.setup({"wan", "lan"}));
  auto wanin = [](const std::string& text) {
    size_t at = text.find("byteloom_bytes_total{label=\"wan\",direction=\"in\"} ");
    return at == std::string::npos ? -1 : std::stoll(text.substr(text.find('}', at) + 2));
  };
  auto older = files.read();  // wan 1500 today
  writetext(appliance.dir.path("today"), "wan 5 0 lan 0 0 ");
  auto newer = files.read();
  EXPECT_EQ(50005, wanin(files.metricstext(newer, false)));
  EXPECT_EQ(51500, wanin(files.metricstext(older, false)));
  EXPECT_EQ(51500, wanin(files.metricstext(newer, false)));
  EXPECT_EQ(files.metricstext(newer, false), files.metricstext(newer, false));
  EXPECT_NE(std::string::npos, files.metricstext(newer, true).find("# EOF"));
}

// Which day the running figures belong to, as every reader says: a history
// line dated after today leaves the running day counted; the finished day
// still in the today file at midnight counts once.
TEST(ServedFiles, RunningDayByTheReadersRule) {
  Appliance appliance;
  writetext(appliance.dir.path("history"),
            "[2020-01-01] wan 50000 6000 lan 7 8 \n[2999-01-01] wan 1 1 \n");
  ServedFiles files(appliance.setup());
  MetricsInput input = files.metrics(*files.read());
  EXPECT_EQ(51501, figure(input, "wan", &LabelFigures::total)->in);
  EXPECT_EQ(1500, figure(input, "wan", &LabelFigures::day)->in);

  writetext(appliance.dir.path("history"), "[" + appliance.today + "] wan 1500 250 lan 7 0 \n");
  ServedFiles atmidnight(appliance.setup());
  input = atmidnight.metrics(*atmidnight.read());
  EXPECT_EQ(1500, figure(input, "wan", &LabelFigures::total)->in);
  EXPECT_EQ(0, figure(input, "wan", &LabelFigures::day)->in);
}

}  // namespace
