#include "pathclash.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(PathClash, FindsTheFirstPairThatNamesOneFile) {
  std::vector<RolePath> paths = {{"rate", "/run/b/rate"},
                                 {"today", "/run/b/today"},
                                 {"day", "/var/lib/b/day"},
                                 {"history", "/var/lib/b/day.tmp"},
                                 {"temporary", "/var/lib/b/day.tmp"}};
  auto clash = findclash(paths);
  ASSERT_TRUE(clash);
  EXPECT_EQ(3u, clash->first);
  EXPECT_EQ(4u, clash->second);
  paths[4].path = "/var/lib/b/day.tmp2";
  EXPECT_FALSE(findclash(paths));
  EXPECT_FALSE(findclash(std::span<const RolePath>{}));
}

TEST(PathClash, ADirectoryReachedTwoWaysResolvesToOnePath) {
  char pattern[] = "/tmp/pathclashXXXXXX";
  std::string dir = mkdtemp(pattern);
  fs::create_directories(dir + "/state/sub");
  fs::create_directory_symlink(dir + "/state", dir + "/link");
  std::string real = fs::canonical(dir).string() + "/state/history";
  EXPECT_EQ(real, resolvedpath(dir + "/state/history"));
  EXPECT_EQ(real, resolvedpath(dir + "/link/history"));
  EXPECT_EQ(real, resolvedpath(dir + "/state/sub/../history"));
  EXPECT_EQ(real, resolvedpath(dir + "/state/./history"));
  EXPECT_NE(real, resolvedpath(dir + "/state/History"));
  EXPECT_EQ("/etc", resolvedpath("/etc"));
  // A missing directory can't be resolved; its text still is normalised.
  EXPECT_EQ(dir + "/gone/x", resolvedpath(dir + "/gone/./y/../x"));
  fs::remove_all(dir);
}

}  // namespace
