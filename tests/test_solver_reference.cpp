// Reference runs of the manipulation: whole runs whose every step was solved to the
// root of its equations (error norm below 1e-12), kept in tests/solver-reference/;
// their first row, the grasp, is the root of its contact equations as well
// (test_grasp_reference judges it against roots polished independently).
// They hold the motion itself, not one solver's path towards it, so a faster correct
// method passes and a wrong one fails:
//   - the run ends with the same status letter, and with every finger's base on the
//     same side of its contact's tangent plane as the reference's last state (no
//     rolling motion crosses it: a jump to the mirror solution in the last, unstored
//     steps shows here);
//   - where it ends away from a fold, after the same number of steps, with the same
//     stored rows and the same last state; where it ends at a fold (a finger's base
//     in its contact's tangent plane, kNearFold), at the same time within the fold's
//     own tolerance: the time step shrinks to kSmallestStep there, so a run stops at
//     most that far before the fold, while how many tiny steps it takes on the way
//     is a property of the solver;
//   - every stored row taken after the same time steps holds the same values within
//     1e-8 where every finger is well conditioned (RollingConditioning at least 1e-2),
//     and within 1e-8 scaled by 1e-2 over the conditioning elsewhere (two methods that
//     both reach 1e-12 differ per step by about 1e-12 over that measure). The time
//     steps may part only at a fold, after which rows are not comparable; a low
//     conditioning alone (on hands 3 and 4 joints 1 and 3 line up early in a run)
//     allows no parting.
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

#include <nlohmann/json.hpp>

#include "batch_run.h"
#include "manip/manip.h"
#include "own_geometry.h"
#include "record_view.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

constexpr double kWellConditioned = 1e-2;  // smallest singular value of a finger's rolling matrix
constexpr double kTolWell = 1e-8;
// A finger is at its fold where its base lies in its contact's tangent plane: below
// this cosine between the base-to-contact line and the contact's tangent plane.
constexpr double kNearFold = 0.02;
// The smallest time step a step is retried with: a run ends at most this long
// before the fold it stops at.
constexpr double kSmallestStep = 5e-6;
constexpr double kEndWindow = kSmallestStep;

// The tolerance of a value of a row whose fingers' smallest conditioning is sigma.
double Tolerance(double sigma) { return kTolWell * std::max(1.0, kWellConditioned / sigma); }

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

// The run's end ("<sgnMANIP> <cntManip0> <HAND1> <WORK1> <time>"), its last state
// ("final" and every finger's joint angles, contact point and normal, which the
// stored rows miss when the run ends between them) and its trajectory CSV; the time
// is ManipTS over the number of fingers.
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
  std::string final = "final";
  if (!run.state.empty()) {
    char v[40];
    const nlohmann::json last = nlohmann::json::parse(run.state.back());
    for (const auto& f : last["fingers"])
      for (const char* key : {"q", "CPNT", "NW"})
        for (const auto& x : f[key]) {
          std::snprintf(v, sizeof v, ",%.17g", x.get<double>());
          final += v;
        }
  }
  std::vector<std::string> out{end, final};
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

// A finger's joint angles, contact point and normal, from a stored row or the last state.
struct FingerAt {
  double q[rg::kSlots] = {}, RC[3] = {}, NW[3] = {};
};
using Pose = std::vector<FingerAt>;  // fingers 1..nF at [0..nF-1]

// The fingers of a stored row, by the header's column names.
Pose RowPose(const std::vector<std::string>& header, const std::vector<std::string>& row) {
  auto at = [&](const std::string& column) {
    const size_t k = std::find(header.begin(), header.end(), column) - header.begin();
    EXPECT_LT(k, row.size()) << column;
    return k < row.size() ? std::strtod(row[k].c_str(), nullptr) : 0.0;
  };
  Pose p;
  for (int kf = 1; std::find(header.begin(), header.end(), "q1_f" + std::to_string(kf)) != header.end(); ++kf) {
    const std::string f = "_f" + std::to_string(kf);
    FingerAt a;
    for (int j = 1; j <= 4; ++j) a.q[j] = at("q" + std::to_string(j) + f);
    for (int i = 0; i < 3; ++i) {
      a.RC[i] = at(std::string("cp") + "xyz"[i] + f);
      a.NW[i] = at(std::string("nw") + "xyz"[i] + f);
    }
    p.push_back(a);
  }
  return p;
}

