// Baseline for the tcptune benchmark: the same getsockopt calls as
// getCongestionWindowInt ("cwnd") or getSocketStats ("stats"), from a C loop on
// a loopback connection of its own. Prints the calls per second.
// Usage: tcptune_cloop cwnd|stats SECONDS
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

double seconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A connected loopback client; the listener and the accepted peer stay open.
int connectLoopback() {
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  int client = socket(AF_INET, SOCK_STREAM, 0);
  if (listener < 0 || client < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), len) < 0 ||
      listen(listener, 1) < 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) < 0 ||
      connect(client, reinterpret_cast<sockaddr*>(&addr), len) < 0 ||
      accept(listener, nullptr, nullptr) < 0) {
    std::perror("tcptune_cloop: loopback connection");
    std::exit(1);
  }
  return client;
}

unsigned callOnce(int fd, bool stats) {
  unsigned char info[104];
  char name[64];
  socklen_t length = sizeof info;
  if (stats) {
    socklen_t nameLength = sizeof name;
    getsockopt(fd, IPPROTO_TCP, TCP_CONGESTION, name, &nameLength);
  }
  if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, info, &length) != 0) return 0;
  unsigned word;
  std::memcpy(&word, info + 80, sizeof word);
  return word;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tcptune_cloop cwnd|stats SECONDS\n");
    return 2;
  }
  const bool stats = std::strcmp(argv[1], "stats") == 0;
  const double duration = std::atof(argv[2]);
  const int fd = connectLoopback();
  unsigned long calls = 0;
  unsigned sink = 0;
  const double start = seconds();
  double now = start;
  while (now - start < duration) {
    for (int i = 0; i < 1024; ++i) sink += callOnce(fd, stats);
    calls += 1024;
    now = seconds();
  }
  std::printf("%.0f %u\n", static_cast<double>(calls) / (now - start), sink & 1u);
  return 0;
}
