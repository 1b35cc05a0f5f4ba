#include "sampling.h"

#include "digits.h"
#include "iftable.h"

int extractbytes(const char* text) {
  resetcounters();
  countlisting(text, iftable());
  return 0;
}

void addbytes(IfInfo& record, bool outbound, int64_t bytes) {
  int64_t& interval = outbound ? record.cur_out : record.cur_in;
  int64_t& day = outbound ? record.day_out : record.day_in;
  interval = addsaturating(interval, bytes);
  day = addsaturating(day, bytes);
}

void countlisting(std::string_view listing, std::span<IfInfo> table, std::string_view anydest) {
  walklisting(listing, anydest, [table](const RuleLine& rule, bool outbound) {
    if (IfInfo* record = findrecord(table, rule)) addbytes(*record, outbound, rule.bytes);
  });
}
