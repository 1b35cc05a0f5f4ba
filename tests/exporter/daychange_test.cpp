// The real daemon, with a fake iptables and a fake clock, crosses midnight
// while the exporter is scraped every 100 ms: byteloom_bytes_total never goes
// down and ends equal to the sum of the daemon's files.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <random>
#include <thread>

#include "dayitems.h"
#include "httpclient.h"
#include "sandbox.h"

namespace {

using namespace std::chrono_literals;

struct Totals {
  long long wanin = 0, lanout = 0;
};

std::optional<Totals> scrapetotals(unsigned port) {
  HttpAnswer answer = httpget(port, "/metrics");
  std::optional<long long> wanin =
      samplevalue(answer.body, "byteloom_bytes_total{label=\"wan\",direction=\"in\"}");
  std::optional<long long> lanout =
      samplevalue(answer.body, "byteloom_bytes_total{label=\"lan\",direction=\"out\"}");
  if (answer.status != 200 || !wanin || !lanout) return std::nullopt;
  return Totals{*wanin, *lanout};
}

// The files' own sum: every history line and the persistent day file.
Totals filesum(const Sandbox& sb) {
  Problems problems;
  std::vector<DayRecord> days = parsehistory(sb.read("history"), "history", problems);
  if (std::optional<DayRecord> day = parsedayfile(sb.read("day"), "day", problems))
    days.push_back(*day);
  Totals sum;
  for (const DayRecord& record : days)
    for (const Item& item : record.items) {
      if (item.label == "wan") sum.wanin += item.counts.in;
      if (item.label == "lan") sum.lanout += item.counts.out;
    }
  EXPECT_TRUE(problems.empty());
  return sum;
}

TEST(ScrapedDayChange, CounterNeverDecreasesAndEndsAtTheFilesSum) {
  Sandbox sb;
  sb.standardscript("eth0 eth1", "wan lan");
  sb.write("history", "[2026-03-05] wan 1000 100 lan 10 1 \n[2026-03-06] wan 2000 200 lan 20 2 \n");
  sb.clock("2026-03-07 23:59:52");
  sb.start();
  ASSERT_TRUE(Sandbox::waitfor([&] { return !sb.read("today").empty(); }));
  ExporterProcess exporter(EXPORTER_BINARY, {"--startup-script", sb.path("getbyteloomheaders.sh"),
                                             "--listen", "127.0.0.1:0"});
  ASSERT_NE(0u, exporter.port()) << exporter.stderror();

  std::mt19937 random(7);
  Totals fed{3000, 3}, last{};
  int scrapes = 0;
  auto queued = [&] {
    return std::filesystem::exists(sb.path("listings/RTCHARTS_IN")) ||
           std::filesystem::exists(sb.path("listings/RTCHARTS_OUT"));
  };
  auto finish = std::chrono::steady_clock::time_point::max();
  while (std::chrono::steady_clock::now() < finish) {
    if (!queued()) {
      long long in = 1000 + random() % 5000, out = 1 + random() % 50;
      sb.queue("RTCHARTS_OUT", outrule(out, "eth1"));
      sb.queue("RTCHARTS_IN", inrule(in, "eth0"));
      fed.wanin += in;
      fed.lanout += out;
    }
    std::optional<Totals> now = scrapetotals(exporter.port());
    ASSERT_TRUE(now) << "scrape " << scrapes;
    ASSERT_GE(now->wanin, last.wanin) << "went down at scrape " << scrapes;
    ASSERT_GE(now->lanout, last.lanout) << "went down at scrape " << scrapes;
    last = *now;
    ++scrapes;
    if (finish == std::chrono::steady_clock::time_point::max() &&
        sb.read("history").find("[2026-03-07]") != std::string::npos)
      finish = std::chrono::steady_clock::now() + 4s;
    std::this_thread::sleep_for(100ms);
  }
  // The last listing counted, the daemon stops and saves the day.
  ASSERT_TRUE(Sandbox::waitfor([&] { return !queued(); }));
  std::this_thread::sleep_for(1500ms);
  sb.signal(SIGTERM);
  ASSERT_EQ(0, sb.wait());
  EXPECT_GE(scrapes, 80);
  EXPECT_NE(std::string::npos, sb.read("day").find("[2026-03-08]"));

  Totals files = filesum(sb);
  EXPECT_EQ(fed.wanin, files.wanin);
  EXPECT_EQ(fed.lanout, files.lanout);
  std::optional<Totals> final = scrapetotals(exporter.port());
  ASSERT_TRUE(final);
  EXPECT_EQ(files.wanin, final->wanin);
  EXPECT_EQ(files.lanout, final->lanout);
}

}  // namespace

namespace {

// A fresh appliance: no history and no day file yet. That is no read error,
// and the running day counts.
TEST(FreshDaemon, NoHistoryYetIsNoReadError) {
  Sandbox sb;
  sb.standardscript("eth0 eth1", "wan lan");
  sb.queue("RTCHARTS_IN", inrule(700, "eth0"));
  sb.start();
  ASSERT_TRUE(Sandbox::waitfor([&] { return sb.read("today") == "wan 700 0 lan 0 0 "; }));
  ASSERT_FALSE(std::filesystem::exists(sb.path("history")));
  ExporterProcess exporter(EXPORTER_BINARY, {"--startup-script", sb.path("getbyteloomheaders.sh"),
                                             "--listen", "127.0.0.1:0"});
  ASSERT_NE(0u, exporter.port()) << exporter.stderror();
  std::string metrics = httpget(exporter.port(), "/metrics").body;
  EXPECT_EQ(700, samplevalue(metrics, "byteloom_bytes_total{label=\"wan\",direction=\"in\"}"));
  for (const char* file : {"rate", "today", "day", "history"})
    EXPECT_EQ(
        0, samplevalue(metrics, std::string("byteloom_read_errors_total{file=\"") + file + "\"}"))
        << file << "\n"
        << metrics;
  sb.signal(SIGTERM);
  EXPECT_EQ(0, sb.wait());
}

}  // namespace
