// The exporter's JSON and chart are the report's: for the same files the
// endpoints answer exactly what byteloom-report prints.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "httpclient.h"
#include "testlib.h"

namespace {

std::string run(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  pclose(pipe);
  return out;
}

std::string isodate(int daysago) {
  return run("date -d '" + std::to_string(daysago) + " days ago' +%F | tr -d '\\n'");
}

// The exporter's answer to path and what the report command prints: a pair
// read across a turn of the clock (a second for the month's estimate and the
// rates, an interval for the running one) is read again.
std::pair<HttpAnswer, std::string> answerandprinted(unsigned port, const std::string& path,
                                                    const std::string& command) {
  HttpAnswer answer;
  std::string printed;
  for (int attempt = 0; attempt < 3 && (attempt == 0 || printed != answer.body); ++attempt) {
    answer = httpget(port, path);
    printed = run(command + " 2>/dev/null");
  }
  return {answer, printed};
}

// The four file options naming rate, today, day and history in dir.
std::vector<std::string> fileoptions(const std::string& dir) {
  return {"--rate-file", dir + "/rate", "--today-file",   dir + "/today",
          "--day-file",  dir + "/day",  "--history-file", dir + "/history"};
}

// The exporter's arguments: files, on a free loopback port.
std::vector<std::string> listening(const std::vector<std::string>& files) {
  std::vector<std::string> args = {"--listen", "127.0.0.1:0"};
  args.insert(args.end(), files.begin(), files.end());
  return args;
}

TEST(Views, SameAsTheReport) {
  TempDir temp("byteloom-exporter-views");
  std::string dir = temp.dir();
  std::ofstream history(dir + "/history");
  for (int ago = 400; ago >= 1; ago -= 3)
    history << "[" << isodate(ago) << "] wan " << ago * 1000003 << " " << ago * 7 << " lan " << ago
            << " 0 \n";
  history.close();
  std::ofstream(dir + "/day") << "[" << isodate(0) << "] wan 5 6 lan 7 8 ";
  std::ofstream(dir + "/today") << "wan 50 60 lan 70 80 ";
  std::ofstream(dir + "/rate") << "1.00 2.00 3.00 4.00 ";
  std::vector<std::string> files = fileoptions(dir);
  ExporterProcess exporter(EXPORTER_BINARY, listening(files));
  ASSERT_NE(0u, exporter.port()) << exporter.stderror();
  std::string report = REPORT_BINARY;
  for (const std::string& word : files) report += " " + word;

  const std::pair<const char*, std::string> cases[] = {
      {"/api/days", "--json"},
      {"/api/days?days=100", "--json --days 100"},
      {"/api/today", "--json --days 1"},
      {"/api/months", "--months --json"},
      {"/api/months?months=24", "--months 24 --json"},
      {"/chart.svg?days=45", "--days 45 --svg -"},
      {"/api/rates", "--live --json --count 1"},
  };
  auto compare = [&](const auto& pairs, const std::string& today) {
    for (const auto& [path, options] : pairs) {
      auto [answer, printed] = answerandprinted(exporter.port(), path, report + " " + options);
      EXPECT_EQ(200, answer.status) << path;
      EXPECT_EQ(printed, answer.body) << path << " with today file '" << today << "'";
    }
  };
  compare(cases, "wan 50 60 lan 70 80 ");
  // A today file cut in the middle of an item, and a label holding a tab
  // (the daemon splits labels at spaces only): both read alike.
  const std::pair<const char*, std::string> running[] = {
      {"/api/today", "--json --days 1"},
      {"/api/rates", "--live --json --count 1"},
  };
  for (const char* today : {"wan 812 3", "wa\tn 50 60 lan 70 80 "}) {
    writetext(dir + "/today", today);
    compare(running, today);
  }
  EXPECT_NE(std::string::npos, httpget(exporter.port(), "/api/rates").body.find("wa\\u0009n"));
}

// Between the daemon's appending the finished day to the history and its
// rewriting the today and day files, the today file still holds the finished
// day: it counts once, in the totals and in the days alike, and the running
// day has counted nothing yet.
TEST(Views, FinishedDayCountedOnceAtMidnight) {
  TempDir temp("byteloom-exporter-midnight");
  std::string dir = temp.dir();
  std::string finished = isodate(1);
  writetext(dir + "/history", "[" + finished + "] wan 300 400 \n");
  writetext(dir + "/day", "[" + finished + "] wan 300 400 ");
  writetext(dir + "/today", "wan 300 400 ");
  writetext(dir + "/rate", "");
  std::vector<std::string> files = fileoptions(dir);
  ExporterProcess exporter(EXPORTER_BINARY, listening(files));
  ASSERT_NE(0u, exporter.port()) << exporter.stderror();

  std::string metrics = httpget(exporter.port(), "/metrics").body;
  EXPECT_EQ(300, samplevalue(metrics, "byteloom_bytes_total{label=\"wan\",direction=\"in\"}"))
      << metrics;
  EXPECT_EQ(400, samplevalue(metrics, "byteloom_bytes_total{label=\"wan\",direction=\"out\"}"));
  EXPECT_EQ(0, samplevalue(metrics, "byteloom_day_bytes{label=\"wan\",direction=\"in\"}"));
  std::string days = httpget(exporter.port(), "/api/days?days=2").body;
  EXPECT_NE(std::string::npos, days.find("\"date\": \"" + finished +
                                         "\", \"today\": false, \"traffic\": {\"wan\": "
                                         "{\"in\": 300, \"out\": 400}}"))
      << days;
  EXPECT_NE(std::string::npos, days.find("\"total\": {\"wan\": {\"in\": 300, \"out\": 400}}"))
      << days;
  std::string report = REPORT_BINARY;
  for (const std::string& word : files) report += " " + word;
  EXPECT_EQ(run(report + " --json --days 2 2>/dev/null"), days);
}

// The hours and five-minute intervals too, from a five-minute file with
// thinned old dates, a gap, a bad line and a torn last line.
TEST(Views, HoursSameAsTheReport) {
  TempDir temp("byteloom-exporter-hours");
  std::string dir = temp.dir();
  std::ofstream history(dir + "/history");
  std::ofstream lines(dir + "/history.5min");
  for (int ago = 70; ago >= 1; --ago) {
    std::string date = isodate(ago);
    int step = ago > 2 ? 60 : 5;
    long total = 0;
    for (int minute = 0; minute < 24 * 60; minute += step) {
      if (ago == 1 && minute > 600 && minute < 700) continue;  // the daemon stopped
      char clock[8];
      snprintf(clock, sizeof clock, "%02d:%02d", minute / 60, minute % 60);
      total += minute * 17 + ago;
      lines << "[" << date << " " << clock << "] wan " << total << " " << total / 3
            << " lan " << minute << " 1 \n";
    }
    if (ago == 2) lines << "[" << date << " 23:59] wan 0 0 \n";  // below: skipped
    history << "[" << date << "] wan " << total + 999 << " " << total << " lan 9999 1 \n";
  }
  lines << "[" << isodate(0) << " 00:00] wan 0 0 lan 0 0 \n[" << isodate(0) << " 00:05] wan 7";
  history.close();
  lines.close();
  std::ofstream(dir + "/day") << "[" << isodate(0) << "] wan 5 6 lan 7 8 ";
  std::ofstream(dir + "/today") << "wan 50 60 lan 70 80 ";
  std::ofstream(dir + "/rate") << "1.00 2.00 3.00 4.00 ";
  std::vector<std::string> files = {"--rate-file",    dir + "/rate",   "--today-file",
                                    dir + "/today",   "--day-file",    dir + "/day",
                                    "--history-file", dir + "/history"};
  std::vector<std::string> args = {"--listen", "127.0.0.1:0"};
  args.insert(args.end(), files.begin(), files.end());
  ExporterProcess exporter(EXPORTER_BINARY, args);
  ASSERT_NE(0u, exporter.port()) << exporter.stderror();
  std::string report = REPORT_BINARY;
  for (const std::string& word : files) report += " " + word;

  const std::pair<std::string, std::string> cases[] = {
      {"/api/hours", "--hours --json"},
      {"/api/hours?hours=100", "--hours 100 --json"},
      {"/api/hours?date=" + isodate(1), "--hours --date " + isodate(1) + " --json"},
      {"/api/hours?date=" + isodate(40), "--hours --date " + isodate(40) + " --json"},
      {"/api/fiveminutes", "--fiveminutes --json"},
      {"/api/fiveminutes?count=600", "--fiveminutes 600 --json"},
  };
  for (const auto& [path, options] : cases) {
    auto [answer, printed] = answerandprinted(exporter.port(), path, report + " " + options);
    EXPECT_EQ(200, answer.status) << path;
    EXPECT_EQ(printed, answer.body) << path;
    EXPECT_NE(std::string::npos, answer.body.find("\"traffic\": {\"wan\"")) << path;
  }
}

}  // namespace
