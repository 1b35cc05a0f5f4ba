#include "routes.h"

#include <charconv>

#include "intervals.h"
#include "views.h"

namespace {

// A path and the count it takes in its query, if any, with its limit; the
// hours take a date instead.
struct Path {
  const char* path;
  Endpoint endpoint;
  const char* parameter;
  int limit;
  const char* dateparameter = nullptr;
};

constexpr Path kpaths[] = {
    {"/", Endpoint::page, nullptr, 0},
    {"/page.js", Endpoint::script, nullptr, 0},
    {"/metrics", Endpoint::metrics, nullptr, 0},
    {"/api/days", Endpoint::days, "days", kmaxdays},
    {"/api/months", Endpoint::months, "months", kmaxmonths},
    {"/api/today", Endpoint::today, nullptr, 0},
    {"/api/rates", Endpoint::rates, nullptr, 0},
    {"/chart.svg", Endpoint::chart, "days", kmaxdays},
    {"/api/hours", Endpoint::hours, "hours", kmaxhours, "date"},
    {"/api/fiveminutes", Endpoint::fiveminutes, "count", kmaxfiveminutes},
};

Route refuse(int status, std::string message) {
  Route result;
  result.status = status;
  result.message = std::move(message);
  return result;
}

// A whole number from 1 to limit.
bool parsecount(std::string_view text, int limit, int& count) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  return error == std::errc() && end == text.data() + text.size() && count >= 1 && count <= limit;
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
    if (found->dateparameter && name == found->dateparameter) {
      if (!(result.date = parseisodate(value)))
        return refuse(400, name + " needs a date that exists, as YYYY-MM-DD\n");
      continue;
    }
    if (!found->parameter || name != found->parameter)
      return refuse(400, "unknown query parameter '" + name.substr(0, 40) + "'\n");
    if (!parsecount(value, found->limit, result.count))
      return refuse(
          400, name + " needs a whole number from 1 to " + std::to_string(found->limit) + "\n");
  }
  if (result.date && result.count)
    return refuse(400, std::string(found->parameter) + " and " + found->dateparameter +
                           " don't go together: a date shows all its hours\n");
  return result;
}
