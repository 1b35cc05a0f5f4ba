#pragma once
#include <cstdint>
#include <ctime>

// The monotonic clock, which no change of the wall clock moves: the daemon's
// waits, timeouts and once-a-minute looks are measured on it.

// A reading of the clock.
timespec monotonicnow();

// The same in nanoseconds.
int64_t monotonicns();
