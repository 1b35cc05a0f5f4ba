#pragma once
#include <chrono>
#include <string>

// The local wall clock as the readers of the files need it: the calendar
// date and the seconds since its midnight (at most 86399).
struct LocalClock {
  std::chrono::sys_days date;
  int seconds = 0;
};

// Now, from the precise clock (time() may lag the second that was just
// slept to).
LocalClock localclock();

// Now in local time as strftime writes it with format (at most 63 bytes).
std::string localclocktext(const char* format);
