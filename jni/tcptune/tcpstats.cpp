#include "tcpstats.h"

#include <cstdio>
#include <cstring>

#include <netinet/tcp.h>

namespace tcpstats {

// The offsets are fixed by the record's first form; the header must agree.
static_assert(offsetof(struct tcp_info, tcpi_snd_mss) == offSndMss);
static_assert(offsetof(struct tcp_info, tcpi_unacked) == offUnacked);
static_assert(offsetof(struct tcp_info, tcpi_fackets) == offFackets);
static_assert(offsetof(struct tcp_info, tcpi_rtt) == offRtt);
static_assert(offsetof(struct tcp_info, tcpi_rttvar) == offRttvar);
static_assert(offsetof(struct tcp_info, tcpi_snd_cwnd) == offSndCwnd);
static_assert(offsetof(struct tcp_info, tcpi_rcv_rtt) == offRcvRtt);
static_assert(offsetof(struct tcp_info, tcpi_total_retrans) == offTotalRetrans);

std::uint32_t infoWord(const unsigned char (&info)[infoLength], std::size_t offset)
{
    std::uint32_t word;
    std::memcpy(&word, info + offset, sizeof word);
    return word;
}

void formatStats(char (&line)[lineSize], const unsigned char (&info)[infoLength],
                 const char* name)
{
    std::snprintf(line, sizeof line, "%u,%u,%u,%u,%u,%u,%u,%s,%u",
                  infoWord(info, offTotalRetrans), infoWord(info, offUnacked),
                  infoWord(info, offRtt), infoWord(info, offRttvar),
                  infoWord(info, offRcvRtt), infoWord(info, offSndCwnd),
                  infoWord(info, offSndMss), name, infoWord(info, offFackets));
}

}  // namespace tcpstats
