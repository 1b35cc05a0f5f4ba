#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "iftable.h"

// Lists and zeroes both chains, with exact byte counts and numeric addresses.
inline constexpr const char iptcmd[] =
    "iptables -t mangle -xvnL -Z RTCHARTS_IN && iptables -t mangle -xvnL -Z RTCHARTS_OUT";

// What a counted rule line says, as views into the listing.
struct RuleLine {
  int64_t bytes = 0;
  std::string_view iface;
  std::string_view dest;   // empty for "0.0.0.0/0"
  std::string_view col11;  // third word after the destination
};

// Zeroes the interval counters, then adds each counted rule line's bytes to the
// first matching record of the table. Always 0.
int extractbytes(const char* text);

// Reads the columns of a rule line; outbound selects the out column.
RuleLine parseruleline(std::string_view line, bool outbound);

// The first record in table order that the line belongs to, or nullptr.
IfInfo* findrecord(std::span<IfInfo> table, const RuleLine& line);
