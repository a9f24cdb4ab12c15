// The writer every output goes through (core/output_file): a target replaced
// only by a complete file, never one that is no regular file, and no temporary
// file left by a failure, an object dropped unfinished or a long name.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/output_file.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;

fs::path Scratch(const std::string& tag) {
  const fs::path d = fs::temp_directory_path() / ("rg-outfile-" + tag + "-" + std::to_string(getpid()));
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

size_t Entries(const fs::path& d) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(d), fs::directory_iterator{}));
}

}  // namespace

TEST(OutputFile, TargetReplacedOnlyWhenCommitted) {
  const fs::path d = Scratch("commit");
  const std::string target = (d / "out.txt").string();
  std::ofstream(target) << "old";
  {
    rg::OutputFile f;
    std::string why;
    ASSERT_TRUE(f.Open(target, &why)) << why;
    ASSERT_TRUE(f.Write(std::string("new text")));
    EXPECT_EQ(rgtest::ReadText(target), "old");  // not yet
    EXPECT_EQ(Entries(d), 2u);          // the target and the temporary file beside it
    ASSERT_TRUE(f.Finish(&why)) << why;
    EXPECT_EQ(rgtest::ReadText(target), "old");
    ASSERT_TRUE(f.Commit(&why)) << why;
  }
  EXPECT_EQ(rgtest::ReadText(target), "new text");
  EXPECT_EQ(Entries(d), 1u);
  // dropped unfinished, or finished but not committed: the target stays, no file is left
  for (bool finish : {false, true}) {
    rg::OutputFile f;
    std::string why;
    ASSERT_TRUE(f.Open(target, &why)) << why;
    f.Write(std::string("abandoned"));
    if (finish) {
      ASSERT_TRUE(f.Finish(&why)) << why;
    }
    f.Discard();
    EXPECT_EQ(rgtest::ReadText(target), "new text");
    EXPECT_EQ(Entries(d), 1u);
  }
  fs::remove_all(d);
}

// The target checked again at the commit: a FIFO or link put there in the
// meantime is not replaced. A name as long as a folder allows still gets a
// temporary file beside it.
TEST(OutputFile, CommitRefusesATargetThatBecameNoFileAndLongNamesWork) {
  const fs::path d = Scratch("late");
  const std::string target = (d / "out.txt").string();
  rg::OutputFile f;
  std::string why;
  ASSERT_TRUE(f.Open(target, &why)) << why;
  f.Write(std::string("text"));
  ASSERT_TRUE(f.Finish(&why));
  ASSERT_EQ(mkfifo(target.c_str(), 0644), 0);
  EXPECT_FALSE(f.Commit(&why));
  EXPECT_EQ(why, "cannot write " + target + ": it is a FIFO");
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(target)));
  EXPECT_EQ(Entries(d), 1u);

  const std::string longName = (d / std::string(255, 'n')).string();
  EXPECT_TRUE(rg::WriteFileWhole(longName, "long", &why)) << why;
  EXPECT_EQ(rgtest::ReadText(longName), "long");
  EXPECT_EQ(Entries(d), 2u);
  fs::remove_all(d);
}

// A write that fails (no room) fails Finish with the reason and removes the
// temporary file; the permissions of a replaced file are kept.
TEST(OutputFile, FailedWriteLeavesNothingAndPermissionsAreKept) {
  const fs::path d = Scratch("room");
  const std::string target = (d / "out.txt").string();
  std::ofstream(target) << "old";
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto oldXfsz = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string why;
  const bool written = rg::WriteFileWhole(target, std::string(5000, 'x'), &why);
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldXfsz);
  EXPECT_FALSE(written);
  EXPECT_EQ(why, "cannot write " + target + ": File too large");
  EXPECT_EQ(rgtest::ReadText(target), "old");
  EXPECT_EQ(Entries(d), 1u);

  ASSERT_TRUE(rg::WriteFileWhole(target, "new", &why)) << why;
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  fs::remove_all(d);
}
