// Runs the built rollgrasp-batch on a key string and reads back the state
// lines and trajectory CSV it wrote: for tests that compare whole runs with
// stored references. Needs RG_BUILD_DIR (set for every test by the build).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace rgtest {

inline std::vector<std::string> Lines(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

struct BatchRun {
  std::vector<std::string> state;  // one JSON line per state written
  std::vector<std::string> csv;    // the trajectory CSV, header first
};

// Runs the batch driver with `keys` given in a keys file; a non-zero exit
// status is a test failure (options go before the others). `tag` keeps the
// scratch files of different tests apart.
inline BatchRun RunBatchFiles(const std::string& tag, const std::string& name,
                              const std::string& keys, const std::string& options = "") {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / (tag + "-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path keyFile = dir / (name + ".keys"), state = dir / (name + ".jsonl"),
                 csv = dir / (name + ".csv");
  std::ofstream(keyFile, std::ios::binary) << keys;
  const std::string cmd = std::string(RG_BUILD_DIR) + "/rollgrasp-batch " + options + " --state " +
                          state.string() + " --trajectory " + csv.string() + " --keys-file " +
                          keyFile.string() + " >/dev/null 2>&1 </dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  BatchRun run{Lines(state), Lines(csv)};
  fs::remove_all(dir);
  return run;
}

// The fuzzer's seed key sequences (fuzz/seeds, sorted by file name) as
// ("seed-<file>", keys) pairs: whole runs the references also cover.
inline std::vector<std::pair<std::string, std::string>> FuzzSeedRuns() {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(fs::path(RG_SOURCE_DIR) / "fuzz" / "seeds"))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::vector<std::pair<std::string, std::string>> runs;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    runs.emplace_back("seed-" + f.filename().string(), ss.str());
  }
  return runs;
}

}  // namespace rgtest
