#include "executable.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace {

TEST(ExecutableDirectory, IsWhereThisTestProgramLies) {
  std::optional<std::string> directory = ownexecutabledirectory();
  ASSERT_TRUE(directory);
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(self.parent_path().string(), *directory);
}

TEST(ExecutableDirectory, TheRootAndARelativeNameKeepADirectory) {
  EXPECT_EQ("/", directoryofexecutable("/byteloom"));
  EXPECT_EQ("/usr/sbin", directoryofexecutable("/usr/sbin/byteloom"));
  EXPECT_EQ(".", directoryofexecutable("byteloom"));
}

}  // namespace
