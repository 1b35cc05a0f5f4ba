#pragma once
#include <ctime>

// A broken-down local time holding only a calendar date, as the tests need it.
inline tm date(int year, int month, int day) {
  tm d{};
  d.tm_year = year - 1900;
  d.tm_mon = month - 1;
  d.tm_mday = day;
  return d;
}
