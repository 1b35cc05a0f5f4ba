#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "ifrecord.h"
#include "tokens.h"

// The destination each family's listing prints for "any address".
inline constexpr std::string_view kanyipv4 = "0.0.0.0/0";
inline constexpr std::string_view kanyipv6 = "::/0";

// What a counted rule line says, as views into the listing.
struct RuleLine {
  int64_t bytes = 0;
  std::string_view iface;
  std::string_view dest;        // empty for the family's "any address"
  std::string_view matchvalue;  // third word after the destination, as "mark match 0x2" shows it
  std::string_view rule;        // the line from its target on: what it is, without its counters
};

// Reads the columns of a rule line; outbound selects the out column.
RuleLine parseruleline(std::string_view line, bool outbound, std::string_view anydest = kanyipv4);

// The first record in table order that the line belongs to, or nullptr.
IfInfo* findrecord(std::span<IfInfo> table, const RuleLine& line);

// Which chains a listing shows: a chain's header line came through.
struct ListedChains {
  bool in = false;
  bool out = false;
};

// Calls visit(rule, outbound) for each counted rule line of a listing of both
// chains, in order, and says which chain headers it saw. Allocates nothing.
template <typename Visit>
ListedChains walklisting(std::string_view listing, std::string_view anydest, Visit&& visit) {
  ListedChains listed;
  bool outbound = false;
  Tokens lines(listing, '\n');
  for (std::string_view line; lines.next(line);) {
    if (line.find("RETURN") == std::string_view::npos) {
      if (line.find("RTCHARTS_OUT") != std::string_view::npos) outbound = true;
      // Compared from the line's start: a rule that jumps to a chain is no header.
      if (line.starts_with("Chain RTCHARTS_IN ")) listed.in = true;
      if (line.starts_with("Chain RTCHARTS_OUT ")) listed.out = true;
      continue;
    }
    visit(parseruleline(line, outbound, anydest), outbound);
  }
  return listed;
}
