#pragma once
#include <sys/socket.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup.h"

inline constexpr unsigned kdefaultport = 9468;

// The command line of byteloom-exporter.
struct ExporterOptions {
  std::vector<std::string> listen;  // ADDR:PORT or [ADDR]:PORT; empty: 127.0.0.1
  SetupRequest setup;               // the start-up script, its configuration, the four paths
  std::optional<std::string> authfile, tlscert, tlskey;
  unsigned threads = 4;            // per listening address
  unsigned connectionlimit = 512;  // per listening address
  unsigned timeout = 10;           // seconds a connection may stay silent
  size_t requestlimit = 16384;     // bytes of request line and headers
  bool help = false;
};

// Reads the command line (without the program name); nullopt with a reason
// in error when it can't be used.
std::optional<ExporterOptions> parseexporteroptions(const std::vector<std::string_view>& args,
                                                    std::string& error);

// An address to listen on.
struct ListenAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
  bool ipv6 = false;
};

// "127.0.0.1:9468" or "[::1]:9468"; nullopt unless it is a numeric address
// and a port up to 65535, 0 for any free one (no host names: nothing is resolved).
std::optional<ListenAddress> parselisten(std::string_view text);

// The usage text.
std::string exporterusage();
