#include "listingtext.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr const char* kinterfaces[] = {"wan0", "wan1", "lan0", "lan1", "dmz0", "guest0"};
constexpr int kinterfacecount = 6;
constexpr const char kcolumns[] =
    "    pkts      bytes target     prot opt in     out     source               destination\n";

std::string chainheader(const char* chain) {
  return std::string("Chain ") + chain + " (1 references)\n" + kcolumns;
}

std::string zeroing(const char* chain) {
  return std::string("Zeroing chain `") + chain + "'\n";
}

// Rule i of a chain: four kinds in turn, each interface in turn.
std::string ruleline(int i, bool outbound, int64_t bytes) {
  const char* iface = kinterfaces[i / 4 % kinterfacecount];
  const char* dest = "0.0.0.0/0";
  const char* extra = "";
  if (i % 4 == 1) dest = "192.0.2.7";  // not the qualified record's: its catch-all takes it
  if (i % 4 == 2) extra = "mark match 0x2";
  if (i % 4 == 3) iface = "vpn9";
  char line[160];
  snprintf(line, sizeof line,
           "%8lld %10lld RETURN     0    --  %-6s %-6s  0.0.0.0/0            %-20s %s\n",
           static_cast<long long>(bytes / 700 + 1), static_cast<long long>(bytes),
           outbound ? "*" : iface, outbound ? iface : "*", dest, extra);
  return line;
}

bool counted(int i) {
  return i % 4 != 3;
}

}  // namespace

std::string benchheaders() {
  std::string specs, labels;
  for (const char* iface : kinterfaces) {
    specs += std::string(iface) + ":0x2:192.0.2.1 " + iface + " ";
    labels += std::string(iface) + "-vpn " + iface + " ";
  }
  return specs + "\n/dev/null\n/dev/null\n/dev/null\n/dev/null\n" + labels + "\n";
}

BenchListing benchlisting(size_t length) {
  BenchListing listing;
  const std::string trailer = zeroing("RTCHARTS_OUT");
  std::string& text = listing.text;
  text = chainheader("RTCHARTS_IN");
  size_t lastrule = 0;
  for (int i = 0;; ++i) {
    // The first half of the room goes to the inbound chain.
    bool outbound = text.size() > length / 2;
    if (outbound && text.find("RTCHARTS_OUT") == std::string::npos)
      text += zeroing("RTCHARTS_IN") + chainheader("RTCHARTS_OUT");
    int64_t bytes = 1000 + 37 * i;
    std::string line = ruleline(i, outbound, bytes);
    if (text.size() + line.size() + trailer.size() > length) break;
    lastrule = text.size();
    text += line;
    listing.rulelines++;
    if (counted(i)) listing.countedbytes += bytes;
  }
  // Columns are right-aligned with spaces, so a wider first column fills the rest.
  text.insert(lastrule, length - text.size() - trailer.size(), ' ');
  text += trailer;
  return listing;
}
