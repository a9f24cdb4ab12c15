// Reference runs: the state after every key (the batch driver's JSON line, console
// text included) of the four default runs and of the fuzzer's seed sequences must
// stay as recorded up to the first manipulation step: the start-up, the mode keys,
// the grasp's decisions (contact types, verdicts, the part of the work touched, the
// completion flags) and everything around them are judged bit for bit. The numbers
// a grasp contact computes (the finger's angles and joint positions, the contact
// parameters, point and normal, and the grasp quality of those contacts) are the root
// of the contact equations, found by whatever method is fastest: they are left out of
// the hash here and judged against recorded roots within the tolerance their
// conditioning allows (test_grasp_reference, and row 0 of test_solver_reference). What
// a manipulation step computes is judged the same way (test_solver_reference). The
// reference holds one 64-bit FNV-1a hash per state line; RG_RECORD_REFERENCE=1 writes
// it anew.
// The lines ask for the grasp quality's volume (--state-volume), as every line had it when
// they were recorded.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "batch_run.h"

namespace fs = std::filesystem;

namespace {

uint64_t Fnv1a(const std::string& line) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : line) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// A state line with the numbers of its grasp contacts left out: those of every finger
// that holds a contact, and the grasp quality once any finger does.
std::string WithoutContactNumbers(const std::string& line) {
  nlohmann::json state = nlohmann::json::parse(line, nullptr, false);
  if (state.is_discarded() || !state.contains("fingers")) return line;
  bool grasped = false;
  for (auto& f : state["fingers"]) {
    if (!f.contains("GGTYPE") || f["GGTYPE"] == "NN") continue;
    grasped = true;
    for (const char* key : {"q", "qf", "JA", "CPNT", "NW", "Lf", "fif", "psif", "Lw", "Ltw", "thw", "alw", "betw"})
      if (f.contains(key)) f[key] = "root";
  }
  if (grasped && state.contains("quality"))
    for (const char* key : {"epsilon", "volume"})
      if (state["quality"].contains(key)) state["quality"][key] = "root";
  return state.dump();
}

// Runs the batch driver on the keys; the hashes of its state lines up to the first
// manipulation step, contact numbers left out (the later ones are marked "-").
std::vector<std::string> RunBatch(const std::string& name, const std::string& keys) {
  const rgtest::BatchRun run = rgtest::RunBatchFiles("rg-ref", name, keys, "--state-volume");
  std::vector<std::string> out;
  bool manipulated = false;
  for (const std::string& l : run.state) {
    manipulated = manipulated || l.find("\"cntManip0\":0,") == std::string::npos;
    if (manipulated) {
      out.push_back("-");
      continue;
    }
    char hex[20];
    std::snprintf(hex, sizeof hex, "%016llx",
                  static_cast<unsigned long long>(Fnv1a(WithoutContactNumbers(l))));
    out.push_back(hex);
  }
  return out;
}

struct RefRun {
  std::string name, keys;
};

std::vector<RefRun> References() {
  std::vector<RefRun> runs;
  const int steps[5] = {0, 345, 135, 345, 150};  // a few more than each default run takes
  for (int h = 1; h <= 4; ++h) {
    const int nF = (h % 2 == 1) ? 2 : 3;
    runs.push_back({"default-hand" + std::to_string(h),
                    "H" + std::to_string(h) + "G" + std::string(nF, 's') + "A" +
                        std::string(steps[h], 's') + "D" + std::string(80, 's')});
  }
  for (auto& [name, keys] : rgtest::FuzzSeedRuns()) runs.push_back({name, keys});
  return runs;
}

TEST(ReferenceRuns, EveryStateBeforeTheManipulationIsAsRecorded) {
  const fs::path refDir = fs::path(RG_SOURCE_DIR) / "tests" / "reference";
  const bool record = std::getenv("RG_RECORD_REFERENCE") != nullptr;
  const std::vector<RefRun> runs = References();
  ASSERT_GE(runs.size(), 10u);
  for (const RefRun& r : runs) {
    SCOPED_TRACE(r.name);
    const std::vector<std::string> got = RunBatch(r.name, r.keys);
    ASSERT_GT(got.size(), 2u);
    const fs::path ref = refDir / (r.name + ".fnv");
    if (record) {
      fs::create_directories(refDir);
      std::ofstream out(ref);
      for (const std::string& h : got) out << h << '\n';
      continue;
    }
    ASSERT_TRUE(fs::exists(ref)) << "no reference " << ref;
    const std::vector<std::string> want = rgtest::Lines(ref);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
      ASSERT_EQ(got[i], want[i]) << "state line " << i;
  }
}

}  // namespace
