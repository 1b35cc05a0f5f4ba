#include "options.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;

std::optional<Options> parsed(std::vector<std::string_view> args, std::string* why = nullptr) {
  std::string error;
  std::optional<Options> options = parseoptions(args, error);
  if (why) *why = error;
  return options;
}

TEST(Options, DefaultsViewsAndOutputs) {
  std::optional<Options> options = parsed({});
  ASSERT_TRUE(options);
  EXPECT_EQ(View::days, options->view);
  EXPECT_EQ(Output::table, options->output);
  EXPECT_EQ(7, effectivedays(*options));
  options = parsed({"--svg", "out.svg"});
  EXPECT_EQ(Output::svg, options->output);
  EXPECT_EQ("out.svg", options->svgfile);
  EXPECT_EQ(30, effectivedays(*options));
  options = parsed({"--json", "--live", "--count=3"});
  EXPECT_EQ(View::live, options->view);
  EXPECT_EQ(Output::json, options->output);
  EXPECT_EQ(3, options->count);
  // A count after --months, --years or --top is theirs; anything else is not.
  options = parsed({"--months", "--json"});
  EXPECT_EQ(View::months, options->view);
  EXPECT_EQ(0, options->periods);
  EXPECT_EQ(24, parsed({"--months", "24"})->periods);
  EXPECT_EQ(3, parsed({"--years=3"})->periods);
  EXPECT_EQ(10, parsed({"--top"})->top);
  EXPECT_EQ(5, parsed({"--top", "5", "--units", "iec"})->top);
  EXPECT_EQ(Units::iec, parsed({"--units=iec"})->units);
  // The hours: 24 unless told, or a whole date; twelve five-minute intervals.
  options = parsed({"--hours", "--svg", "-"});
  EXPECT_EQ(View::hours, options->view);
  EXPECT_EQ(24, effectiveintervals(*options));
  EXPECT_EQ(48, effectiveintervals(*parsed({"--hours=48"})));
  EXPECT_EQ(sys_days(2026y / December / 8), parsed({"--hours", "--date", "2026-12-08"})->date);
  options = parsed({"--fiveminutes", "--json"});
  EXPECT_EQ(View::fiveminutes, options->view);
  EXPECT_EQ(12, effectiveintervals(*options));
}

TEST(Options, AlertSettings) {
  std::optional<Options> options = parsed(
      {"--alert", "1.5TB", "--period", "day", "--direction=in", "--estimate", "--label", "wan"});
  ASSERT_TRUE(options);
  EXPECT_EQ(View::alert, options->view);
  EXPECT_TRUE(options->alert.limit == widecount{1'500'000'000'000});
  EXPECT_EQ(Period::day, options->alert.period);
  EXPECT_EQ(Direction::in, options->alert.direction);
  EXPECT_TRUE(options->alert.estimate);
  EXPECT_EQ(std::vector<std::string>{"wan"}, options->alert.labels);
  options = parsed({"--alert=500GB"});
  EXPECT_EQ(Period::month, options->alert.period);
  EXPECT_EQ(Direction::total, options->alert.direction);
}

TEST(Options, RangesLabelsAndPaths) {
  std::optional<Options> options =
      parsed({"--since", "2024-02-29", "--until=2024-03-31", "--label", "wan", "--label=a=b",
              "--config", "/c", "--history-file=/h"});
  ASSERT_TRUE(options);
  sys_days today = sys_days(year(2026) / 1 / 1);
  DayRange range = dayrange(*options, today, today);
  EXPECT_EQ(sys_days(year(2024) / 2 / 29), range.first);
  EXPECT_EQ(sys_days(year(2024) / 3 / 31), range.last);
  EXPECT_EQ((std::vector<std::string>{"wan", "a=b"}), options->labels);
  EXPECT_EQ("/c", *options->setup.config);
  EXPECT_EQ("/h", *options->setup.historyfile);
  EXPECT_FALSE(options->setup.ratefile);
  // --since alone runs to today; the top view without a range covers the whole history.
  range = dayrange(*parsed({"--since", "2025-12-01"}), today, today);
  EXPECT_EQ(today, range.last);
  sys_days oldest = sys_days(year(2020) / 5 / 5);
  EXPECT_EQ(oldest, dayrange(*parsed({"--top"}), today, oldest).first);
  EXPECT_EQ(today - days(2), dayrange(*parsed({"--top", "--days", "3"}), today, oldest).first);
}

TEST(Options, MisuseIsExplained) {
  std::vector<std::pair<std::vector<std::string_view>, std::string>> cases{
      {{"--days", "0"}, "--days needs a whole number from 1 to 3660, not '0'"},
      {{"--days", "-1"}, "--days needs a whole number from 1 to 3660, not '-1'"},
      {{"--top", "0"}, "--top needs a whole number from 1 to 100000, not '0'"},
      {{"--months", "-3"}, "--months needs a whole number from 1 to 1200, not '-3'"},
      {{"--since", "2026-02-30"},
       "--since needs a date that exists, as YYYY-MM-DD, not '2026-02-30'"},
      {{"--until", "26-1-1"}, "--until needs a date that exists, as YYYY-MM-DD, not '26-1-1'"},
      {{"--since", "2026-03-02", "--until", "2026-03-01"}, "--since is after --until"},
      {{"--days", "3", "--since", "2026-03-01"}, "--days and --since/--until don't go together"},
      {{"--alert", "GB"},
       "--alert: a limit needs a number of bytes, e.g. 500GB, 1.5TB, 200GiB or 1000000"},
      {{"--alert", "5GB", "--period", "week"}, "--period takes day|month, not 'week'"},
      {{"--direction", "in"}, "--direction goes with --alert"},
      {{"--units", "metric"}, "--units takes si|iec, not 'metric'"},
      {{"--months", "--top"}, "--months and --top don't go together"},
      {{"--oneline", "--json"}, "--json doesn't go with --oneline"},
      {{"--top", "--svg", "x"},
       "--svg draws the day, month, year, hour and five-minute views only"},
      {{"--hours", "1513"}, "--hours needs a whole number from 1 to 1512, not '1513'"},
      {{"--fiveminutes", "0"}, "--fiveminutes needs a whole number from 1 to 864, not '0'"},
      {{"--hours", "--months"}, "--hours and --months don't go together"},
      {{"--hours", "--days", "2"}, "--days, --since and --until go with the day and top views"},
      {{"--date", "2026-12-08"}, "--date goes with --hours and --fiveminutes"},
      {{"--hours", "3", "--date", "2026-12-08"},
       "--hours takes no count with --date: it shows the whole date"},
      {{"--months", "--days", "3"}, "--days, --since and --until go with the day and top views"},
      {{"--json", "--svg", "x"}, "--json and --svg don't go together"},
      {{"--label"}, "--label needs a value"},
      {{"--count", "2"}, "--count goes with --live"},
      {{"--live=yes"}, "--live takes no value"},
      {{"history"}, "unknown option history"},
  };
  for (const auto& [args, message] : cases) {
    std::string why;
    EXPECT_FALSE(parsed(args, &why)) << message;
    EXPECT_EQ(message, why);
  }
}

}  // namespace