// The fingers of a "final" line: per finger four angles, the point, the normal.
Pose FinalPose(const std::string& line) {
  const std::vector<std::string> v = Split(line);
  Pose p;
  for (size_t k = 1; k + 10 <= v.size(); k += 10) {
    FingerAt a;
    for (int j = 1; j <= 4; ++j) a.q[j] = std::strtod(v[k + j - 1].c_str(), nullptr);
    for (int i = 0; i < 3; ++i) {
      a.RC[i] = std::strtod(v[k + 4 + i].c_str(), nullptr);
      a.NW[i] = std::strtod(v[k + 7 + i].c_str(), nullptr);
    }
    p.push_back(a);
  }
  return p;
}

// How near a pose's fingers are to their folds and how well conditioned they are,
// for the hand and work the run ended with: the conditioning is the program's
// RollingConditioning, the fold measure the tests' own geometry (the cosine
// between a finger's base-to-contact line and its tangent plane, and the side of
// that plane its base is on).
class Judge {
 public:
  Judge(const std::string& hand, const std::string& work)
      : sim_(rgtest::StartedSim()), hand_(std::atoi(hand.c_str())), cylinder_(work != "\"1\"") {
    own::Press(*sim_, "H" + hand + "W" + (cylinder_ ? "2" : "1"));
  }
  double Conditioning(const Pose& p) const {
    double worst = HUGE_VAL;
    for (size_t k = 0; k < p.size(); ++k)
      worst = std::min(worst, rg::RollingConditioning(*sim_, static_cast<int>(k) + 1, p[k].q, p[k].RC, p[k].NW));
    return worst;
  }
  // the smallest cosine over the fingers (0: a base in its tangent plane)
  double Fold(const Pose& p) const {
    double worst = HUGE_VAL;
    for (size_t k = 0; k < p.size(); ++k) {
      const own::Links L = own::FingerLinks(hand_, cylinder_, static_cast<int>(k) + 1, p[k].q);
      const own::V3 rc{p[k].RC[0], p[k].RC[1], p[k].RC[2]}, n{p[k].NW[0], p[k].NW[1], p[k].NW[2]};
      worst = std::min(worst, std::fabs(own::BaseSide(L, rc, n)) / own::Norm(own::Sub(L.base, rc)));
    }
    return worst;
  }
  // each finger's base side of its tangent plane (+1 or -1)
  std::vector<int> Sides(const Pose& p) const {
    std::vector<int> s;
    for (size_t k = 0; k < p.size(); ++k) {
      const own::Links L = own::FingerLinks(hand_, cylinder_, static_cast<int>(k) + 1, p[k].q);
      const own::V3 rc{p[k].RC[0], p[k].RC[1], p[k].RC[2]}, n{p[k].NW[0], p[k].NW[1], p[k].NW[2]};
      s.push_back(own::BaseSide(L, rc, n) > 0.0 ? 1 : -1);
    }
    return s;
  }

 private:
  std::unique_ptr<rg::Sim> sim_;
  int hand_;
  bool cylinder_;
};

// Every value of two poses within tol (angles modulo a turn).
void ExpectPosesNear(const Pose& got, const Pose& want, double tol, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t k = 0; k < want.size(); ++k) {
    for (int j = 1; j <= 4; ++j)
      EXPECT_LE(std::fabs(std::remainder(got[k].q[j] - want[k].q[j], 2.0 * M_PI)), tol)
          << what << " finger " << k + 1 << " q" << j;
    for (int i = 0; i < 3; ++i) {
      EXPECT_LE(std::fabs(got[k].RC[i] - want[k].RC[i]), tol) << what << " finger " << k + 1 << " point";
      EXPECT_LE(std::fabs(got[k].NW[i] - want[k].NW[i]), tol) << what << " finger " << k + 1 << " normal";
    }
  }
}

}  // namespace

