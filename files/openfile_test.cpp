#include "openfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "testlib.h"

namespace {

// Rewritten in place, the file is read anew at once; replaced by a rename,
// removed or created late, it is followed within about a second.
TEST(OpenFile, FollowsRewritesReplacementsAndLateFiles) {
  TempDir dir;
  std::string path = dir.path("today");
  OpenFile file(path);
  Problems problems;
  EXPECT_FALSE(file.read(problems));
  ASSERT_EQ(1u, problems.size());
  std::ofstream(path) << "wan 1 2 ";
  EXPECT_EQ("wan 1 2 ", file.read(problems).value_or("?"));  // created late: no wait
  std::ofstream(path, std::ios::trunc) << "wan 10 20 lan 3 4 ";
  FileStamp stamp;
  EXPECT_EQ("wan 10 20 lan 3 4 ", file.read(problems, &stamp).value_or("?"));
  EXPECT_EQ(18, stamp.size);
  std::ofstream(path + ".new") << std::string(10000, 'x');  // longer than a read's first guess
  std::filesystem::rename(path + ".new", path);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(10000u, file.read(problems).value_or("").size());
  std::filesystem::remove(path);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  problems.clear();
  EXPECT_FALSE(file.read(problems));
  EXPECT_EQ(1u, problems.size());
}

}  // namespace
