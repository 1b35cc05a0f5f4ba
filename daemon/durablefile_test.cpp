#include "durablefile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "testlib.h"

namespace {

namespace fs = std::filesystem;

class DurableFile : public ::testing::Test {
 protected:
  std::string path(const char* name) const { return dir_.path(name); }
  std::string read(const char* name) const { return readtext(path(name)); }
  TempDir dir_{"durablefile"};
};

TEST_F(DurableFile, ReplacingLeavesTheNewFileOrTheOld) {
  std::string file = path("day"), temp = path("day.tmp");
  ASSERT_EQ(0, replacedurably(file.c_str(), temp.c_str(), "one\n", 4));
  EXPECT_EQ("one\n", read("day"));
  EXPECT_FALSE(fs::exists(temp));
  // A rename that fails (a directory in the way) keeps the old file and no temporary one.
  fs::create_directories(path("dir/keep"));
  std::string blocked = path("dir");
  EXPECT_EQ(-2, replacedurably(blocked.c_str(), temp.c_str(), "two\n", 4));
  EXPECT_EQ(EISDIR == errno || ENOTEMPTY == errno || EEXIST == errno, true) << errno;
  EXPECT_FALSE(fs::exists(temp));
  std::string nowhere = path("missing/day.tmp");
  EXPECT_EQ(-1, replacedurably(file.c_str(), nowhere.c_str(), "two\n", 4));
  EXPECT_EQ("one\n", read("day"));
}

TEST_F(DurableFile, AnAppendGoesInWholeOrNotAtAll) {
  std::string file = path("history");
  bool opened = false;
  ASSERT_EQ(0, appenddurably(file.c_str(), "a\n", 2, opened));
  EXPECT_TRUE(opened);
  ASSERT_EQ(0, appenddurably(file.c_str(), "b\n", 2));
  EXPECT_EQ("a\nb\n", read("history"));
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 6;
  setrlimit(RLIMIT_FSIZE, &small);
  int result = appenddurably(file.c_str(), "cccc\n", 5, opened);
  std::string created = path("new");
  int createdresult = appenddurably(created.c_str(), "a line longer than 6\n", 21);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(-1, createdresult);
  EXPECT_FALSE(fs::exists(created)) << "a file the failed append created stays";
  EXPECT_EQ(-1, result);
  EXPECT_TRUE(opened);
  EXPECT_EQ("a\nb\n", read("history"));
  std::string nowhere = path("missing/history");
  EXPECT_EQ(-1, appenddurably(nowhere.c_str(), "a\n", 2, opened));
  EXPECT_FALSE(opened);
}

}  // namespace
