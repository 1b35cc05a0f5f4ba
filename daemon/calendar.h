#pragma once
#include <ctime>

// True when both times name the same calendar day (year, month and day).
inline bool samedate(const tm& a, const tm& b) {
  return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

// The relative sleep that ends at the next whole second of a clock reading;
// a reading exactly on a boundary sleeps one full second.
inline timespec sleeprequest(const timespec& reading) {
  if (reading.tv_nsec == 0) return {1, 0};
  return {0, 1'000'000'000L - reading.tv_nsec};
}
