// Whole manipulation runs of the work sphere, driven through the keys as a user
// drives them: hand, sphere and velocity chosen (and the sphere moved), every
// finger grasped, then 's' in mode 'A' until the motion stops. Every completed
// step is judged from the record alone with this file's own geometry (the finger
// kinematics rebuilt from the catalogue, the sphere from its recorded pose), never
// with the solver's residuals:
//   - the contact lies on the moved sphere and on the finger: at aFin from the last
//     link's axis within the link ("LS"), or at aFin from the fingertip centre on the
//     ball's front half ("TS");
//   - no slip: the arc rolled on the finger equals the arc rolled on the sphere, the
//     sphere's and the tip ball's arcs taken along great circles, the link's in its
//     developed (along, around) coordinates, both resolved in the contact's tangent
//     directions before and after the step and averaged (midpoint rule);
//   - no spin: the finger did not turn against the sphere about the midpoint normal;
//   - no link of any finger reaches into the sphere by more than 1e-3;
//   - no finger's base crosses its contact's tangent plane (the mirror solution).
// Apart from the physics, the solver's own account: every finger's step equations
// were solved to their root (error norm below kRootTol).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/hand_choice.h"
#include "app/keyboard.h"
#include "core/catalogue.h"
#include "manip/manip.h"
#include "record/report.h"
#include "own_geometry.h"
#include "record_view.h"
#include "sphere_step_check.h"
#include "support.h"

namespace {

using namespace rg;
using namespace own;
using namespace own::sphere;

using State = RecordState<Sphere>;

// Runs a scene through the keys, judging every step; stops at any status but 'Y'
// or after maxSteps steps.
// The works take the sizes dims before the hand is chosen; the judge is told them.
RunResult RunScene(int hand, const std::string& setup, int maxSteps, const WorkDims& dims = {}) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  std::string why;
  EXPECT_TRUE(SetWorkSizes(s, {dims.aSph, dims.aCyl, dims.hCyl}, &why)) << why;
  Press(s, "H" + std::string(1, static_cast<char>('0' + hand)) + "W1" + setup);
  Press(s, "G" + std::string(s.nF(), 's') + "A");
  RunResult r;
  for (int kf = 1; kf <= s.nF(); ++kf) {
    EXPECT_EQ(s.sgnGRASPM[kf], 'Y') << "finger " << kf;
    EXPECT_TRUE(GraspRolls(s, kf)) << "finger " << kf;
    r.types += std::string(s.GGTYPE[kf], 2) + " ";
  }
  if (s.sgnCALGEnd != 'Y' || s.WORK1 != '1') {
    ADD_FAILURE() << "no complete grasp of the sphere";
    return r;
  }
  while (s.sgnMANIP == 'Y' && r.steps < maxSteps) {
    State a, b;
    const int M = s.cntManip0;
    if (!RecordedStep(s, a, b, r, dims)) break;
    SCOPED_TRACE(testing::Message() << "hand " << hand << " keys '" << setup << "' step " << M + 1
                                    << " sphere radius " << dims.aSph);
    CheckSphereStep(s, hand, a, b, s.vw, s.omww, r);
    for (int kf = 1; kf <= s.nF(); ++kf)
      EXPECT_LT(s.ManipRootErr[kf], kRootTol) << "finger " << kf << " not polished to its root";
    if (testing::Test::HasFailure()) break;  // one step's report is enough
  }
  r.status = s.sgnMANIP;
  for (int i = 0; i < 3; ++i) r.endRw[i] = s.ManipRW2[1][i];
  for (int kf = 1; kf <= s.nF(); ++kf)
    for (int j = 0; j < kSlots; ++j) r.endQ[kf][j] = s.qqa2[1][kf][j];
  const std::string csv = TrajectoryCsv(s);
  EXPECT_EQ(csv.find("nan"), std::string::npos);
  EXPECT_EQ(csv.find("inf"), std::string::npos);
  std::printf("[ sphere   ] hand %d keys '%s' radius %g grasp %s: %d steps (%d reduced), ends '%c' "
              "COLLkf=%d; centre (%.3f %.3f %.3f); worst spin %.2g rad, slip %.2g, gap %.2g, "
              "depth %.2g\n",
              hand, setup.c_str(), dims.aSph, r.types.c_str(), r.steps, r.reduced, r.status, s.COLLkf,
              r.endRw[0], r.endRw[1], r.endRw[2], r.worstSpin, r.worstSlip, r.worstGap,
              r.worstDepth);
  return r;
}

struct Scene {
  int hand;
  const char* setup;  // keys after the sphere is selected: velocity, pose
  const char* types;  // the grasp's contact types, finger by finger
  int minSteps;
  WorkDims dims = {};
};

class SphereRun : public ::testing::TestWithParam<Scene> {};

TEST_P(SphereRun, RollsWithoutSlipOrSpinAndNoLinkEntersTheSphere) {
  const Scene sc = GetParam();
  const RunResult r = RunScene(sc.hand, sc.setup, 600, sc.dims);
  EXPECT_EQ(r.types, sc.types);
  EXPECT_GE(r.steps, sc.minSteps);
  // a run ends in one of the step's own verdicts, or is still rolling at the cap
  EXPECT_TRUE(r.status == 'Y' || r.status == 'C' || r.status == 'O' || r.status == 'D')
      << r.status;
}

INSTANTIATE_TEST_SUITE_P(
    HandsVelocitiesAndTips, SphereRun,
    ::testing::Values(Scene{1, "", "LS LS ", 300}, Scene{2, "", "LS LS LS ", 100},
                      Scene{3, "", "LS LS ", 300}, Scene{4, "", "LS LS LS ", 100},
                      Scene{1, "VQ", "LS LS ", 20}, Scene{2, "VrP", "LS LS LS ", 20},
                      Scene{3, "VxZ", "LS LS ", 20},
                      Scene{4, "Vqr", "LS LS LS ", 20},  // by joints 1 and 3 lined up
                      Scene{1, "VrQ", "LS LS ", 20},
                      // the sphere moved away from the palm: fingertips reach it first
                      Scene{1, "MYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY", "LS TS ", 20},
                      Scene{2, "MYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY", "LS TS TS ", 20},
                      Scene{3, "MYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY", "LS TS ", 20},
                      Scene{2, "VPMYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY", "LS TS TS ", 10},
                      Scene{3, "VqMYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYZZZZZ", "LS TS ", 20},
                      // a smaller sphere, radius 55: the second finger of hands 1 and 3
                      // meets it with its tip; hand 2's contacts leave their links after
                      // 15 steps
                      Scene{1, "", "LS TS ", 20, {60, 100, 55}},
                      Scene{2, "", "LS LS LS ", 10, {60, 100, 55}},
                      Scene{3, "", "LS TS ", 20, {60, 100, 55}}),
    [](const testing::TestParamInfo<Scene>& p) {
      std::string k = p.param.setup;
      for (char& c : k)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return "Hand" + std::to_string(p.param.hand) + "_" + (k.empty() ? "default" : k) +
             (p.param.dims.aSph != catalogue::aSph ? "_r55" : "");
    });

}  // namespace
