#include "localclock.h"

#include <algorithm>
#include <ctime>

namespace {

tm localnow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  time_t seconds = now.tv_sec;
  tm local{};
  localtime_r(&seconds, &local);
  return local;
}

}  // namespace

LocalClock localclock() {
  tm local = localnow();
  using namespace std::chrono;
  year_month_day date(year(local.tm_year + 1900), month(static_cast<unsigned>(local.tm_mon + 1)),
                      day(static_cast<unsigned>(local.tm_mday)));
  return {sys_days(date), std::min(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec, 86399)};
}

std::string localclocktext(const char* format) {
  tm local = localnow();
  char text[64];
  size_t length = strftime(text, sizeof text, format, &local);
  return std::string(text, length);
}
