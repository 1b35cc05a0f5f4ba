// Reading words of the kernel's TCP statistics record and rendering the
// one-line summary: pure functions, kept apart from the socket calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tcpstats {

// The record is always requested with the length of its first form; a kernel
// with a longer record fills only these bytes.
constexpr std::size_t kInfoLength = 104;

// Byte offsets of the words that are read, named as the Linux header names them.
constexpr std::size_t kOffSndMss = 16;
constexpr std::size_t kOffUnacked = 24;
constexpr std::size_t kOffFackets = 40;
constexpr std::size_t kOffRtt = 68;
constexpr std::size_t kOffRttvar = 72;
constexpr std::size_t kOffSndCwnd = 80;
constexpr std::size_t kOffRcvRtt = 92;
constexpr std::size_t kOffTotalRetrans = 100;

// Size of the statistics line buffer; the longest line takes 103 characters.
constexpr std::size_t kLineSize = 256;

// The unsigned 32-bit word at a byte offset of the record.
std::uint32_t infoWord(const unsigned char (&info)[kInfoLength], std::size_t offset);

// Formats "retrans,unacked,rtt,rttvar,rcv_rtt,cwnd,mss,name,fackets" into line.
void formatStats(char (&line)[kLineSize], const unsigned char (&info)[kInfoLength],
                 const char* name);

}  // namespace tcpstats
