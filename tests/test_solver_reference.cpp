// Solver reference runs: a faster solver must find the same motion. For the four
// default runs, runs after velocity keys and the fuzzer's seed sequences, the run ends
// with the same status letter after the same number of steps, and every stored row
// of the trajectory holds the same joint angles and contact parameters within 1e-7
// (other columns within 1e-6) as the trajectories recorded in tests/solver-reference/.
// RG_RECORD_REFERENCE=1 records them anew.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch_run.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream ss(line);
  for (std::string cell; std::getline(ss, cell, ',');) out.push_back(cell);
  return out;
}

// The run's end ("<sgnMANIP> <cntManip0>") and its trajectory CSV.
std::vector<std::string> RunBatch(const std::string& name, const std::string& keys) {
  const rgtest::BatchRun run = rgtest::RunBatchFiles("rg-sref", name, keys);
  // the end of the manipulation: the last state's status and step count
  std::string end = "none";
  const std::vector<std::string>& states = run.state;
  if (!states.empty()) {
    const std::string& last = states.back();
    auto field = [&](const std::string& key) {
      const size_t at = last.find("\"" + key + "\":");
      if (at == std::string::npos) return std::string("?");
      size_t b = at + key.size() + 3, e = b;
      while (e < last.size() && last[e] != ',' && last[e] != '}') ++e;
      return last.substr(b, e - b);
    };
    end = field("sgnMANIP") + " " + field("cntManip0");
  }
  std::vector<std::string> out{end};
  out.insert(out.end(), run.csv.begin(), run.csv.end());
  return out;
}

struct RefRun {
  std::string name, keys;
};

std::vector<RefRun> Runs() {
  std::vector<RefRun> runs;
  const int steps[5] = {0, 345, 135, 345, 150};
  for (int h = 1; h <= 4; ++h) {
    const int nF = (h % 2 == 1) ? 2 : 3;
    runs.push_back({"default-hand" + std::to_string(h), "H" + std::to_string(h) + "G" +
                                                            std::string(nF, 's') + "A" +
                                                            std::string(steps[h], 's')});
  }
  for (const char* v : {"Q", "p", "xQ"})
    runs.push_back({std::string("hand1-velocity-") + v,
                    std::string("V") + v + "Gss" + "A" + std::string(360, 's')});
  for (auto& [name, keys] : rgtest::FuzzSeedRuns()) runs.push_back({name, keys});
  return runs;
}

// joint angles and contact parameters: the solver's own unknowns and results
bool Tight(const std::string& column) {
  for (const char* p : {"q1_", "q2_", "q3_", "q4_", "Lf_", "fif_", "psif_", "Lw_", "Ltw_", "thw_"})
    if (column.rfind(p, 0) == 0) return true;
  return false;
}

TEST(SolverReference, SameEndsAndTrajectoriesWithinTolerance) {
  const fs::path refDir = fs::path(RG_SOURCE_DIR) / "tests" / "solver-reference";
  const bool record = std::getenv("RG_RECORD_REFERENCE") != nullptr;
  const std::vector<RefRun> runs = Runs();
  ASSERT_GE(runs.size(), 12u);
  int rowsCompared = 0;
  for (const RefRun& r : runs) {
    SCOPED_TRACE(r.name);
    const std::vector<std::string> got = RunBatch(r.name, r.keys);
    ASSERT_GE(got.size(), 2u);  // the end and the CSV header at least
    const fs::path ref = refDir / (r.name + ".csv");
    if (record) {
      fs::create_directories(refDir);
      std::ofstream out(ref);
      for (const std::string& l : got) out << l << '\n';
      continue;
    }
    ASSERT_TRUE(fs::exists(ref)) << "no reference " << ref;
    const std::vector<std::string> want = rgtest::Lines(ref);
    ASSERT_EQ(got[0], want[0]) << "status and steps at the end";
    ASSERT_EQ(got.size(), want.size()) << "stored rows";
    // columns by name: the CSV may have gained columns since, never lost one
    const std::vector<std::string> header = Split(want[1]), now = Split(got[1]);
    std::vector<size_t> at(header.size());
    for (size_t k = 0; k < header.size(); ++k) {
      at[k] = std::find(now.begin(), now.end(), header[k]) - now.begin();
      ASSERT_LT(at[k], now.size()) << "column " << header[k] << " is gone";
    }
    for (size_t i = 2; i < got.size(); ++i) {
      const std::vector<std::string> a = Split(got[i]), b = Split(want[i]);
      ASSERT_EQ(a.size(), now.size()) << "row " << i - 2;
      ASSERT_EQ(b.size(), header.size()) << "row " << i - 2;
      for (size_t k = 0; k < header.size(); ++k) {
        const double x = std::strtod(a[at[k]].c_str(), nullptr), y = std::strtod(b[k].c_str(), nullptr);
        ASSERT_NEAR(x, y, Tight(header[k]) ? 1e-7 : 1e-6) << "row " << i - 2 << " " << header[k];
      }
      ++rowsCompared;
    }
  }
  if (!record) {
    EXPECT_GT(rowsCompared, 300);
  }
}

}  // namespace
