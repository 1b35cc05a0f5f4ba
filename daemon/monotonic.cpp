#include "monotonic.h"

timespec monotonicnow() {
  timespec reading{};
  clock_gettime(CLOCK_MONOTONIC, &reading);
  return reading;
}

int64_t monotonicns() {
  timespec reading = monotonicnow();
  return static_cast<int64_t>(reading.tv_sec) * 1'000'000'000 + reading.tv_nsec;
}
