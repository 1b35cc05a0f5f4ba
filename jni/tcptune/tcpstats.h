// Reading words of the kernel's TCP statistics record and rendering the
// one-line summary: pure functions, kept apart from the socket calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tcpstats {

// The record is always requested with the length of its first form; a kernel
// with a longer record fills only these bytes.
constexpr std::size_t infoLength = 104;

// Byte offsets of the words that are read, named as the Linux header names them.
constexpr std::size_t offSndMss = 16;
constexpr std::size_t offUnacked = 24;
constexpr std::size_t offFackets = 40;
constexpr std::size_t offRtt = 68;
constexpr std::size_t offRttvar = 72;
constexpr std::size_t offSndCwnd = 80;
constexpr std::size_t offRcvRtt = 92;
constexpr std::size_t offTotalRetrans = 100;

// Size of the statistics line buffer; the longest line takes 103 characters.
constexpr std::size_t lineSize = 256;

// The unsigned 32-bit word at a byte offset of the record.
std::uint32_t infoWord(const unsigned char (&info)[infoLength], std::size_t offset);

// Formats "retrans,unacked,rtt,rttvar,rcv_rtt,cwnd,mss,name,fackets" into line.
void formatStats(char (&line)[lineSize], const unsigned char (&info)[infoLength],
                 const char* name);

}  // namespace tcpstats
