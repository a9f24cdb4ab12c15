// Replays the fuzzer's seed sequences and every sequence it once found wrong:
// after each key the simulation must stay sane.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/keyboard.h"
#include "sanity.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

void Replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string keys((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto s = rgtest::StartedSim();
  for (size_t i = 0; i < keys.size(); ++i) {
    const bool quit = rg::keyboard(*s, static_cast<unsigned char>(keys[i]), 0, 0);
    const std::string bad = rgfuzz::CheckSane(*s);
    ASSERT_EQ(bad, "") << file.filename() << " key " << i;
    if (quit) break;
  }
}

// Replays every sequence of the folder; returns how many there were.
int ReplayDir(const char* sub) {
  const fs::path dir = fs::path(RG_SOURCE_DIR) / "fuzz" / sub;
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
