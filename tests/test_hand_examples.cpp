// The example hands of hands/ (four and five fingers, read from their files) grasp
// the cylinder and the sphere and roll them, every step judged by the whole-run
// physics checks with the tests' own geometry of the layout the files describe.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/hand_choice.h"
#include "cylinder_step_check.h"
#include "own_geometry.h"
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

}  // namespace