TEST(SolverReference, RunsFindTheRecordedRootsWithinTheirConditioning) {
  const fs::path refDir = fs::path(RG_SOURCE_DIR) / "tests" / "solver-reference";
  const bool record = std::getenv("RG_RECORD_REFERENCE") != nullptr;
  const std::vector<RefRun> runs = Runs();
  int rowsWell = 0, rowsLow = 0, endsAtFold = 0;
  for (const RefRun& r : runs) {
    SCOPED_TRACE(r.name);
    const std::vector<std::string> got = RunBatch(r.name, r.keys);
    ASSERT_GE(got.size(), 3u);  // the end, the last state and the CSV header at least
    const fs::path ref = refDir / (r.name + ".csv");
    if (record) {
      fs::create_directories(refDir);
      std::ofstream out(ref);
      for (const std::string& l : got) out << l << '\n';
      continue;
    }
    ASSERT_TRUE(fs::exists(ref)) << "no reference " << ref;
    const std::vector<std::string> want = rgtest::Lines(ref);
    ASSERT_GE(want.size(), 3u);
    ASSERT_EQ(want[1].rfind("final", 0), 0u) << "a reference without its last state";
    std::istringstream eg(got[0]), ew(want[0]);
    std::string statusGot, statusWant, handGot, handWant, workGot, workWant;
    int stepsGot = -1, stepsWant = -1;
    double tGot = 0.0, tWant = 0.0;
    eg >> statusGot >> stepsGot >> handGot >> workGot >> tGot;
    ew >> statusWant >> stepsWant >> handWant >> workWant >> tWant;
    ASSERT_EQ(statusGot, statusWant) << "status at the end";
    ASSERT_EQ(handGot + workGot, handWant + workWant) << "hand and work at the end";

    const Judge judge(handWant, workWant);
    const Pose lastGot = FinalPose(got[1]), lastWant = FinalPose(want[1]);
    ASSERT_EQ(lastGot.size(), lastWant.size());
    if (stepsWant > 0) {
      EXPECT_EQ(judge.Sides(lastGot), judge.Sides(lastWant)) << "a base across its tangent plane at the end";
    }
    const bool atFold = stepsWant > 0 && judge.Fold(lastWant) < kNearFold;
    if (atFold) {
      ++endsAtFold;
      EXPECT_NEAR(tGot, tWant, kEndWindow) << "time at the end, at the fold";
    } else {
      ASSERT_EQ(stepsGot, stepsWant) << "steps at the end, away from a fold";
      ASSERT_EQ(got.size(), want.size()) << "stored rows";
      ExpectPosesNear(lastGot, lastWant, Tolerance(judge.Conditioning(lastWant)), "the last state");
    }

    const std::vector<std::string> header = Split(want[2]), now = Split(got[2]);
    std::vector<size_t> at(header.size());
    for (size_t k = 0; k < header.size(); ++k) {
      at[k] = std::find(now.begin(), now.end(), header[k]) - now.begin();
      ASSERT_LT(at[k], now.size()) << "column " << header[k] << " is gone";
    }
    const size_t timeAt = std::find(header.begin(), header.end(), "time") - header.begin();
    ASSERT_LT(timeAt, header.size());
    const size_t rows = std::min(got.size(), want.size());
    for (size_t i = 3; i < rows; ++i) {
      const std::vector<std::string> a = Split(got[i]), b = Split(want[i]);
      ASSERT_EQ(a.size(), now.size()) << "row " << i - 3;
      ASSERT_EQ(b.size(), header.size()) << "row " << i - 3;
      const Pose pose = RowPose(header, b);
      const double sigma = judge.Conditioning(pose);
      const double ta = std::strtod(a[at[timeAt]].c_str(), nullptr), tb = std::strtod(b[timeAt].c_str(), nullptr);
      if (std::fabs(ta - tb) > 1e-9) {
        // another time step succeeded: only at a fold, and from there on the rows are
        // taken at other times
        ASSERT_LT(judge.Fold(pose), kNearFold) << "row " << i - 3 << " taken at time " << ta << " against " << tb
                                               << " away from a fold (conditioning " << sigma << ")";
        break;
      }
      const double tol = Tolerance(sigma);
      ++(sigma >= kWellConditioned ? rowsWell : rowsLow);
      for (size_t k = 0; k < header.size(); ++k) {
        if (!Compared(header[k])) continue;
        const double x = std::strtod(a[at[k]].c_str(), nullptr), y = std::strtod(b[k].c_str(), nullptr);
        const double d = IsAngle(header[k]) ? std::remainder(x - y, 2.0 * M_PI) : x - y;
        ASSERT_LE(std::fabs(d), tol) << "row " << i - 3 << " " << header[k] << ": " << x << " against "
                                     << y << ", conditioning " << sigma;
      }
    }
  }
  if (!record) {
    std::printf("[ compared ] %d rows well conditioned, %d below; %d runs end at a fold\n", rowsWell,
                rowsLow, endsAtFold);
    EXPECT_GT(rowsWell, 500);
    EXPECT_GT(endsAtFold, 3);
  }
}
