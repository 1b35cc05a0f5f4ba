#include "exporteroptions.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <cstring>

std::string exporterusage() {
  constexpr std::string_view indent = "                         ";
  return "usage: byteloom-exporter [--listen ADDR:PORT]... " + setupusage(indent) + "\n" +
         std::string(indent) +
         "[--auth-file FILE] [--tls-cert FILE --tls-key FILE]\n"
         "                         [--threads N] [--connection-limit N] [--timeout SECONDS]\n"
         "                         [--request-limit BYTES]\n"
         "Serves byteloom's figures over HTTP: /metrics for Prometheus, /api/days,\n"
         "/api/months, /api/today, /api/rates, /chart.svg and a live page at /.\n"
         "Listens on 127.0.0.1:9468 unless told otherwise.\n";
}

namespace {

template <typename Number>
std::optional<Number> parsenumber(std::string_view text, Number low, Number high) {
  Number value{};
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return std::nullopt;
  return value;
}

// The options of the exporter itself, each named once; the setup options
// come from the table every reader of the files shares.
struct PathOption {
  const char* name;
  std::optional<std::string> ExporterOptions::*field;
};

constexpr PathOption kpathoptions[] = {
    {"--auth-file", &ExporterOptions::authfile},
    {"--tls-cert", &ExporterOptions::tlscert},
    {"--tls-key", &ExporterOptions::tlskey},
};

struct NumberOption {
  const char* name;
  unsigned low, high;
  const char* unit;  // how the message names the number
  void (*set)(ExporterOptions&, unsigned);
};

constexpr NumberOption knumberoptions[] = {
    {"--threads", 1, 64, "a whole number", [](ExporterOptions& o, unsigned v) { o.threads = v; }},
    {"--connection-limit", 1, 65536, "a whole number",
     [](ExporterOptions& o, unsigned v) { o.connectionlimit = v; }},
    {"--timeout", 1, 3600, "a whole number of seconds",
     [](ExporterOptions& o, unsigned v) { o.timeout = v; }},
    {"--request-limit", 1024, 1u << 20, "a whole number of bytes",
     [](ExporterOptions& o, unsigned v) { o.requestlimit = v; }},
};

const NumberOption* numberoption(std::string_view name) {
  for (const NumberOption& option : knumberoptions)
    if (name == option.name) return &option;
  return nullptr;
}

bool known(std::string_view name) {
  for (const PathOption& option : kpathoptions)
    if (name == option.name) return true;
  for (const SetupOption& option : ksetupoptions)
    if (name == option.name) return true;
  return numberoption(name) || name == "--listen";
}

bool applyvalue(ExporterOptions& options, std::string_view name, std::string_view value,
                std::string& error) {
  if (applysetupoption(options.setup, name, value)) return true;
  for (const PathOption& option : kpathoptions)
    if (name == option.name) {
      options.*option.field = std::string(value);
      return true;
    }
  if (const NumberOption* option = numberoption(name)) {
    std::optional<unsigned> number = parsenumber(value, option->low, option->high);
    if (number) option->set(options, *number);
    if (!number)
      error = std::string(name) + " needs " + option->unit + " from " +
              std::to_string(option->low) + " to " + std::to_string(option->high);
    return number.has_value();
  }
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
    if (!known(name)) {
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
