#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "ifrecord.h"
#include "listing.h"

// Lists and zeroes both chains, with exact byte counts and numeric addresses.
inline constexpr const char iptcmd[] =
    "iptables -t mangle -xvnL -Z RTCHARTS_IN && iptables -t mangle -xvnL -Z RTCHARTS_OUT";

// Zeroes the interval counters, then adds each counted rule line's bytes to the
// first matching record of the table. Always 0.
int extractbytes(const char* text);

// Adds bytes to the interval and day counters of the direction; they hold at
// the 64-bit limits instead of wrapping.
void addbytes(IfInfo& record, bool outbound, int64_t bytes);

// Adds each counted rule line's bytes of a listing of both chains to the
// interval and day counters of its first matching record. Allocates nothing.
void countlisting(std::string_view listing, std::span<IfInfo> table,
                  std::string_view anydest = kanyipv4);
