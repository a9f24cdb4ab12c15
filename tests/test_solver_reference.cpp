// Reference runs of the manipulation: whole runs whose every step was solved to the
// root of its equations (error norm below 1e-12), kept in tests/solver-reference/.
// They hold the motion itself, not one solver's path towards it, so a faster correct
// method passes and a wrong one fails:
//   - the run ends with the same status letter; where it ends well conditioned, after
//     the same number of steps; where it ends near a singular posture, at the same
//     time within kEndTime. There the time step shrinks down to 5e-6, and whether an
//     attempt at a larger one succeeds decides how many tiny steps follow, so the step
//     count is a property of the solver there while the time the fold is reached is not;
//   - every stored row taken after the same time steps holds the same values within
//     1e-8 where every finger is well conditioned (RollingConditioning at least 1e-2),
//     within 1e-6 elsewhere. Two methods that both reach 1e-12 differ per step by about
//     1e-12 over that measure, and the differences add up along a run. The time steps
//     may part only near the singular posture, after which rows are not comparable.
// The runs: the default runs of all four hands on the cylinder and the sphere, runs
// after velocity and pose keys, and the fuzzer's seed sequences.
// RG_RECORD_REFERENCE=1 records them anew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch_run.h"
#include "manip/manip.h"
#include "record_view.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

constexpr double kWellConditioned = 1e-2;  // smallest singular value of a finger's rolling matrix
constexpr double kTolWell = 1e-8, kTolNearSingular = 1e-6;
constexpr double kEndTime = 1e-4;  // twenty of the smallest time steps

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream ss(line);
  for (std::string cell; std::getline(ss, cell, ',');) out.push_back(cell);
  return out;
}

// A field of a JSON state line, as written ("?" when absent).
std::string Field(const std::string& json, const std::string& key) {
  const size_t at = json.find("\"" + key + "\":");
  if (at == std::string::npos) return "?";
  size_t b = at + key.size() + 3, e = b;
  while (e < json.size() && json[e] != ',' && json[e] != '}') ++e;
  return json.substr(b, e - b);
}

// The run's end ("<sgnMANIP> <cntManip0> <HAND1> <WORK1> <time>") and its trajectory
// CSV; the time is ManipTS over the number of fingers.
std::vector<std::string> RunBatch(const std::string& name, const std::string& keys) {
  const rgtest::BatchRun run = rgtest::RunBatchFiles("rg-sref", name, keys);
  std::string end = "none";
  if (!run.state.empty()) {
    const std::string& last = run.state.back();
    int nF = 0;
    for (size_t at = last.find("\"kf\":"); at != std::string::npos; at = last.find("\"kf\":", at + 1)) ++nF;
    char t[32];
    std::snprintf(t, sizeof t, "%.9f", std::strtod(Field(last, "ManipTS").c_str(), nullptr) / std::max(nF, 1));
    end = Field(last, "sgnMANIP") + " " + Field(last, "cntManip0") + " " + Field(last, "HAND1") +
          " " + Field(last, "WORK1") + " " + t;
  }
  std::vector<std::string> out{end};
  out.insert(out.end(), run.csv.begin(), run.csv.end());
  return out;
}

struct RefRun {
  std::string name, keys;
};

std::string Repeat(char c, int n) { return std::string(n, c); }

std::vector<RefRun> Runs() {
  std::vector<RefRun> runs;
  const int cylSteps[5] = {0, 350, 140, 350, 150}, sphSteps[5] = {0, 460, 210, 420, 360};
  for (int h = 1; h <= 4; ++h) {
    const std::string hand = "H" + std::to_string(h), grasp = Repeat('s', h % 2 == 1 ? 2 : 3);
    runs.push_back({"default-hand" + std::to_string(h), hand + "G" + grasp + "A" + Repeat('s', cylSteps[h])});
    runs.push_back({"sphere-hand" + std::to_string(h),
                    hand + "W1G" + grasp + "A" + Repeat('s', sphSteps[h])});
  }
  for (const char* v : {"Q", "p", "xQ"})
    runs.push_back({std::string("hand1-velocity-") + v, std::string("V") + v + "GssA" + Repeat('s', 360)});
  runs.push_back({"hand2-velocity-Q", "H2VQGsssA" + Repeat('s', 130)});
  runs.push_back({"hand1-pose-pp", "MppGssA" + Repeat('s', 360)});
  runs.push_back({"sphere-hand1-tip", "W1M" + Repeat('Y', 30) + "GssA" + Repeat('s', 250)});
  for (auto& [name, keys] : rgtest::FuzzSeedRuns()) runs.push_back({name, keys});
  return runs;
}

// the record's motion: everything but the grasp quality, which its own tests judge
bool Compared(const std::string& column) { return column != "epsilon" && column != "volume"; }
bool IsAngle(const std::string& column) {
  for (const char* p : {"fif_", "thw_", "alw_"})
    if (column.rfind(p, 0) == 0) return true;
  return false;
}

