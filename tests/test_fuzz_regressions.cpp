// Replays the fuzzers' seeds and every input they once found wrong: after each
// key the simulation must stay sane and its outputs read back; each command line
// of fuzz/batch-args is parsed as the option fuzzer judges it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "args_check.h"
#include "sanity.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

void Replay(const fs::path& file) {
  const std::string keys = rgtest::ReadText(file);
  auto s = rgtest::StartedSim();
  bool sane = true;
  rgtest::Press(*s, keys, [&](size_t i) {
    const std::string bad = rgfuzz::CheckSane(*s);
    EXPECT_EQ(bad, "") << file.filename() << " key " << i;
    return sane = bad.empty();
  });
  ASSERT_TRUE(sane);
  static const std::string page = rgtest::ReadText(rgtest::SourcePath("src/app/viewer/viewer.html"));
  ASSERT_FALSE(page.empty());
  EXPECT_EQ(rgfuzz::CheckOutputs(*s, page), "") << file.filename();
}

// Replays every sequence of the folder; returns how many there were.
int ReplayDir(const char* sub) {
  const fs::path dir = rgtest::SourcePath("fuzz") / sub;
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (!e.is_regular_file() || e.path().filename().string()[0] == '.') continue;
    Replay(e.path());
    ++n;
  }
  return n;
}

}  // namespace

TEST(KeySequences, SeedSequencesKeepTheStateSane) { EXPECT_GT(ReplayDir("seeds"), 5); }
// the findings kept so far: a folder emptied by mistake must not pass as fixed
TEST(KeySequences, FuzzerFindingsStayFixed) { EXPECT_GE(ReplayDir("regressions"), 2); }

// The option fuzzer's seeds and findings: refusals one clean line, accepted
// values in range and the same when written out again.
TEST(BatchOptions, CommandLinesKeepTheParsersPromises) {
  const fs::path dir = rgtest::SourcePath("fuzz/batch-args");
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    const std::string line = rgtest::ReadText(e.path());
    EXPECT_EQ(rgfuzz::CheckBatchArgs(reinterpret_cast<const uint8_t*>(line.data()), line.size()), "")
        << e.path().filename();
    ++n;
  }
  EXPECT_GE(n, 10);
}
