// A steady flood of UDP datagrams to one address, IPv4 or IPv6, for the real
// packet-filter tests: RATE datagrams of PAYLOAD bytes a second, in 1 ms
// ticks, for SECONDS seconds. Nothing needs to receive them: the chains count
// a datagram before it is delivered. Prints the number sent.
// Usage: udpflood ADDRESS PORT RATE SECONDS PAYLOAD
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

// Unconnected, so the port-unreachable replies don't fail later sends.
int udpsocket(const char* address, const char* port, sockaddr_storage& to, socklen_t& tolen) {
  addrinfo hints{}, *found = nullptr;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  hints.ai_socktype = SOCK_DGRAM;
  if (getaddrinfo(address, port, &hints, &found) != 0) return -1;
  int fd = socket(found->ai_family, SOCK_DGRAM, 0);
  memcpy(&to, found->ai_addr, found->ai_addrlen);
  tolen = found->ai_addrlen;
  freeaddrinfo(found);
  return fd;
}

double seconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: udpflood ADDRESS PORT RATE SECONDS PAYLOAD\n");
    return 2;
  }
  sockaddr_storage to{};
  socklen_t tolen = 0;
  int fd = udpsocket(argv[1], argv[2], to, tolen);
  if (fd < 0) {
    perror("udpflood: socket");
    return 1;
  }
  long rate = atol(argv[3]);
  double duration = atof(argv[4]);
  std::vector<char> payload(static_cast<size_t>(atol(argv[5])), 'x');
  long sent = 0;
  double start = seconds();
  for (double elapsed = 0; elapsed < duration; elapsed = seconds() - start) {
    long due = static_cast<long>(elapsed * static_cast<double>(rate));
    // An error (a refused port, a full queue) is no datagram sent; the
    // chains count only what went out.
    for (; sent < due; ++sent)
      sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to), tolen);
    timespec tick{0, 1'000'000};
    nanosleep(&tick, nullptr);
  }
  printf("%ld\n", sent);
  return 0;
}
