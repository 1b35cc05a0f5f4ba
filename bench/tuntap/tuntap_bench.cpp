// Baseline for the tuntap benchmark: the same system calls as the library's
// packet methods, from a C loop, on an existing TUN device.
// Usage: tuntap_bench DEVICE COUNT; prints "c write_pps N" and "c read_pps N".
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "packet.h"

namespace {

double now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int attach(const char* name) {
  int fd = open("/dev/net/tun", O_RDWR);
  if (fd < 0) return -1;
  ifreq ifr;
  memset(&ifr, 0, sizeof ifr);
  strncpy(ifr.ifr_name, name, IFNAMSIZ - 1);
  ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
  if (ioctl(fd, TUNSETIFF, &ifr) < 0) return -1;
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s DEVICE COUNT\n", argv[0]);
    return 2;
  }
  long count = atol(argv[2]);
  int fd = attach(argv[1]);
  if (fd < 0) {
    perror("attach");
    return 1;
  }
  unsigned char pkt[kBenchPacketLength];
  benchPacket(pkt);
  double t0 = now();
  for (long i = 0; i < count; i++) {
    if (write(fd, pkt, sizeof pkt) != static_cast<ssize_t>(sizeof pkt)) {
      perror("write");
      return 1;
    }
  }
  double t1 = now();
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  unsigned char buf[2048];
  double t2 = now();
  for (long i = 0; i < count; i++) {
    if (read(fd, buf, sizeof buf) >= 0) {
      fprintf(stderr, "read: a packet was queued\n");
      return 1;
    }
  }
  double t3 = now();
  printf("c write_pps %.0f\nc read_pps %.0f\n", static_cast<double>(count) / (t1 - t0),
         static_cast<double>(count) / (t3 - t2));
  return 0;
}
