#pragma once
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// A plain HTTP/1.1 exchange on loopback, for tests and the benchmark.
struct HttpAnswer {
  int status = 0;  // 0: no answer (refused, closed or timed out)
  std::string headers;
  std::string body;
};

// Connects to 127.0.0.1:port; -1 on failure.
int connectloopback(unsigned port);

// Sends request as it is and reads the answer until the server closes the
// connection or the time-out passes.
HttpAnswer httpexchange(unsigned port, const std::string& request,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));

// GET path with "Connection: close" and any extra header lines.
HttpAnswer httpget(unsigned port, const std::string& path, const std::string& extra = "",
                   std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The value of a sample line "name{labels} value" in a metrics text, or
// nullopt when there is none.
std::optional<long long> samplevalue(const std::string& metrics, const std::string& series);

// A running byteloom-exporter, stopped when destroyed.
class ExporterProcess {
 public:
  ExporterProcess(const std::string& binary, const std::vector<std::string>& args);
  ~ExporterProcess();
  ExporterProcess(const ExporterProcess&) = delete;
  ExporterProcess& operator=(const ExporterProcess&) = delete;

  unsigned port() const { return port_; }  // 0 if it did not start
  pid_t pid() const { return pid_; }
  std::string stderror() const;
  long residentkb() const;  // VmRSS

 private:
  pid_t pid_ = -1;
  unsigned port_ = 0;
  std::string errfile_;
};
