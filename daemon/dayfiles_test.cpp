#include "dayfiles.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "iftable.h"
#include "testdate.h"

namespace {

namespace fs = std::filesystem;

class DayFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/dayfilesXXXXXX";
    dir_ = mkdtemp(pattern);
    maketable("wan up_link");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void maketable(const std::string& labels) {
    std::string text = "eth0 eth1\n" + dir_ + "/rate\n" + dir_ + "/today\n" + dir_ + "/persist\n" +
                       dir_ + "/history\n" + labels + "\n";
    ASSERT_EQ(0, init_ifinfoarr(text.c_str()));
    ASSERT_EQ(0, preparedayfiles());
  }

  std::string path(const char* name) const { return dir_ + "/" + name; }

  std::string read(const char* name) const {
    std::ifstream in(path(name));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  void write(const char* name, const std::string& text) const { std::ofstream(path(name)) << text; }

  void settotals(int64_t in0, int64_t out0, int64_t in1, int64_t out1) {
    ifinfoarrptr[0].day_in = in0;
    ifinfoarrptr[0].day_out = out0;
    ifinfoarrptr[1].day_in = in1;
    ifinfoarrptr[1].day_out = out1;
  }

  std::string dir_;
};

TEST_F(DayFiles, RateAndTodayFilesAreRewrittenWhole) {
  write("rate", std::string(500, 'x'));
  ifinfoarrptr[0].cur_in = 1234;
  settotals(812, 35, 7, 0);
  ASSERT_EQ(0, saveratestofile());
  EXPECT_EQ("1.23 0.00 0.00 0.00 ", read("rate"));
  EXPECT_EQ("wan 812 35 up_link 7 0 ", read("today"));
}

TEST_F(DayFiles, RateFileThatCannotBeOpenedFails) {
  fs::create_directory(path("today"));
  EXPECT_EQ(-1, saveratestofile());
}

TEST_F(DayFiles, PersistentFileIsReplacedAndLeavesNoTemporary) {
  settotals(1, 2, 3, 4);
  ASSERT_EQ(0, persisttodayvolume(date(2026, 3, 7)));
  EXPECT_EQ("[2026-03-07] wan 1 2 up_link 3 4 ", read("persist"));
  EXPECT_FALSE(fs::exists(path("persist.tmp")));
  fs::create_directory(path("persist.tmp"));
  EXPECT_EQ(-1, persisttodayvolume(date(2026, 3, 8)));
  EXPECT_EQ("[2026-03-07] wan 1 2 up_link 3 4 ", read("persist"));
}

TEST_F(DayFiles, PersistentFileSurvivesAFailedRename) {
  fs::create_directory(path("persist"));
  fs::create_directory(path("persist") + "/keep");
  testing::internal::CaptureStderr();
  EXPECT_EQ(-2, persisttodayvolume(date(2026, 3, 8)));
  EXPECT_NE(std::string::npos,
            testing::internal::GetCapturedStderr().find("failed to write to persistent file:"));
  EXPECT_FALSE(fs::exists(path("persist.tmp")));
}

TEST_F(DayFiles, HistoryLinesAreAppended) {
  settotals(1, 2, 3, 4);
  ASSERT_EQ(0, savevolumes(date(2026, 3, 7)));
  settotals(5, 6, 7, 8);
  ASSERT_EQ(0, savevolumes(date(2026, 3, 8)));
  EXPECT_EQ("[2026-03-07] wan 1 2 up_link 3 4 \n[2026-03-08] wan 5 6 up_link 7 8 \n",
            read("history"));
}

// Past the file size limit a write stops short, as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, SIG_DFL);
  }

 private:
  rlimit saved_{};
};

TEST_F(DayFiles, AHistoryLineThatDoesNotFitLeavesTheHistoryAsItWas) {
  const std::string before = "[2026-03-05] wan 1 1 up_link 1 1 \n";
  write("history", before);
  write("persist", "[2026-03-06] wan 9 9 up_link 9 9 ");
  settotals(7, 7, 7, 7);
  testing::internal::CaptureStderr();
  {
    FileSizeLimit limit(before.size() + 10);
    EXPECT_EQ(-1, savevolumes(date(2026, 3, 7)));
    EXPECT_EQ(-2, copypersistenttovolumes());
  }
  EXPECT_NE(std::string::npos,
            testing::internal::GetCapturedStderr().find("failed to write to volumes file:"));
  EXPECT_EQ(before, read("history"));
  ASSERT_EQ(0, copypersistenttovolumes());
  EXPECT_EQ(before + "[2026-03-06] wan 9 9 up_link 9 9 \n", read("history"));
}

TEST_F(DayFiles, ATornLastHistoryLineIsMovedToTheTornFile) {
  const std::string whole = "[2026-03-04] wan 1 1 \n[2026-03-05] wan 2 2 \n";
  write("history", whole + "[2026-03-06] wa");
  write("history.torn", "older\n");
  testing::internal::CaptureStderr();
  ASSERT_EQ(0, repairvolumes());
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("moved its 15 bytes"));
  EXPECT_EQ(whole, read("history"));
  EXPECT_EQ("older\n[2026-03-06] wa\n", read("history.torn"));
  // Whole lines, an empty or a missing history are left alone.
  ASSERT_EQ(0, repairvolumes());
  EXPECT_EQ(whole, read("history"));
  write("history", "");
  ASSERT_EQ(0, repairvolumes());
  fs::remove(path("history"));
  ASSERT_EQ(0, repairvolumes());
  EXPECT_FALSE(fs::exists(path("history")));
}

