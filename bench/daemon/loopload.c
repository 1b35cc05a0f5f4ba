/* A steady, bounded UDP load on the loopback address: COUNT datagrams of
 * PAYLOAD bytes to 127.0.0.1:PORT, RATE a second in 1 ms ticks, then it
 * stops; it also stops after twice the planned time, whatever it has sent.
 * A socket of its own is bound to PORT so that no datagram is refused.
 * Prints "sent N ipbytes B", B being the IP length of what was sent.
 * Usage: byteloom_loopload PORT COUNT RATE PAYLOAD */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { kheaderbytes = 28, kmaxpayload = 1400, ktickns = 1000000 };

static int loopbacksocket(int port, int bind_) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  struct sockaddr_in address;
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons((unsigned short)port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int ok = bind_ ? bind(fd, (struct sockaddr*)&address, sizeof address)
                 : connect(fd, (struct sockaddr*)&address, sizeof address);
  if (fd < 0 || ok != 0) {
    perror("loopback socket");
    exit(1);
  }
  return fd;
}

static void addns(struct timespec* t, long ns) {
  t->tv_nsec += ns;
  while (t->tv_nsec >= 1000000000L) t->tv_nsec -= 1000000000L, ++t->tv_sec;
}

static int before(const struct timespec* a, const struct timespec* b) {
  return a->tv_sec < b->tv_sec || (a->tv_sec == b->tv_sec && a->tv_nsec < b->tv_nsec);
}

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: %s PORT COUNT RATE PAYLOAD\n", argv[0]);
    return 2;
  }
  int port = atoi(argv[1]);
  long count = atol(argv[2]), rate = atol(argv[3]);
  size_t payload = (size_t)atol(argv[4]);
  if (port <= 0 || count <= 0 || rate < 1000 || payload > kmaxpayload) {
    fprintf(stderr, "%s: PORT > 0, COUNT > 0, RATE >= 1000, PAYLOAD <= %d\n", argv[0], kmaxpayload);
    return 2;
  }
  int receiver = loopbacksocket(port, 1);
  int sender = loopbacksocket(port, 0);
  char datagram[kmaxpayload] = {0};
  long pertick = rate / 1000, sent = 0;
  struct timespec tick, deadline;
  clock_gettime(CLOCK_MONOTONIC, &tick);
  deadline = tick;
  deadline.tv_sec += 2 * (count / rate + 1);
  for (long attempted = 0; attempted < count && before(&tick, &deadline);) {
    for (long i = 0; i < pertick && attempted < count; ++i, ++attempted)
      if (send(sender, datagram, payload, 0) == (ssize_t)payload) ++sent;
    addns(&tick, ktickns);
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, NULL);
  }
  close(sender);
  close(receiver);
  printf("sent %ld ipbytes %ld\n", sent, sent * (long)(payload + kheaderbytes));
  return 0;
}
