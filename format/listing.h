#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "ifrecord.h"

// What a counted rule line says, as views into the listing.
struct RuleLine {
  int64_t bytes = 0;
  std::string_view iface;
  std::string_view dest;        // empty for "0.0.0.0/0"
  std::string_view matchvalue;  // third word after the destination, as "mark match 0x2" shows it
};

// Reads the columns of a rule line; outbound selects the out column.
RuleLine parseruleline(std::string_view line, bool outbound);

// The first record in table order that the line belongs to, or nullptr.
IfInfo* findrecord(std::span<IfInfo> table, const RuleLine& line);

// Adds each counted rule line's bytes of a listing of both chains to the
// interval and day counters of its first matching record. Allocates nothing.
void countlisting(std::string_view listing, std::span<IfInfo> table);
