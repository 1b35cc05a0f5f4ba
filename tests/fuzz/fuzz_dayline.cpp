// A persistent day file's line, whatever it holds, is read without reading
// outside it; what it restores can be written back and restored the same.
#include <ctime>
#include <string>
#include <vector>

#include "daylines.h"
#include "iftable.h"

namespace {

bool maketable() {
  return init_ifinfoarr("a b c\n/r\n/t\n/p\n/h\nwan up_link UNKNOWN-2\n") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = maketable();
  if (!ready) __builtin_trap();
  std::string line(reinterpret_cast<const char*>(data), size);
  tm date{};
  size_t itemsstart = 0;
  resetdaycounters();
  if (readdatestamp(line.c_str(), &date, &itemsstart) != 0 || itemsstart == knoitems) return 0;
  restoredaytotals(std::string_view(line).substr(itemsstart), iftable());
  std::vector<IfInfo> restored(iftable().begin(), iftable().end());
  std::vector<char> buffer(linebuffersize(iftable()));
  size_t len = formatdayline(buffer.data(), buffer.size(), date, iftable(), false);
  resetdaycounters();
  std::string written(buffer.data(), len);
  if (readdatestamp(written.c_str(), &date, &itemsstart) != 0) __builtin_trap();
  restoredaytotals(std::string_view(written).substr(itemsstart), iftable());
  for (size_t i = 0; i < restored.size(); ++i)
    if (restored[i].day_in != iftable()[i].day_in || restored[i].day_out != iftable()[i].day_out)
      __builtin_trap();
  return 0;
}
