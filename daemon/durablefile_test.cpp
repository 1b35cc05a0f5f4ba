#include "durablefile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class DurableFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/durablefileXXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const char* name) const { return dir_ + "/" + name; }

  std::string read(const char* name) const {
    std::ifstream in(path(name));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string dir_;
};

TEST_F(DurableFile, ReplaceLeavesTheOldFileWhenItCantFinish) {
  std::string file = path("f"), temp = path("f.tmp");
  ASSERT_EQ(0, replacedurably(file.c_str(), temp.c_str(), "one\n", 4));
  EXPECT_EQ("one\n", read("f"));
  EXPECT_FALSE(fs::exists(temp));
  std::string missing = path("no/f.tmp");
  EXPECT_EQ(-1, replacedurably(file.c_str(), missing.c_str(), "two\n", 4));
  fs::create_directory(path("d"));
  fs::create_directory(path("d/x"));
  std::string dirpath = path("d");
  errno = 0;
  EXPECT_EQ(-2, replacedurably(dirpath.c_str(), temp.c_str(), "two\n", 4));
  EXPECT_NE(0, errno);
  EXPECT_FALSE(fs::exists(temp)) << "the temporary file is removed";
  EXPECT_EQ("one\n", read("f"));
}

TEST_F(DurableFile, AnAppendIsWholeOrCutBack) {
  std::string file = path("a");
  ASSERT_EQ(0, appenddurably(file.c_str(), "first\n", 6));
  ASSERT_EQ(0, appenddurably(file.c_str(), "second\n", 7));
  EXPECT_EQ("first\nsecond\n", read("a"));
  // A file size limit makes the write short, as a full disk would.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{}, limit{};
  getrlimit(RLIMIT_FSIZE, &old);
  limit = old;
  limit.rlim_cur = 16;
  setrlimit(RLIMIT_FSIZE, &limit);
  int result = appenddurably(file.c_str(), "third line\n", 11);
  int error = errno;
  std::string created = path("b");
  int createdresult = appenddurably(created.c_str(), "a line longer than 16\n", 22);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(-1, result);
  EXPECT_NE(0, error);
  EXPECT_EQ("first\nsecond\n", read("a"));
  EXPECT_EQ(-1, createdresult);
  EXPECT_FALSE(fs::exists(created)) << "a file the failed append created stays";
}

}  // namespace