// The smallest RollingConditioning of the fingers of a stored row, for the hand and
// work the run ended with.
class Conditioning {
 public:
  Conditioning(const std::string& hand, const std::string& work, const std::vector<std::string>& header)
      : sim_(rgtest::StartedSim()), header_(header) {
    own::Press(*sim_, "H" + hand + "W" + (work == "\"1\"" ? "1" : "2"));
  }
  double Of(const std::vector<std::string>& row) const {
    double worst = HUGE_VAL;
    for (int kf = 1; kf <= sim_->nF(); ++kf) {
      const std::string f = "_f" + std::to_string(kf);
      double q[rg::kSlots] = {}, RC[3], NW[3];
      for (int j = 1; j <= 4; ++j) q[j] = At(row, "q" + std::to_string(j) + f);
      for (int i = 0; i < 3; ++i) {
        RC[i] = At(row, std::string("cp") + "xyz"[i] + f);
        NW[i] = At(row, std::string("nw") + "xyz"[i] + f);
      }
      worst = std::min(worst, rg::RollingConditioning(*sim_, kf, q, RC, NW));
    }
    return worst;
  }

 private:
  double At(const std::vector<std::string>& row, const std::string& column) const {
    const size_t k = std::find(header_.begin(), header_.end(), column) - header_.begin();
    EXPECT_LT(k, row.size()) << column;
    return k < row.size() ? std::strtod(row[k].c_str(), nullptr) : 0.0;
  }
  std::unique_ptr<rg::Sim> sim_;
  std::vector<std::string> header_;
};

TEST(SolverReference, RunsFindTheRecordedRootsWithinTheirConditioning) {
  const fs::path refDir = fs::path(RG_SOURCE_DIR) / "tests" / "solver-reference";
  const bool record = std::getenv("RG_RECORD_REFERENCE") != nullptr;
  const std::vector<RefRun> runs = Runs();
  int rowsWell = 0, rowsNear = 0;
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
    ASSERT_GE(want.size(), 2u);
    std::istringstream eg(got[0]), ew(want[0]);
    std::string statusGot, statusWant, handGot, handWant, workGot, workWant;
    int stepsGot = -1, stepsWant = -1;
    double tGot = 0.0, tWant = 0.0;
    eg >> statusGot >> stepsGot >> handGot >> workGot >> tGot;
    ew >> statusWant >> stepsWant >> handWant >> workWant >> tWant;
    ASSERT_EQ(statusGot, statusWant) << "status at the end";

    const std::vector<std::string> header = Split(want[1]), now = Split(got[1]);
    std::vector<size_t> at(header.size());
    for (size_t k = 0; k < header.size(); ++k) {
      at[k] = std::find(now.begin(), now.end(), header[k]) - now.begin();
      ASSERT_LT(at[k], now.size()) << "column " << header[k] << " is gone";
    }
    const size_t timeAt = std::find(header.begin(), header.end(), "time") - header.begin();
    ASSERT_LT(timeAt, header.size());
    const Conditioning cond(handWant, workWant, header);
    const bool endsNearSingular = want.size() > 2 && cond.Of(Split(want.back())) < kWellConditioned;
    if (endsNearSingular) {
      EXPECT_NEAR(tGot, tWant, kEndTime) << "time at the end, near the singular posture";
    } else {
      ASSERT_EQ(stepsGot, stepsWant) << "steps at the end, well conditioned";
      ASSERT_EQ(got.size(), want.size()) << "stored rows";
    }
    const size_t rows = std::min(got.size(), want.size());
    for (size_t i = 2; i < rows; ++i) {
      const std::vector<std::string> a = Split(got[i]), b = Split(want[i]);
      ASSERT_EQ(a.size(), now.size()) << "row " << i - 2;
      ASSERT_EQ(b.size(), header.size()) << "row " << i - 2;
      const double sigma = cond.Of(b);
      const double ta = std::strtod(a[at[timeAt]].c_str(), nullptr), tb = std::strtod(b[timeAt].c_str(), nullptr);
      if (std::fabs(ta - tb) > 1e-9) {
        // another time step succeeded: only near the singular posture, and from there on
        // the rows are taken at other times
        ASSERT_LT(sigma, kWellConditioned) << "row " << i - 2 << " taken at time " << ta << " against " << tb;
        break;
      }
      const double tol = sigma >= kWellConditioned ? kTolWell : kTolNearSingular;
      ++(sigma >= kWellConditioned ? rowsWell : rowsNear);
      for (size_t k = 0; k < header.size(); ++k) {
        if (!Compared(header[k])) continue;
        const double x = std::strtod(a[at[k]].c_str(), nullptr), y = std::strtod(b[k].c_str(), nullptr);
        const double d = IsAngle(header[k]) ? std::remainder(x - y, 2.0 * M_PI) : x - y;
        ASSERT_LE(std::fabs(d), tol) << "row " << i - 2 << " " << header[k] << ": " << x << " against "
                                     << y << ", conditioning " << sigma;
      }
    }
  }
  if (!record) {
    std::printf("[ compared ] %d rows well conditioned, %d near a singular posture\n", rowsWell, rowsNear);
    EXPECT_GT(rowsWell, 500);
  }
}

}  // namespace
