#include "metrics.h"

#include <gtest/gtest.h>

namespace {

MetricsInput sample() {
  MetricsInput input;
  input.labels = {{"wan", {92112, 3436}, Counts{812, 35}, Counts{810, 40}, Counts{9000, 300}},
                  {"old", {5, 5}, std::nullopt, std::nullopt, std::nullopt}};
  input.lastupdate = 1796719958.834;
  input.readerrors = {{"today", 0}, {"history", 2}};
  return input;
}

TEST(Metrics, PrometheusText) {
  EXPECT_EQ(
      "# HELP byteloom_bytes_total Bytes the daemon accounted for the label: its history and the "
      "running day.\n"
      "# TYPE byteloom_bytes_total counter\n"
      "byteloom_bytes_total{label=\"wan\",direction=\"in\"} 92112\n"
      "byteloom_bytes_total{label=\"wan\",direction=\"out\"} 3436\n"
      "byteloom_bytes_total{label=\"old\",direction=\"in\"} 5\n"
      "byteloom_bytes_total{label=\"old\",direction=\"out\"} 5\n"
      "# HELP byteloom_day_bytes Bytes of the running day.\n"
      "# TYPE byteloom_day_bytes gauge\n"
      "byteloom_day_bytes{label=\"wan\",direction=\"in\"} 812\n"
      "byteloom_day_bytes{label=\"wan\",direction=\"out\"} 35\n"
      "# HELP byteloom_month_bytes Bytes of the running month: its days in the history and the "
      "running day.\n"
      "# TYPE byteloom_month_bytes gauge\n"
      "byteloom_month_bytes{label=\"wan\",direction=\"in\"} 9000\n"
      "byteloom_month_bytes{label=\"wan\",direction=\"out\"} 300\n"
      "# HELP byteloom_rate_bytes Bytes of the last second, from the rate file.\n"
      "# TYPE byteloom_rate_bytes gauge\n"
      "byteloom_rate_bytes{label=\"wan\",direction=\"in\"} 810\n"
      "byteloom_rate_bytes{label=\"wan\",direction=\"out\"} 40\n"
      "# HELP byteloom_last_update_timestamp_seconds When the daemon last wrote the today file, in "
      "seconds since the epoch.\n"
      "# TYPE byteloom_last_update_timestamp_seconds gauge\n"
      "byteloom_last_update_timestamp_seconds 1796719958.834\n"
      "# HELP byteloom_read_errors_total Malformed lines and unreadable files met while reading "
      "the daemon's files.\n"
      "# TYPE byteloom_read_errors_total counter\n"
      "byteloom_read_errors_total{file=\"today\"} 0\n"
      "byteloom_read_errors_total{file=\"history\"} 2\n",
      formatmetrics(sample(), false));
}

TEST(Metrics, OpenMetricsNamesCounterFamiliesAndEnds) {
  std::string text = formatmetrics(sample(), true);
  EXPECT_NE(std::string::npos, text.find("# TYPE byteloom_bytes counter\nbyteloom_bytes_total{"));
  EXPECT_NE(std::string::npos,
            text.find("# TYPE byteloom_read_errors counter\nbyteloom_read_errors_total{"));
  EXPECT_TRUE(text.ends_with("byteloom_read_errors_total{file=\"history\"} 2\n# EOF\n"));
  MetricsInput empty;
  EXPECT_TRUE(formatmetrics(empty, true).ends_with("counter\n# EOF\n"));
  EXPECT_TRUE(
      wantsopenmetrics("application/openmetrics-text;version=1.0.0,application/"
                       "openmetrics-text;version=0.0.1;q=0.75,"
                       "text/plain;version=0.0.4;q=0.5,*/*;q=0.1"));
  EXPECT_FALSE(wantsopenmetrics("text/plain;version=0.0.4"));
  EXPECT_FALSE(wantsopenmetrics("application/openmetrics-text;q=0, text/plain"));
  EXPECT_FALSE(wantsopenmetrics("text/plain, application/openmetrics-text; q=0.0"));
  EXPECT_TRUE(
      wantsopenmetrics("text/plain;q=0.5, application/openmetrics-text; version=1.0.0;q=0.9"));
  EXPECT_FALSE(wantsopenmetrics(""));
}

TEST(Metrics, LabelValuesEscapedAndValidUtf8) {
  EXPECT_EQ("a\\\\b\\\"c\\nd", escapelabelvalue("a\\b\"c\nd"));
  EXPECT_EQ("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1",
            escapelabelvalue("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1"));
  const std::string replacement = "\xef\xbf\xbd";
  EXPECT_EQ("a" + replacement + "b", validutf8("a\xff"
                                               "b"));
  EXPECT_EQ(replacement + replacement, validutf8("\xc0\xaf"));                    // overlong '/'
  EXPECT_EQ(replacement + replacement + replacement, validutf8("\xed\xa0\x80"));  // surrogate
  EXPECT_EQ(replacement + "x", validutf8("\xe2\x82x").substr(3));                 // cut sequence
  EXPECT_EQ(replacement + replacement + replacement, validutf8("\xf0\x9f\x93"));  // cut at the end
  EXPECT_EQ(std::string("a\0b", 3), validutf8(std::string("a\0b", 3)));
  MetricsInput input;
  input.labels = {{"lan\xff\"x", {1, 2}, std::nullopt, std::nullopt, std::nullopt}};
  EXPECT_NE(std::string::npos,
            formatmetrics(input, false)
                .find("{label=\"lan" + replacement + "\\\"x\",direction=\"out\"} 2\n"));
}

}  // namespace
