// Sends a fixed number of UDP datagrams over loopback to a socket of its own
// and waits until all have arrived, so their bytes are counted before it ends.
// Usage: udpburst COUNT PAYLOAD_BYTES [6]   (6: over ::1 instead of 127.0.0.1)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

int boundsocket(sockaddr_storage& address, bool ipv6) {
  int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
  address = {};
  socklen_t len = sizeof(sockaddr_in);
  if (ipv6) {
    auto& six = reinterpret_cast<sockaddr_in6&>(address);
    six.sin6_family = AF_INET6;
    six.sin6_addr = in6addr_loopback;
    len = sizeof six;
  } else {
    auto& four = reinterpret_cast<sockaddr_in&>(address);
    four.sin_family = AF_INET;
    four.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), len) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &len) != 0) {
    perror("udpburst: socket");
    exit(1);
  }
  return fd;
}

int receiveall(int fd, int count, std::vector<char>& buffer) {
  int received = 0;
  pollfd wait{fd, POLLIN, 0};
  while (received < count && poll(&wait, 1, 5000) == 1)
    if (recv(fd, buffer.data(), buffer.size(), 0) >= 0) ++received;
  return received;
}

}  // namespace

int main(int argc, char** argv) {
  bool ipv6 = argc == 4 && argv[3][0] == '6' && argv[3][1] == '\0';
  if (argc != 3 && !ipv6) {
    fprintf(stderr, "usage: udpburst COUNT PAYLOAD_BYTES [6]\n");
    return 2;
  }
  int count = atoi(argv[1]);
  std::vector<char> payload(static_cast<size_t>(atoi(argv[2])), 'x');
  sockaddr_storage receiver{}, sender{};
  int in = boundsocket(receiver, ipv6);
  int out = boundsocket(sender, ipv6);
  socklen_t receiverlen = ipv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  int received = 0;
  for (int i = 0; i < count; ++i) {
    sendto(out, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&receiver),
           receiverlen);
    received += receiveall(in, 1, payload);  // one at a time: the socket buffer never overflows
  }
  close(in);
  close(out);
  printf("%d\n", received);
  return received == count ? 0 : 1;
}