TEST_F(DayFiles, ATornLineLongerThanTheFirstTailMovesWhole) {
  std::string longfragment = "[2026-03-06] " + std::string(9000, 'x');
  write("history", "[2026-03-05] wan 2 2 \n" + longfragment);
  testing::internal::CaptureStderr();
  ASSERT_EQ(0, repairvolumes());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ("[2026-03-05] wan 2 2 \n", read("history"));
  EXPECT_EQ(longfragment + "\n", read("history.torn"));
  write("history", longfragment);
  ASSERT_EQ(0, repairvolumes());
  EXPECT_EQ("", read("history"));
}

TEST_F(DayFiles, ATornLineThatCannotBeMovedStaysInTheHistory) {
  write("history", "[2026-03-05] wan 2 2 \n[2026-03");
  fs::create_directory(path("history.torn"));
  EXPECT_EQ(-1, repairvolumes());
  EXPECT_EQ("[2026-03-05] wan 2 2 \n[2026-03", read("history"));
}

TEST_F(DayFiles, CopyingThePersistentLineAddsItsNewline) {
  write("history", "[2026-03-05] wan 0 0 \n");
  write("persist", "[2026-03-06] wan 9 9 ");
  ASSERT_EQ(0, copypersistenttovolumes());
  EXPECT_EQ("[2026-03-05] wan 0 0 \n[2026-03-06] wan 9 9 \n", read("history"));
  fs::remove(path("persist"));
  EXPECT_EQ(-1, copypersistenttovolumes());
  write("persist", "[2026-03-06] wan 9 9 ");
  fs::remove(path("history"));
  fs::create_directory(path("history"));
  EXPECT_EQ(-2, copypersistenttovolumes());
}

TEST_F(DayFiles, DatesOfBothFiles) {
  tm d{};
  EXPECT_EQ(-1, getpersistentfiledate(&d));
  EXPECT_EQ(-1, getvolumesdate(&d));
  write("persist", "");
  EXPECT_EQ(-2, getpersistentfiledate(&d));
  write("persist", "garbage");
  EXPECT_EQ(-3, getpersistentfiledate(&d));
  write("persist", "[2026-03-06] wan 9 9 ");
  EXPECT_EQ(0, getpersistentfiledate(&d));
  EXPECT_EQ(6, d.tm_mday);
  write("history", "[2026-03-04] a\n[2026-03-05] b\n\n\n");
  EXPECT_EQ(0, getvolumesdate(&d));
  EXPECT_EQ(5, d.tm_mday);
  write("history", "\n\n");
  EXPECT_EQ(-2, getvolumesdate(&d));
}

TEST_F(DayFiles, LoadRestoresMatchingLabels) {
  settotals(100, 100, 100, 100);
  write("persist", "[2026-03-06] up_link 3 4 wan 1 2 other 7 7 ");
  EXPECT_EQ(0, loadpersistentvaluestoaccs());
  EXPECT_EQ(1, ifinfoarrptr[0].day_in);
  EXPECT_EQ(4, ifinfoarrptr[1].day_out);
  write("persist", "[2026-03-06 wan 5 5 ");
  EXPECT_EQ(0, loadpersistentvaluestoaccs());
  EXPECT_EQ(1, ifinfoarrptr[0].day_in);
}

// The date, the totals and the archived line come from one line wherever it
// stands: a leading blank line or a line after it never loses the stored day.
TEST_F(DayFiles, TheDayFileIsReadFromItsFirstFilledLine) {
  for (const char* text : {"\n  \n[2026-03-06] wan 5 6 up_link 7 8 \n",
                           "[2026-03-06] wan 5 6 up_link 7 8 \n[2026-03-01] wan 1 1 \n"}) {
    write("persist", text);
    fs::remove(path("history"));
    settotals(0, 0, 0, 0);
    tm d{};
    testing::internal::CaptureStderr();
    ASSERT_EQ(0, getpersistentfiledate(&d)) << text;
    EXPECT_EQ(6, d.tm_mday);
    ASSERT_EQ(0, loadpersistentvaluestoaccs());
    EXPECT_EQ(5, ifinfoarrptr[0].day_in);
    EXPECT_EQ(8, ifinfoarrptr[1].day_out);
    ASSERT_EQ(0, copypersistenttovolumes());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ("[2026-03-06] wan 5 6 up_link 7 8 \n", read("history"));
  }
}

TEST_F(DayFiles, LongLinesAreWrittenAndReadWhole) {
  std::string labels;
  for (int i = 0; i < 2; ++i) labels += std::string(250, static_cast<char>('a' + i)) + " ";
  maketable(labels);
  settotals(1, 2, 3, 4);
  for (int day = 1; day <= 40; ++day) ASSERT_EQ(0, savevolumes(date(2026, 1, day)));
  tm d{};
  ASSERT_EQ(0, getvolumesdate(&d));
  EXPECT_EQ(40, d.tm_mday);
  std::string line;
  getLastLineOfFile(fopen(path("history").c_str(), "r"), line);
  EXPECT_EQ(13u + 2 * (250 + 5), line.size()) << line;
}

TEST(LastLineOfFile, ReadsAcrossManyTails) {
  std::string longline(20000, 'z');
  std::string text = "first\n" + longline + "\n\n\n";
  FILE* stream = fmemopen(text.data(), text.size(), "r");
  std::string line;
  EXPECT_EQ(0, getLastLineOfFile(stream, line));
  EXPECT_EQ(longline, line);
  std::string single = longline;
  stream = fmemopen(single.data(), single.size(), "r");
  getLastLineOfFile(stream, line);
  EXPECT_EQ(longline, line);
}

}  // namespace
