#include "routes.h"

#include <charconv>

#include "options.h"

namespace {

struct Path {
  const char* path;
  Endpoint endpoint;
  bool takesdays;
};

constexpr Path kpaths[] = {
    {"/", Endpoint::page, false},           {"/metrics", Endpoint::metrics, false},
    {"/api/days", Endpoint::days, true},    {"/api/months", Endpoint::months, false},
    {"/api/today", Endpoint::today, false}, {"/api/rates", Endpoint::rates, false},
    {"/chart.svg", Endpoint::chart, true},  {"/page.js", Endpoint::script, false},
};

Route refuse(int status, std::string message) {
  Route result;
  result.status = status;
  result.message = std::move(message);
  return result;
}

// days=N: a whole number from 1 to the report's limit.
bool parsedays(std::string_view text, int& days) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), days);
  return error == std::errc() && end == text.data() + text.size() && days >= 1 && days <= kmaxdays;
}

}  // namespace

Route route(std::string_view method, std::string_view path, const QueryArguments& query) {
  const Path* found = nullptr;
  for (const Path& candidate : kpaths)
    if (path == candidate.path) found = &candidate;
  if (!found) return refuse(404, "no such page\n");
  if (method != "GET" && method != "HEAD") {
    Route refused = refuse(405, "only GET and HEAD\n");
    refused.allowedmethods = true;
    return refused;
  }
  Route result;
  result.endpoint = found->endpoint;
  for (const auto& [name, value] : query) {
    if (name != "days" || !found->takesdays)
      return refuse(400, "unknown query parameter '" + name.substr(0, 40) + "'\n");
    if (!parsedays(value, result.days))
      return refuse(400, "days needs a whole number from 1 to " + std::to_string(kmaxdays) + "\n");
  }
  return result;
}
