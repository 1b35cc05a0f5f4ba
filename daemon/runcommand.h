#pragma once
#include <csignal>
#include <cstddef>
#include <cstdint>

#include "ifrecord.h"

// Runs command through the shell and captures its standard output into dst
// (kcapturesize bytes) as one NUL-terminated text. 0, or -1 when the command
// can't be started or its output doesn't fit. Exit status and standard error
// are ignored.
int runcommand(const char* command, char* dst);

// How a bounded capture ended.
enum class CaptureEnd {
  whole,     // end of output, the command has exited
  overflow,  // the output doesn't fit dst
  failed,    // the command could not be started
  timedout,  // still running at the time-out: killed
  stopped,   // still running at the grace's end after a stop request: killed
};

// The bounds of a capture; a zero time-out waits for ever, a null stop never stops.
struct CaptureLimits {
  int64_t timeoutns = 0;
  int64_t gracens = 0;
  const volatile sig_atomic_t* stop = nullptr;
};

// No healthy listing comes near the time-out (a slow backend takes 80 ms). A
// termination gives the listing a grace to finish, so the bytes it has just
// zeroed are still counted, short enough that the daemon ends within a second.
inline constexpr int64_t klistingtimeoutns = 5'000'000'000;
inline constexpr int64_t klistinggracens = 600'000'000;

// Like runcommand, within limits. A command cut short is killed with its whole
// process group, and dst keeps only the complete lines it had printed.
CaptureEnd capturecommand(const char* command, char* dst, const CaptureLimits& limits);

// The monotonic time (ns) at which a capture that started at started is cut
// short, given a stop request at stopped (-1: none); INT64_MAX for never.
int64_t capturedeadline(int64_t started, int64_t stopped, const CaptureLimits& limits);

// Async-signal-safe: kills the process group of the command being captured, if any.
void killcommand();
