#include "tcpstats.h"

#include <cstdio>
#include <cstring>

#include <netinet/tcp.h>

namespace tcpstats {

// The offsets are fixed by the record's first form; the header must agree.
static_assert(offsetof(struct tcp_info, tcpi_snd_mss) == kOffSndMss);
static_assert(offsetof(struct tcp_info, tcpi_unacked) == kOffUnacked);
static_assert(offsetof(struct tcp_info, tcpi_fackets) == kOffFackets);
static_assert(offsetof(struct tcp_info, tcpi_rtt) == kOffRtt);
static_assert(offsetof(struct tcp_info, tcpi_rttvar) == kOffRttvar);
static_assert(offsetof(struct tcp_info, tcpi_snd_cwnd) == kOffSndCwnd);
static_assert(offsetof(struct tcp_info, tcpi_rcv_rtt) == kOffRcvRtt);
static_assert(offsetof(struct tcp_info, tcpi_total_retrans) == kOffTotalRetrans);

std::uint32_t infoWord(const unsigned char (&info)[kInfoLength], std::size_t offset) {
  std::uint32_t word;
  std::memcpy(&word, info + offset, sizeof word);
  return word;
}

void formatStats(char (&line)[kLineSize], const unsigned char (&info)[kInfoLength],
                 const char* name) {
  std::snprintf(line, sizeof line, "%u,%u,%u,%u,%u,%u,%u,%s,%u", infoWord(info, kOffTotalRetrans),
                infoWord(info, kOffUnacked), infoWord(info, kOffRtt), infoWord(info, kOffRttvar),
                infoWord(info, kOffRcvRtt), infoWord(info, kOffSndCwnd), infoWord(info, kOffSndMss),
                name, infoWord(info, kOffFackets));
}

}  // namespace tcpstats
