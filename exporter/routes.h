#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class Endpoint { page, script, metrics, days, months, today, rates, chart };

// What a request asks for, or why it can't be served: status 200 with an
// endpoint, else 404, 405 or 400 and a message for the client.
struct Route {
  int status = 200;
  Endpoint endpoint = Endpoint::page;
  int count = 0;  // days (days, chart) or months (months): 0 for the view's default
  std::string message;
  bool allowedmethods = false;  // 405: the response names GET and HEAD
};

using QueryArguments = std::vector<std::pair<std::string, std::string>>;

// The route of a method, a path (without the query) and its decoded query
// arguments. Only the fixed paths exist: nothing in a request names a file.
Route route(std::string_view method, std::string_view path, const QueryArguments& query);
