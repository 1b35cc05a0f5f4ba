// Sends a fixed number of UDP datagrams over loopback to a socket of its own
// and waits until all have arrived, so their bytes are counted before it ends.
// Usage: udpburst COUNT PAYLOAD_BYTES
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

int boundsocket(sockaddr_in& address) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof address;
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
  if (argc != 3) {
    fprintf(stderr, "usage: udpburst COUNT PAYLOAD_BYTES\n");
    return 2;
  }
  int count = atoi(argv[1]);
  std::vector<char> payload(static_cast<size_t>(atoi(argv[2])), 'x');
  sockaddr_in receiver{}, sender{};
  int in = boundsocket(receiver);
  int out = boundsocket(sender);
  int received = 0;
  for (int i = 0; i < count; ++i) {
    sendto(out, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&receiver),
           sizeof receiver);
    received += receiveall(in, 1, payload);  // one at a time: the socket buffer never overflows
  }
  close(in);
  close(out);
  printf("%d\n", received);
  return received == count ? 0 : 1;
}
