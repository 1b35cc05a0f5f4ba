#include "setup.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

// Every option the usage text names is one the programs take, with the value
// it names; the four files follow on a line of their own.
TEST(SetupOptions, UsageNamesEveryOptionTaken) {
  std::string usage = setupusage("    ");
  EXPECT_EQ(std::string::npos, usage.find("\n", usage.find("\n") + 1)) << usage;
  EXPECT_EQ(0u, usage.find("[--startup-script PATH] [--config FILE]\n    [--rate-file F]"))
      << usage;
  std::regex option(R"(\[(--[a-z-]+) ([A-Z]+)\])");
  SetupRequest request;
  size_t named = 0;
  for (auto it = std::sregex_iterator(usage.begin(), usage.end(), option);
       it != std::sregex_iterator(); ++it, ++named)
    EXPECT_TRUE(applysetupoption(request, (*it)[1].str(), "/x/" + std::to_string(named)))
        << (*it)[1];
  EXPECT_EQ(std::size(ksetupoptions), named);
  EXPECT_EQ("/x/0", request.startupscript);
  EXPECT_EQ("/x/1", request.config);
  EXPECT_EQ("/x/5", request.historyfile);
  EXPECT_FALSE(applysetupoption(request, "--listen", "x"));
}

}  // namespace
