#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "basicauth.h"
#include "httpserver.h"
#include "servedfiles.h"

// The exporter's answers to requests: routes them, checks credentials when
// there are any, and serves the figures, the report's views and the page.
class ExporterApp {
 public:
  ExporterApp(ServedFiles& files, std::vector<Credential> credentials);

  HttpReply handle(const HttpRequest& request);

 private:
  bool authorized(std::string_view header);
  HttpReply serve(const Route& route, const HttpRequest& request);

  ServedFiles& files_;
  std::vector<Credential> credentials_;
  std::mutex lock_;
  std::vector<std::string> accepted_;  // Authorization values whose password matched
};

// The page and its script, served at / and /page.js.
extern const char kpagehtml[];
extern const char kpagejs[];
