#include "listing.h"

#include <limits>

#include "tokens.h"

namespace {

constexpr int64_t kmax = std::numeric_limits<int64_t>::max();
constexpr int64_t kmin = std::numeric_limits<int64_t>::min();

// Counters saturate rather than wrap: a wrapped day total would be a lie.
void addsaturating(int64_t& counter, int64_t bytes) {
  if (__builtin_add_overflow(counter, bytes, &counter)) counter = bytes > 0 ? kmax : kmin;
}

bool matches(const IfInfo& record, const RuleLine& line) {
  // Whole-token comparison: a token longer than the field never matches.
  if (line.iface != record.ifname) return false;
  bool catchall = record.matchval[0] == '\0' && record.dest[0] == '\0';
  if (catchall) return true;
  if (!line.dest.empty() && line.dest != record.dest) return false;
  return line.matchvalue.empty() || line.matchvalue == record.matchval;
}

}  // namespace

RuleLine parseruleline(std::string_view line, bool outbound) {
  RuleLine rule;
  Tokens tokens(line, ' ');
  std::string_view token;
  for (int k = 0; k <= 11 && tokens.next(token); ++k) {
    if (k == 1)
      rule.bytes = parsecount(token);
    else if (k == (outbound ? 6 : 5))
      rule.iface = token;
    else if (k == 8 && token != "0.0.0.0/0")
      rule.dest = token;
    else if (k == 11)
      rule.matchvalue = token;
  }
  return rule;
}

IfInfo* findrecord(std::span<IfInfo> table, const RuleLine& line) {
  for (IfInfo& record : table)
    if (matches(record, line)) return &record;
  return nullptr;
}

void countlisting(std::string_view listing, std::span<IfInfo> table) {
  bool outbound = false;
  Tokens lines(listing, '\n');
  for (std::string_view line; lines.next(line);) {
    if (line.find("RETURN") == std::string_view::npos) {
      if (line.find("RTCHARTS_OUT") != std::string_view::npos) outbound = true;
      continue;
    }
    RuleLine rule = parseruleline(line, outbound);
    IfInfo* record = findrecord(table, rule);
    if (record == nullptr) continue;
    addsaturating(outbound ? record->cur_out : record->cur_in, rule.bytes);
    addsaturating(outbound ? record->day_out : record->day_in, rule.bytes);
  }
}
