#include "listing.h"

#include <limits>

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

// The counters' widths change with their values; what follows them doesn't.
std::string_view withouttrailingspaces(std::string_view text) {
  size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

}  // namespace

RuleLine parseruleline(std::string_view line, bool outbound, std::string_view anydest) {
  RuleLine rule;
  Tokens tokens(line, ' ');
  std::string_view token;
  for (int k = 0; k <= 11 && tokens.next(token); ++k) {
    if (k == 1)
      rule.bytes = parsecount(token);
    else if (k == 2)
      rule.rule =
          withouttrailingspaces(line.substr(static_cast<size_t>(token.data() - line.data())));
    else if (k == (outbound ? 6 : 5))
      rule.iface = token;
    else if (k == 8 && token != anydest)
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

void addbytes(IfInfo& record, bool outbound, int64_t bytes) {
  addsaturating(outbound ? record.cur_out : record.cur_in, bytes);
  addsaturating(outbound ? record.day_out : record.day_in, bytes);
}

void countlisting(std::string_view listing, std::span<IfInfo> table, std::string_view anydest) {
  walklisting(listing, anydest, [table](const RuleLine& rule, bool outbound) {
    if (IfInfo* record = findrecord(table, rule)) addbytes(*record, outbound, rule.bytes);
  });
}
