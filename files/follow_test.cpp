#include "follow.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "testlib.h"

namespace {

FileSetup setupin(const TempDir& dir) {
  return {{"wan"}, dir.path("rate"), dir.path("today"), dir.path("day"), dir.path("history")};
}

// Each way the daemon writes its files shows at the very next look: in
// place, by a rename over the old file, by an append, and a first creation.
TEST(FileFollower, SeesEachWriteAtTheNextLook) {
  TempDir dir;
  writetext(dir.path("today"), "wan 1 2 ");
  FileFollower follower(setupin(dir));
  ASSERT_TRUE(follower.following());
  EXPECT_EQ(unsigned{kallfiles}, follower.changed());
  EXPECT_EQ(0u, follower.changed());
  writetext(dir.path("today"), "wan 3 4 ");
  EXPECT_EQ(unsigned{ktodaybit}, follower.changed());
  replacetext(dir.path("day"), "[2026-03-07] wan 3 4 ");
  EXPECT_EQ(unsigned{kdaybit}, follower.changed());
  std::ofstream(dir.path("history"), std::ios::app) << "[2026-03-06] wan 1 1 \n";
  writetext(dir.path("rate"), "0.01 0.00 ");
  EXPECT_EQ(unsigned{khistorybit | kratebit}, follower.changed());
  writetext(dir.path("other"), "x");  // a file of no concern, and the day file's temporary
  writetext(dir.path("day.tmp"), "x");
  EXPECT_EQ(0u, follower.changed());
}

// Where the files can't be followed, every look names every file, so a
// reader reads them all each time, as without following.
TEST(FileFollower, FallsBackToEveryFileEachTime) {
  TempDir dir, elsewhere;
  writetext(elsewhere.path("today"), "wan 1 2 ");
  std::filesystem::create_symlink(elsewhere.path("today"), dir.path("today"));
  FileFollower linked(setupin(dir));
  EXPECT_FALSE(linked.following());
  EXPECT_EQ(unsigned{kallfiles}, linked.changed());
  EXPECT_EQ(unsigned{kallfiles}, linked.changed());

  FileFollower missing(
      {{}, "/nonexistent/rate", "/nonexistent/today", "/nonexistent/day", "/nonexistent/history"});
  EXPECT_FALSE(missing.following());

  auto gone = std::make_unique<TempDir>();
  FileFollower follower(setupin(*gone));
  ASSERT_TRUE(follower.following());
  follower.changed();
  gone.reset();  // the watched directory is removed
  EXPECT_EQ(unsigned{kallfiles}, follower.changed());
  EXPECT_FALSE(follower.following());
  EXPECT_EQ(unsigned{kallfiles}, follower.changed());
}

}  // namespace
