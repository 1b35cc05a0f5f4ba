#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exporteroptions.h"
#include "routes.h"

// A request as the handler sees it.
struct HttpRequest {
  std::string_view method;
  std::string_view path;
  QueryArguments query;
  std::string_view accept;         // "" when absent
  std::string_view authorization;  // "" when absent
};

// The handler's answer; HEAD requests get its headers without the body.
struct HttpReply {
  int status = 200;
  std::string contenttype = "text/plain; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

using HttpHandler = std::function<HttpReply(const HttpRequest&)>;

// The limits every listening address gets.
struct ServerSettings {
  unsigned threads = 4;
  unsigned connectionlimit = 512;
  unsigned timeout = 10;  // seconds
  size_t requestlimit = 16384;
  std::string tlscert, tlskey;  // PEM text; both empty for plain HTTP
};

// libmicrohttpd daemons, one per listening address, each with its own thread
// pool on epoll, calling one handler. Stops them when destroyed.
class HttpServer {
 public:
  explicit HttpServer(HttpHandler handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Starts listening; false with a reason in error.
  bool listen(const ListenAddress& address, const ServerSettings& settings, std::string& error);

  // The port bound by the last listen (useful with port 0).
  unsigned boundport() const;

 private:
  HttpHandler handler_;
  std::vector<void*> daemons_;
};
