#include "exporteroptions.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <cstring>

const char kexporterusage[] =
    "usage: byteloom-exporter [--listen ADDR:PORT]... [--startup-script PATH] [--config FILE]\n"
    "                         [--rate-file F] [--today-file F] [--day-file F] [--history-file F]\n"
    "                         [--auth-file FILE] [--tls-cert FILE --tls-key FILE]\n"
    "                         [--threads N] [--connection-limit N] [--timeout SECONDS]\n"
    "                         [--request-limit BYTES]\n"
    "Serves byteloom's figures over HTTP: /metrics for Prometheus, /api/days,\n"
    "/api/months, /api/today, /api/rates, /chart.svg and a live page at /.\n"
    "Listens on 127.0.0.1:9468 unless told otherwise.\n";

namespace {

template <typename Number>
std::optional<Number> parsenumber(std::string_view text, Number low, Number high) {
  Number value{};
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return std::nullopt;
  return value;
}

std::optional<std::string>* pathoption(ExporterOptions& options, std::string_view name) {
  return name == "--startup-script" ? &options.startupscript
         : name == "--config"       ? &options.config
         : name == "--rate-file"    ? &options.ratefile
         : name == "--today-file"   ? &options.todayfile
         : name == "--day-file"     ? &options.dayfile
         : name == "--history-file" ? &options.historyfile
         : name == "--auth-file"    ? &options.authfile
         : name == "--tls-cert"     ? &options.tlscert
         : name == "--tls-key"      ? &options.tlskey
                                    : nullptr;
}

// A numeric option's value, range and message; false when it is not one.
bool applynumber(ExporterOptions& options, std::string_view name, std::string_view value,
                 std::string& error) {
  std::optional<unsigned> number;
  if (name == "--threads") {
    if ((number = parsenumber(value, 1u, 64u)))
      options.threads = *number;
    else
      error = "--threads needs a whole number from 1 to 64";
  } else if (name == "--connection-limit") {
    if ((number = parsenumber(value, 1u, 65536u)))
      options.connectionlimit = *number;
    else
      error = "--connection-limit needs a whole number from 1 to 65536";
  } else if (name == "--timeout") {
    if ((number = parsenumber(value, 1u, 3600u)))
      options.timeout = *number;
    else
      error = "--timeout needs a whole number of seconds from 1 to 3600";
  } else {
    if ((number = parsenumber(value, 1024u, 1u << 20)))
      options.requestlimit = *number;
    else
      error = "--request-limit needs a whole number of bytes from 1024 to 1048576";
  }
  return number.has_value();
}

bool isnumberoption(std::string_view name) {
  return name == "--threads" || name == "--connection-limit" || name == "--timeout" ||
         name == "--request-limit";
}

bool applyvalue(ExporterOptions& options, std::string_view name, std::string_view value,
                std::string& error) {
  if (std::optional<std::string>* path = pathoption(options, name)) {
    *path = std::string(value);
    return true;
  }
  if (isnumberoption(name)) return applynumber(options, name, value, error);
  if (!parselisten(value)) {
    error = "--listen needs ADDR:PORT or [ADDR]:PORT with a numeric address, not '" +
            std::string(value) + "'";
    return false;
  }
  options.listen.emplace_back(value);
  return true;
}

bool checkcombination(const ExporterOptions& options, std::string& error) {
  if (options.tlscert.has_value() != options.tlskey.has_value()) {
    error = "--tls-cert and --tls-key go together";
    return false;
  }
  return true;
}

}  // namespace

std::optional<ExporterOptions> parseexporteroptions(const std::vector<std::string_view>& args,
                                                    std::string& error) {
  ExporterOptions options;
  for (size_t at = 0; at < args.size(); ++at) {
    std::string_view name = args[at];
    std::optional<std::string_view> value;
    if (size_t equals = name.find('=');
        name.starts_with("--") && equals != std::string_view::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    ExporterOptions probe;
    if (!pathoption(probe, name) && !isnumberoption(name) && name != "--listen") {
      error = "unknown option '" + std::string(args[at]) + "'";
      return std::nullopt;
    }
    if (!value && at + 1 < args.size()) value = args[++at];
    if (!value) {
      error = std::string(name) + " needs a value";
      return std::nullopt;
    }
    if (!applyvalue(options, name, *value, error)) return std::nullopt;
  }
  if (!checkcombination(options, error)) return std::nullopt;
  return options;
}

std::optional<ListenAddress> parselisten(std::string_view text) {
  size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::optional<unsigned> port = parsenumber(text.substr(colon + 1), 0u, 65535u);
  std::string host(text.substr(0, colon));
  if (!port || host.empty()) return std::nullopt;
  ListenAddress result;
  if (host.front() == '[' && host.back() == ']' && host.size() > 2) {
    auto* six = reinterpret_cast<sockaddr_in6*>(&result.address);
    six->sin6_family = AF_INET6;
    six->sin6_port = htons(static_cast<uint16_t>(*port));
    if (inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &six->sin6_addr) != 1)
      return std::nullopt;
    result.length = sizeof(sockaddr_in6);
    result.ipv6 = true;
    return result;
  }
  auto* four = reinterpret_cast<sockaddr_in*>(&result.address);
  four->sin_family = AF_INET;
  four->sin_port = htons(static_cast<uint16_t>(*port));
  if (inet_pton(AF_INET, host.c_str(), &four->sin_addr) != 1) return std::nullopt;
  result.length = sizeof(sockaddr_in);
  return result;
}
