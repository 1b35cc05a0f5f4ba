#include "listing.h"

namespace {

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
