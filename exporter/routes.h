#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class Endpoint { page, script, metrics, days, months, today, rates, chart, hours, fiveminutes };

// What a request asks for, or why it can't be served: status 200 with an
// endpoint, else 404, 405 or 400 and a message for the client.
struct Route {
  int status = 200;
  Endpoint endpoint = Endpoint::page;
  // days (days, chart), months (months), hours or five-minute intervals:
  // 0 for the view's default
  int count = 0;
  std::optional<std::chrono::sys_days> date;  // hours: the whole of that date
  std::string message;
  bool allowedmethods = false;  // 405: the response names GET and HEAD
};

using QueryArguments = std::vector<std::pair<std::string, std::string>>;

// The route of a method, a path (without the query) and its decoded query
// arguments. Only the fixed paths exist: nothing in a request names a file.
Route route(std::string_view method, std::string_view path, const QueryArguments& query);
