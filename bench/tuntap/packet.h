// The packet every column of the tuntap benchmark writes: IPv4/UDP from
// 192.0.2.2 to the device's own 192.0.2.1, port 9, 84 bytes in all, with a
// wrong UDP checksum so the stack drops it quietly (no reply, no queue).
#ifndef BENCH_TUNTAP_PACKET_H
#define BENCH_TUNTAP_PACKET_H

#include <cstring>

constexpr int kBenchPacketLength = 84;

inline void benchPacket(unsigned char* p) {
  static const unsigned char header[28] = {0x45, 0,
                                           0,    kBenchPacketLength,
                                           0,    0,
                                           0,    0,
                                           64,   17,
                                           0,    0,
                                           192,  0,
                                           2,    2,
                                           192,  0,
                                           2,    1,
                                           0x10, 0x00,
                                           0,    9,
                                           0,    kBenchPacketLength - 20,
                                           0xde, 0xad};
  memset(p, 0x5a, kBenchPacketLength);
  memcpy(p, header, sizeof header);
  unsigned sum = 0;
  for (int i = 0; i < 20; i += 2) sum += (p[i] << 8) | p[i + 1];
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  p[10] = static_cast<unsigned char>(~sum >> 8);
  p[11] = static_cast<unsigned char>(~sum);
}

#endif  // BENCH_TUNTAP_PACKET_H
