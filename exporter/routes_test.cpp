#include "routes.h"

#include <gtest/gtest.h>

namespace {

TEST(Routes, PathsMethodsAndQueries) {
  Route days = route("GET", "/api/days", {{"days", "30"}});
  EXPECT_EQ(200, days.status);
  EXPECT_EQ(Endpoint::days, days.endpoint);
  EXPECT_EQ(30, days.count);
  EXPECT_EQ(0, route("HEAD", "/chart.svg", {}).count);
  EXPECT_EQ(Endpoint::metrics, route("HEAD", "/metrics", {}).endpoint);
  Route post = route("POST", "/metrics", {});
  EXPECT_EQ(405, post.status);
  EXPECT_TRUE(post.allowedmethods);
  EXPECT_EQ(405, route("DELETE", "/", {}).status);
  // Nothing outside the fixed paths, however it is spelt.
  for (const char* path : {"/metrics/", "/../etc/passwd", "/api", "/api/days/../today", "//metrics",
                           "/METRICS", "", "/page.js%00"})
    EXPECT_EQ(404, route("GET", path, {}).status) << path;
}

TEST(Routes, BadQueryValuesAre400) {
  for (const char* value : {"0", "-1", "3661", "7x", "", " 7", "99999999999999999999"})
    EXPECT_EQ(400, route("GET", "/api/days", {{"days", value}}).status) << value;
  EXPECT_EQ(3660, route("GET", "/chart.svg", {{"days", "3660"}}).count);
  EXPECT_EQ(1200, route("GET", "/api/months", {{"months", "1200"}}).count);
  EXPECT_EQ(400, route("GET", "/api/months", {{"months", "1201"}}).status);
  EXPECT_EQ(400, route("GET", "/api/months", {{"days", "3"}}).status);
  Route unknown = route("GET", "/metrics", {{"days", "3"}});
  EXPECT_EQ(400, unknown.status);
  EXPECT_EQ("unknown query parameter 'days'\n", unknown.message);
  EXPECT_EQ(400, route("GET", "/api/days", {{"days", "3"}, {"x", ""}}).status);
}

TEST(Routes, HoursTakeACountOrADateFiveMinutesACount) {
  Route hours = route("GET", "/api/hours", {{"date", "2026-12-08"}});
  EXPECT_EQ(Endpoint::hours, hours.endpoint);
  EXPECT_EQ(std::chrono::sys_days(std::chrono::year(2026) / 12 / 8), hours.date);
  EXPECT_EQ(0, hours.count);
  EXPECT_EQ(1512, route("GET", "/api/hours", {{"hours", "1512"}}).count);
  EXPECT_EQ(12, route("GET", "/api/fiveminutes", {{"count", "12"}}).count);
  for (const QueryArguments& bad :
       {QueryArguments{{"hours", "1513"}}, QueryArguments{{"date", "2026-02-30"}},
        QueryArguments{{"date", "../../etc"}}, QueryArguments{{"count", "3"}},
        QueryArguments{{"hours", "3"}, {"date", "2026-12-08"}}})
    EXPECT_EQ(400, route("GET", "/api/hours", bad).status) << bad[0].first;
  EXPECT_EQ(400, route("GET", "/api/fiveminutes", {{"date", "2026-12-08"}}).status);
  EXPECT_EQ(400, route("GET", "/api/fiveminutes", {{"count", "865"}}).status);
}

}  // namespace
