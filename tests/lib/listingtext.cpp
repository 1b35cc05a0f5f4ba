#include "listingtext.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include "startup.h"

std::string ruleline(long long bytes, const std::string& in, const std::string& out,
                     const std::string& dest, const std::string& extra) {
  char line[256];
  snprintf(line, sizeof line, "%8d %8lld RETURN     all  --  %-6s %-6s  0.0.0.0/0            %s", 1,
           bytes, in.c_str(), out.c_str(), dest.c_str());
  return std::string(line) + (extra.empty() ? "" : " " + extra) + "\n";
}

std::string inrule(long long bytes, const std::string& ifname, const std::string& dest) {
  return ruleline(bytes, ifname, "*", dest);
}

std::string outrule(long long bytes, const std::string& ifname, const std::string& dest) {
  return ruleline(bytes, "*", ifname, dest);
}

std::string bothchains(const std::string& inrules, const std::string& outrules) {
  return "Chain RTCHARTS_IN (1 references)\n" + inrules + "Chain RTCHARTS_OUT (1 references)\n" +
         outrules;
}

std::vector<IfInfo> tablefor(const char* specs, const char* labels) {
  std::string error;
  std::string text = std::string(specs) + "\n/r\n/t\n/p\n/h\n" + labels + "\n";
  std::optional<StartupOutput> output = parsestartupoutput(text, error);
  EXPECT_TRUE(output) << error;
  return output ? output->table : std::vector<IfInfo>{};
}

std::string readtestdata(const char* name) {
  std::ifstream in(std::string(TESTDATA_DIR) + "/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
