// The start-up script's output, whatever it holds, builds a table or fails;
// a built table never breaks the field limits.
#include <cstring>
#include <string>

#include "iftable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  if (init_ifinfoarr(text.c_str()) != 0) return 0;
  for (const IfInfo& record : iftable()) {
    if (record.ifname[0] == '\0' || strlen(record.ifname) > 15 || strlen(record.label) > 255)
      __builtin_trap();
    bool catchall = record.matchval[0] == '\0';
    if (catchall != (record.dest[0] == '\0')) __builtin_trap();
  }
  return 0;
}
