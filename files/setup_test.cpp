#include "setup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The option names of a usage text: each "[--name VALUE]".
std::vector<std::string> optionnames(const std::string& usage) {
  std::vector<std::string> names;
  for (size_t at = usage.find("[--"); at != std::string::npos; at = usage.find("[--", at + 1)) {
    size_t space = usage.find(' ', at), close = usage.find(']', at);
    if (space < close) names.push_back(usage.substr(at + 1, space - at - 1));
  }
  return names;
}

// Every option the usage text names is one the programs take, with the value
// it names; the four files follow on a line of their own.
TEST(SetupOptions, UsageNamesEveryOptionTaken) {
  std::string usage = setupusage("    ");
  EXPECT_EQ(std::string::npos, usage.find("\n", usage.find("\n") + 1)) << usage;
  EXPECT_EQ(0u, usage.find("[--startup-script PATH] [--config FILE]\n    [--rate-file F]"))
      << usage;
  SetupRequest request;
  size_t named = 0;
  for (const std::string& name : optionnames(usage))
    EXPECT_TRUE(applysetupoption(request, name, "/x/" + std::to_string(named++))) << name;
  EXPECT_EQ(std::size(ksetupoptions), named);
  EXPECT_EQ("/x/0", request.startupscript);
  EXPECT_EQ("/x/1", request.config);
  EXPECT_EQ("/x/5", request.historyfile);
  EXPECT_FALSE(applysetupoption(request, "--listen", "x"));
}

}  // namespace
