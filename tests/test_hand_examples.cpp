// The example hands of hands/ (four and five fingers, read from their files) and the
// gait hand grasp the cylinder and the sphere and roll them, every step judged by the
// whole-run physics checks with the tests' own geometry of the layout the files
// describe; any three of the gait hand's fingers hold the work without the fourth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>
#include <string>

#include "app/hand_choice.h"
#include "cylinder_step_check.h"
#include "hand/hand_file.h"
#include "own_geometry.h"
#include "quality/quality.h"
#include "record/grasp_quality.h"
#include "record/report.h"
#include "record_view.h"
#include "sphere_step_check.h"
#include "support.h"

namespace {

struct Example {
  const char* file;
  own::HandLayout layout;  // where its fingers sit, as the file is meant to say
  int fingers;
  int minSphereSteps, minCylinderSteps;
};

const Example kExamples[] = {
    {"example-4finger.urdf",  // links 100 long instead of 80
     own::HandLayout({0.0, 3 * M_PI / 4, M_PI, 5 * M_PI / 4}, true, false)
         .Sized(100.0, rg::catalogue::aFin, rg::catalogue::rPalm),
     4, 200, 150},
    {"example-5finger.urdf",
     own::HandLayout({0.0, 2 * M_PI / 3, 8 * M_PI / 9, 10 * M_PI / 9, 4 * M_PI / 3}, true, false)
         .Sized(rg::catalogue::lFin, 10.0, rg::catalogue::rPalm),  // links 10 thick, not 12
     5, 150, 100},
    {"gait-4finger.urdf",  // hand 1's fingers split into two pairs, 22.5 degrees off its axis
     own::HandLayout({-M_PI / 8, M_PI / 8, 7 * M_PI / 8, 9 * M_PI / 8}, false, false), 4, 250,
     250},
};

// Grasps work ('1' sphere, '2' cylinder) with the example's hand and rolls it at the
// default velocity until a verdict or 400 steps, checking every step; the steps done.
template <class Work, class Result, class Check>
int RollChecked(const Example& ex, char work, Check check) {
  auto sp = rgtest::StartedSim();
  rg::Sim& s = *sp;
  std::string why;
  EXPECT_TRUE(rg::UseHandFile(s, std::string(RG_SOURCE_DIR) + "/hands/" + ex.file, &why)) << why;
  EXPECT_EQ(s.nF(), ex.fingers);
  own::Press(s, std::string("W") + work + "G" + std::string(ex.fingers, 's') + "A");
  for (int kf = 1; kf <= s.nF(); ++kf) EXPECT_EQ(s.sgnGRASPM[kf], 'Y') << "finger " << kf;
  if (s.sgnCALGEnd != 'Y' || s.WORK1 != work) {
    ADD_FAILURE() << "no complete grasp";
    return 0;
  }
  Result r;
  while (s.sgnMANIP == 'Y' && r.steps < 400) {
    own::RecordState<Work> a, b;
    if (!own::RecordedStep(s, a, b, r)) break;
    SCOPED_TRACE(testing::Message() << "step " << r.steps);
    check(s, ex.layout, a, b, s.vw, s.omww, r);
    if (testing::Test::HasFailure()) break;  // one step's report is enough
  }
  // a run ends in one of the step's own verdicts, or is still rolling at the cap
  EXPECT_NE(std::string("YCOD").find(s.sgnMANIP), std::string::npos) << s.sgnMANIP;
  EXPECT_EQ(rg::TrajectoryCsv(s).find("nan"), std::string::npos);
  return r.steps;
}

TEST(HandExamples, GraspAndRollTheSphereAndTheCylinderWithoutSlipOrSpin) {
  for (const Example& ex : kExamples) {
    SCOPED_TRACE(ex.file);
    const int sphere =
        RollChecked<own::Sphere, own::sphere::RunResult>(ex, '1', own::sphere::CheckSphereStep);
    EXPECT_GE(sphere, ex.minSphereSteps);
    const int cylinder =
        RollChecked<own::Cylinder, own::RunResult>(ex, '2', own::CheckCylinderStep);
    EXPECT_GE(cylinder, ex.minCylinderSteps);
  }
}

// The gait hand's hold with one finger lifted: the least epsilon of any three of its
// four grasp contacts (soft fingers, friction 0.5, torsion 0.1, 8 cone edges: the
// simulation's defaults) at the grasp and at every tenth step after it (every second
// stored row), the finger left out there and the step.
struct Weakest {
  double epsilon = INFINITY;
  int lifted = 0, step = 0;
};

// Grasps work ('1' sphere, '2' cylinder) with the hand of model and rolls it at the
// default velocity for steps steps (0: the grasp alone); the weakest hold of three
// fingers over them. Every finger must make a rolling contact (type) and the run
// must last.
Weakest WeakestHold(std::shared_ptr<const rg::Model> model, char work, const char* type,
                    int steps) {
  auto sp = rgtest::StartedSim();
  rg::Sim& s = *sp;
  rg::SelectHandModel(s, std::move(model));
  own::Press(s, std::string("W") + work + "G" + std::string(s.nF(), 's') + "A");
  for (int kf = 1; kf <= s.nF(); ++kf)
    EXPECT_EQ(std::string(s.GGTYPE[kf], 2), type) << "finger " << kf;
  own::Press(s, std::string(steps, 's'));
  EXPECT_EQ(s.sgnMANIP, 'Y') << "the run stops before step " << steps;
  EXPECT_EQ(s.cntManip0, steps);
  const rg::QualitySettings& q = s.qualitySettings;
  EXPECT_TRUE(q.model == rg::ContactModel::Soft && q.mu == 0.5 && q.torsion == 0.1 &&
              q.cone_edges == 8);
  Weakest w;
  for (int m = 0; m * rg::kDecim <= steps && m < rg::RecordLength(s); m += 2) {
    rg::QualityContact c[rg::kMaxQualityContacts], three[3];
    double centre[3], rho;
    EXPECT_EQ(rg::QualityContactsOfRow(s, m, c, centre, &rho), 4);
    for (int lifted = 1; lifted <= 4; ++lifted) {
      for (int kf = 1, n = 0; kf <= 4; ++kf)
        if (kf != lifted) three[n++] = c[kf - 1];
      const rg::QualityResult r = rg::GraspQuality(three, 3, centre, rho, q,
                                                   rg::QualityMeasures::ClosureAndEpsilon);
      const double e = r.force_closure ? r.epsilon : 0.0;
      if (e < w.epsilon) w = {e, lifted, m * rg::kDecim};
    }
  }
  return w;
}

// The gait hand's file with finger kf's mount turned to deg degrees on the palm's rim.
std::string WithMount(const std::string& text, int kf, double deg) {
  const double phi = deg * M_PI / 180.0, r = rg::catalogue::rPalm;
  char origin[160];
  std::snprintf(origin, sizeof origin, "xyz=\"%.17g 0 %.17g\" rpy=\"0 %.17g 0\"",
                r * std::sin(phi), r * std::cos(phi), phi);
  const std::regex mount("(<joint name=\"finger" + std::to_string(kf) +
                         "_mount\"[\\s\\S]*?<origin )xyz=\"[^\"]*\" rpy=\"[^\"]*\"");
  return std::regex_replace(text, mount, "$1" + std::string(origin),
                            std::regex_constants::format_first_only);
}

// Any finger of the gait hand can be lifted: the other three hold the cylinder and
// the sphere in force closure with epsilon at least kHold at the grasp and over the
// first 200 steps of the default run (measured least 0.076 on the cylinder, finger 4
// lifted at step 200, and 0.073 on the sphere; docs/hands.md). One mount 22.5 degrees
// off, finger 3 at 135 instead of 157.5, already falls below it at the grasp.
TEST(GaitHand, AnyThreeFingersHoldTheCylinderAndTheSphereOverTheFirst200Steps) {
  constexpr double kHold = 0.04;
  const std::string text = rgtest::ReadText(rgtest::SourcePath("hands/gait-4finger.urdf"));
  const rg::HandFileResult file = rg::ParseHandDescription(text, "gait-4finger.urdf");
  ASSERT_TRUE(file.model) << file.error;
  for (const auto& [work, type] : {std::pair<char, const char*>{'2', "LC"}, {'1', "LS"}}) {
    SCOPED_TRACE(work == '2' ? "cylinder" : "sphere");
    const Weakest w = WeakestHold(file.model, work, type, 200);
    EXPECT_GE(w.epsilon, kHold) << "finger " << w.lifted << " lifted at step " << w.step;
  }
  const rg::HandFileResult off = rg::ParseHandDescription(WithMount(text, 3, 135.0), "off.urdf");
  ASSERT_TRUE(off.model) << off.error;
  EXPECT_LT(WeakestHold(off.model, '2', "LC", 0).epsilon, kHold);
}

}  // namespace
