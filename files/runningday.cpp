#include "runningday.h"

#include <algorithm>

using std::chrono::sys_days;

void NewestDate::see(sys_days date) {
  if (date <= today_ && (!newest_ || date > *newest_)) newest_ = date;
}

std::optional<sys_days> newestdate(const std::vector<DayRecord>& history, sys_days today) {
  NewestDate newest(today);
  for (const DayRecord& record : history) newest.see(record.date);
  return newest.value();
}

namespace {

Items zeroed(Items items) {
  for (Item& item : items) item.counts = Counts{};
  return items;
}

}  // namespace

std::optional<DayRecord> runningday(const std::optional<Items>& todayitems,
                                    const std::optional<DayRecord>& dayfile,
                                    std::optional<sys_days> newesthistory, sys_days localtoday) {
  bool archived = dayfile && newesthistory && dayfile->date <= *newesthistory;
  if (archived) {
    if (!todayitems) return std::nullopt;
    return DayRecord{localtoday, zeroed(*todayitems), 0};
  }
  if (todayitems) return DayRecord{dayfile ? dayfile->date : localtoday, *todayitems, 0};
  return dayfile;
}
