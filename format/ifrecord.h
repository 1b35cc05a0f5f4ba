#pragma once
#include <cstddef>
#include <cstdint>

// One accounted interface. Text fields are NUL-terminated inside their width.
struct IfInfo {
  char ifname[16];
  char label[256];
  char matchval[8];
  char dest[32];
  int64_t cur_in;
  int64_t cur_out;
  int64_t day_in;
  int64_t day_out;
};

// The start-up script that lies beside the daemon's executable.
inline constexpr const char HEADSCRIPT[] = "getbyteloomheaders.sh";

// Room for a file path, its terminator included.
inline constexpr size_t kpathsize = 512;

// The capture buffer's size; a capture holds at most kcapturesize - 2 characters.
inline constexpr size_t kcapturesize = 16384;
