#include "fiveminutefile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testlib.h"

namespace {

// Missing is no figures yet, a torn last line is never read, and a file that
// can't be read is named.
TEST(FiveMinuteFile, MissingTornAndUnreadable) {
  TempDir dir;
  std::string path = fiveminpath(dir.path("history"));
  EXPECT_EQ(dir.path("history.5min"), path);
  Problems problems;
  EXPECT_FALSE(readfiveminutefile(path, problems));
  EXPECT_TRUE(problems.empty());

  writetext(path, "[2026-12-08 14:00] wan 1 2 \n[2026-12-08 14:05] wan 81");
  EXPECT_EQ("[2026-12-08 14:00] wan 1 2 \n", readfiveminutefile(path, problems).value_or("?"));
  writetext(path, "[2026-12-08 14:0");
  EXPECT_EQ("", readfiveminutefile(path, problems).value_or("?"));
  EXPECT_TRUE(problems.empty());

  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  EXPECT_FALSE(readfiveminutefile(path, problems));
  ASSERT_EQ(1u, problems.size());
  EXPECT_EQ(path, problems[0].file);
}

}  // namespace
