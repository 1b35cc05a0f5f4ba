#include "views.h"

#include <gtest/gtest.h>

#include "svgchart.h"
#include "units.h"

namespace {

using namespace std::chrono;

sys_days date(int y, unsigned m, unsigned d) {
  return sys_days(year(y) / month(m) / day(d));
}

// wan and vpn over three days: a full day, a missing one and today without vpn.
Report sample() {
  Report report;
  report.labels = {"wan", "vpn"};
  report.days = {{date(2026, 10, 29), true, false, false, {Sums{904311, 51200}, Sums{0, 999}}},
                 {date(2026, 10, 30), false, false, false, {std::nullopt, std::nullopt}},
                 {date(2026, 10, 31), true, true, false, {Sums{1'200'000'000, 7}, std::nullopt}}};
  report.totals = {{1'200'904'311, 51207}, {0, 999}};
  return report;
}

TEST(Units, StepsOfAThousand) {
  EXPECT_EQ("0 B", humanbytes(0));
  EXPECT_EQ("999 B", humanbytes(999));
  EXPECT_EQ("1.00 kB", humanbytes(1000));
  EXPECT_EQ("904.31 kB", humanbytes(904311));
  EXPECT_EQ("1.00 MB", humanbytes(999'999));  // not "1000.00 kB"
  EXPECT_EQ("1.20 GB", humanbytes(1.2e9));
  EXPECT_EQ("12.35 TB", humanbytes(12'345'678'901'234));
  EXPECT_EQ("1000 B", humanbytes(1000.0, Units::iec));
  EXPECT_EQ("1.00 KiB", humanbytes(1024.0, Units::iec));
  EXPECT_EQ("1.00 MiB", humanbytes(1024.0 * 1024 - 1, Units::iec));
  EXPECT_EQ("2048.00 TiB", humanbytes(2.0 * (1LL << 50), Units::iec));  // no unit past TiB
}

TEST(Table, DaysMissingDaysTodayAndTotals) {
  EXPECT_EQ(
      "                    wan                    vpn           all labels\n"
      "day                        in       out     in    out           in       out\n"
      "2026-10-29          904.31 kB  51.20 kB    0 B  999 B    904.31 kB  52.20 kB\n"
      "2026-10-30                  -         -      -      -            -         -\n"
      "2026-10-31 today      1.20 GB       7 B      -      -      1.20 GB       7 B\n"
      "total                 1.20 GB  51.21 kB    0 B  999 B      1.20 GB  52.21 kB\n",
      formattable(sample()));
}

TEST(Table, ControlCharactersInLabelsAreShownEscaped) {
  Report report = sample();
  report.labels = {"w\x1b]0;x\x07", "\xc3\xa9t\xc3\xa9"};
  std::string table = formattable(report);
  EXPECT_EQ(std::string::npos, table.find('\x1b'));
  EXPECT_EQ(
      0u,
      table.find(
          "                    w\\x1b]0;x\\x07          \xc3\xa9t\xc3\xa9           all labels\n"));
}

TEST(Table, MonthsWithDaysOnRecordEstimateAndFuture) {
  PeriodReport report{Period::month, {"wan"}, {}, {{3000, 4000}}};
  report.rows.push_back({"2026-02", 28, 28, false, false, {Sums{1000, 2000}}, {}});
  report.rows.push_back({"2026-03", 9, 31, true, false, {Sums{2000, 2000}}, {Sums{6000, 6000}}});
  report.rows.push_back({"2026-04", 0, 30, false, true, {std::nullopt}, {}});
  EXPECT_EQ(
      "                          wan\n"
      "month             days         in      out\n"
      "2026-02          28/28    1.00 kB  2.00 kB\n"
      "2026-03 running   9/31    2.00 kB  2.00 kB\n"
      "  estimate                6.00 kB  6.00 kB\n"
      "2026-04 future    0/30          -        -\n"
      "total                     3.00 kB  4.00 kB\n",
      formatperiodtable(report));
  EXPECT_EQ(
      "{\n  \"labels\": [\"wan\"],\n  \"months\": [\n"
      "    {\"month\": \"2026-02\", \"days\": 28, \"calendardays\": 28, \"running\": false, "
      "\"traffic\": {\"wan\": {\"in\": 1000, \"out\": 2000}}},\n"
      "    {\"month\": \"2026-03\", \"days\": 9, \"calendardays\": 31, \"running\": true, "
      "\"traffic\": {\"wan\": {\"in\": 2000, \"out\": 2000}}, \"estimate\": {\"wan\": {\"in\": "
      "6000, \"out\": 6000}}},\n"
      "    {\"month\": \"2026-04\", \"days\": 0, \"calendardays\": 30, \"running\": false, "
      "\"traffic\": null, \"future\": true}\n"
      "  ],\n  \"total\": {\"wan\": {\"in\": 3000, \"out\": 4000}}\n}\n",
      formatperiodsjson(report));
}

TEST(Table, TopDaysRanked) {
  TopReport report{{"wan"},
                   {{date(2026, 3, 1), true, false, false, {Sums{5000, 0}}},
                    {date(2026, 3, 9), true, true, false, {Sums{1, 2}}}},
                   {5000, 3}};
  EXPECT_EQ(
      "                                   wan\n"
      "rank               day   in+out         in  out\n"
      "1           2026-03-01  5.00 kB    5.00 kB  0 B\n"
      "2     2026-03-09 today      3 B        1 B  2 B\n",
      formattoptable(report));
  EXPECT_NE(std::string::npos,
            formattopjson(report).find(
                "{\"rank\": 2, \"date\": \"2026-03-09\", \"today\": true, \"total\": 3, "
                "\"traffic\": {\"wan\": {\"in\": 1, \"out\": 2}}}\n  ]"));
}

// A day dated after today stands apart from the window in both views: below
// the total in the table, under its own key in the JSON, in neither total.
TEST(Table, FutureDayBelowTheTotalAndApartInJson) {
  Report report;
  report.labels = {"wan"};
  report.days = {{date(2026, 1, 1), true, true, false, {Sums{1, 2}}}};
  report.totals = {{1, 2}};
  report.future = {{date(2026, 2, 10), true, false, true, {Sums{5000, 6000}}}};
  EXPECT_EQ(
      "                     wan\n"
      "day                       in      out\n"
      "2026-01-01 today         1 B      2 B\n"
      "total                    1 B      2 B\n"
      "2026-02-10 future    5.00 kB  6.00 kB\n",
      formattable(report));
  EXPECT_EQ(
      "{\n  \"labels\": [\"wan\"],\n  \"days\": [\n"
      "    {\"date\": \"2026-01-01\", \"today\": true, \"traffic\": {\"wan\": {\"in\": 1, "
      "\"out\": 2}}}\n  ],\n  \"future\": [\n"
      "    {\"date\": \"2026-02-10\", \"today\": false, \"traffic\": {\"wan\": {\"in\": 5000, "
      "\"out\": 6000}}, \"future\": true}\n  ],\n"
      "  \"total\": {\"wan\": {\"in\": 1, \"out\": 2}}\n}\n",
      formatjson(report));
}

TEST(Table, LongLabelWidensItsPair) {
  Report report;
  std::string label(40, 'x');
  report.labels = {label};
  report.days = {{date(2026, 1, 1), true, false, false, {Sums{1, 2}}}};
  report.totals = {{1, 2}};
  EXPECT_EQ("              " + label +
                "\n"
                "day                            in                  out\n"
                "2026-01-01                    1 B                  2 B\n"
                "total                         1 B                  2 B\n",
            formattable(report));
}

TEST(Json, ExactCountsMissingDayAsNull) {
  Report report = sample();
  report.labels[1] = "v\"p\\n";
  EXPECT_EQ(
      "{\n"
      "  \"labels\": [\"wan\", \"v\\\"p\\\\n\"],\n"
      "  \"days\": [\n"
      "    {\"date\": \"2026-10-29\", \"today\": false, \"traffic\": {\"wan\": {\"in\": 904311, "
      "\"out\": 51200}, \"v\\\"p\\\\n\": {\"in\": 0, \"out\": 999}}},\n"
      "    {\"date\": \"2026-10-30\", \"today\": false, \"traffic\": null},\n"
      "    {\"date\": \"2026-10-31\", \"today\": true, \"traffic\": {\"wan\": {\"in\": 1200000000, "
      "\"out\": 7}}}\n"
      "  ],\n"
      "  \"total\": {\"wan\": {\"in\": 1200904311, \"out\": 51207}, \"v\\\"p\\\\n\": {\"in\": 0, "
      "\"out\": 999}}\n"
      "}\n",
      formatjson(report));
  EXPECT_EQ("{\n  \"labels\": [],\n  \"days\": [],\n  \"total\": {}\n}\n", formatjson(Report{}));
}

TEST(Live, RatesPerLabelAndUnnamedExtras) {
  std::vector<Rate> rates{{904.31, 51.2}, {0.01, 0}, {1234.56, 0.5}};
  EXPECT_EQ(
      "rates at 12:00:01\n"
      "label             in         out\n"
      "wan      904.31 kB/s  51.20 kB/s\n"
      "vpn           10 B/s       0 B/s\n"
      "#3         1.23 MB/s     500 B/s\n",
      formatlive({"wan", "vpn"}, rates, "12:00:01"));
  EXPECT_EQ(
      "{\"time\": \"2026-10-31T12:00:01\", \"rates\": {\"wan\": {\"in\": 904310, \"out\": "
      "51200}}}\n",
      formatlivejson({"wan", "vpn"}, {rates[0]}, "2026-10-31T12:00:01"));
}

TEST(Svg, AxisStepsAreRoundAndReachTheTop) {
  Axis axis = niceaxis(2.7e9);
  EXPECT_STREQ("GB", axis.unitname);
  EXPECT_DOUBLE_EQ(1e9, axis.step);
  EXPECT_DOUBLE_EQ(3e9, axis.top);
  EXPECT_EQ("3 GB", ticklabel(axis, axis.top));
  axis = niceaxis(1.2e6);
  EXPECT_EQ("0.5 MB", ticklabel(axis, axis.step));
  EXPECT_DOUBLE_EQ(1.5e6, axis.top);
  axis = niceaxis(1e6);
  EXPECT_EQ("0.25 MB", ticklabel(axis, axis.step));
  EXPECT_DOUBLE_EQ(1e6, axis.top);
  EXPECT_EQ("250 kB", ticklabel(niceaxis(9e5), 2.5e5));
  axis = niceaxis(0);
  EXPECT_EQ("1 B", ticklabel(axis, axis.top));
  axis = niceaxis(3);
  EXPECT_DOUBLE_EQ(1, axis.step);  // never a fraction of a byte
}

size_t occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(Svg, PanelPerLabelBarsLegendAndEscapedText) {
  Report report = sample();
  report.labels[1] = "lan&<dmz>";
  std::string svg = formatsvg(report);
  EXPECT_EQ(0u, svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""));
  EXPECT_NE(std::string::npos, svg.find("Daily traffic per label, 2026-10-29 to 2026-10-31"));
  EXPECT_EQ(2u, occurrences(svg, "<g>"));
  EXPECT_NE(std::string::npos, svg.find(">lan&amp;&lt;dmz&gt;</text>"));
  EXPECT_EQ(std::string::npos, svg.find("lan&<"));
  // wan has bars on two days, vpn on one: two per day, each with an exact tip.
  EXPECT_EQ(6u, occurrences(svg, "<title>") - 2);
  EXPECT_NE(std::string::npos,
            svg.find("<title>wan 2026-10-29 in: 904.31 kB (904311 bytes)</title>"));
  EXPECT_EQ(2u, occurrences(svg, "fill=\"#2f6fbf\" fill-opacity=\"0.4\""));  // legend and today
  EXPECT_EQ(3u, occurrences(svg, "fill=\"#ececec\""));  // legend and a band per panel
  EXPECT_NE(std::string::npos, svg.find(">1.5 GB</text>"));
  EXPECT_NE(std::string::npos, svg.find(">Oct 31</text>"));
  EXPECT_EQ("</svg>\n", svg.substr(svg.size() - 7));
}

TEST(Svg, MonthsChartOutlinesTheEstimateAndMarksTheFuture) {
  PeriodReport report{Period::month, {"wan"}, {}, {{3000, 4000}}};
  report.rows.push_back({"2026-02", 28, 28, false, false, {Sums{1000, 2000}}, {}});
  report.rows.push_back({"2026-03", 9, 31, true, false, {Sums{2000, 2000}}, {Sums{6000, 6000}}});
  std::string svg = formatsvg(periodchart(report));
  EXPECT_NE(std::string::npos, svg.find("Monthly traffic per label, 2026-02 to 2026-03"));
  EXPECT_NE(std::string::npos, svg.find("stroke-dasharray=\"3,2\"><title>wan 2026-03 in, estimate: "
                                        "6.00 kB (6000 bytes)</title>"));
  EXPECT_NE(std::string::npos, svg.find(">6 kB</text>"));  // the axis reaches the estimate
  EXPECT_EQ(std::string::npos, svg.find("dated after today"));
  report.rows.push_back({"2031-01", 1, 31, false, true, {Sums{5, 5}}, {}});
  svg = formatsvg(periodchart(report));
  EXPECT_NE(std::string::npos, svg.find("dated after today"));
  EXPECT_NE(std::string::npos, svg.find("fill=\"#c0392b\"><title>wan 2031-01 in"));
  EXPECT_NE(std::string::npos, svg.find("2026-02 to 2026-03"));  // the title's range ends today
}

TEST(Svg, LongLabelIsShortenedOnAUtf8Boundary) {
  Report report = sample();
  report.labels[0] = std::string(88, 'a') + "\xc3\xa9\xc3\xa9" + std::string(20, 'b');
  std::string svg = formatsvg(report);
  EXPECT_NE(std::string::npos, svg.find(">" + std::string(88, 'a') + "\xe2\x80\xa6</text>"));
  EXPECT_NE(std::string::npos, svg.find("<title>" + report.labels[0] + "</title>"));
}

}  // namespace
