// Whole manipulation runs driven through the keys as a user drives them: hand and
// velocity chosen, every finger grasped, then 's' in mode 'A' until the motion
// stops. Every completed step is judged from the record alone with this file's own
// geometry — the finger kinematics rebuilt from the catalogue, the work cylinder
// from its recorded pose — never with the solver's residuals:
//   - the contact lies on the moved rim and on the last link's surface;
//   - no slip: the contact moved as far, and the same way, on the link as on the
//     rim (the rim's direction seen on the link taken at the step's midpoint);
//   - no spin: the finger did not turn against the work about the contact normal
//     (the normal taken at the step's midpoint);
//   - no link of any finger lies inside the work;
//   - no finger's base crosses its contact's tangent plane (the mirror solution).
// Apart from the physics, the solver's own account: every finger's step equations
// were solved to their root (error norm below kRootTol), near the joints' alignment too.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
#include "cylinder_step_check.h"
#include "support.h"

namespace {

using namespace rg;

using namespace own;

using State = RecordState<Cylinder>;
State Take(const Sim& s) { return TakeRecord<Cylinder>(s); }

// Runs a scene through the keys and checks every step; stops at any status but 'Y'.
// The works take the sizes dims before the hand is chosen; the judge is told them.
RunResult RunScene(int hand, const std::string& velocityKeys, const WorkDims& dims = {}) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  std::string why;
  EXPECT_TRUE(SetWorkSizes(s, {dims.aSph, dims.aCyl, dims.hCyl}, &why)) << why;
  Press(s, "H" + std::string(1, static_cast<char>('0' + hand)));
  if (!velocityKeys.empty()) Press(s, "V" + velocityKeys);
  Press(s, "G" + std::string(s.nF(), 's') + "A");
  RunResult r;
  for (int kf = 1; kf <= s.nF(); ++kf) {
    EXPECT_EQ(s.sgnGRASPM[kf], 'Y') << "finger " << kf;
    EXPECT_TRUE(GraspOnRim(s, kf)) << "finger " << kf;
  }
  if (s.sgnCALGEnd != 'Y') {
    ADD_FAILURE() << "no complete grasp";
    return r;
  }
  double elapsed = 0.0;  // the time steps taken, reduced ones included
  while (s.sgnMANIP == 'Y' && s.cntMainip1 < 799) {
    State a, b;
    const int M = s.cntManip0;
    if (!RecordedStep(s, a, b, r, dims)) break;
    SCOPED_TRACE(testing::Message() << "hand " << hand << " keys '" << velocityKeys << "' step "
                                    << M + 1 << " cylinder " << dims.aCyl << " x " << dims.hCyl);
    const double dt = s.dt;
    // the physical time counts each step's dt once; ManipTS once per finger
    elapsed += dt;
    EXPECT_NEAR(s.ManipTime, elapsed, 1e-9);
    EXPECT_NEAR(s.ManipTS, s.nF() * elapsed, 1e-9);
    if (s.cntManip0 % kDecim == 0) {
      EXPECT_EQ(s.ManipTimeRow[s.cntMainip1], s.ManipTime);
    }

    CheckCylinderStep(s, hand, a, b, s.vw, s.omww, r);
    for (int kf = 1; kf <= s.nF(); ++kf)
      EXPECT_LT(s.ManipRootErr[kf], kRootTol) << "finger " << kf << " not polished to its root";
    if (testing::Test::HasFailure()) break;  // one step's report is enough
  }
  r.status = s.sgnMANIP;
  // the record holds only finite numbers
  const std::string csv = TrajectoryCsv(s);
  EXPECT_EQ(csv.find("nan"), std::string::npos);
  EXPECT_EQ(csv.find("inf"), std::string::npos);
  std::printf("[ manip    ] hand %d keys '%s' cylinder %g x %g: %d steps (%d with a reduced time step), ends '%c' "
              "COLLkf=%d %s; worst spin %.2g rad, slip %.2g, depth %.2g\n",
              hand, velocityKeys.c_str(), dims.aCyl, dims.hCyl, r.steps, r.reduced, r.status, s.COLLkf, r.end.c_str(),
              r.worstSpin, r.worstSlip, r.worstDepth);
  return r;
}

struct Scene {
  int hand;
  const char* keys;  // velocity keys typed in mode 'V' before the grasp
  int minSteps = 20;
  WorkDims dims = {};
};

class WholeRun : public ::testing::TestWithParam<Scene> {};

TEST_P(WholeRun, RollsWithoutSlipOrSpinAndNoLinkEntersTheWork) {
  const Scene sc = GetParam();
  const RunResult r = RunScene(sc.hand, sc.keys, sc.dims);
  EXPECT_GE(r.steps, sc.minSteps);
  // a run ends in one of the step's own verdicts, or with the record full
  EXPECT_TRUE(r.status == 'C' || r.status == 'O' || r.status == 'D' || r.status == 'F')
      << r.status;
}

INSTANTIATE_TEST_SUITE_P(DefaultAndVelocityKeys, WholeRun,
                         ::testing::Values(Scene{1, ""}, Scene{2, ""}, Scene{3, ""}, Scene{4, ""},
                                           Scene{1, "Q"}, Scene{1, "p"}, Scene{1, "rR"},
                                           Scene{3, "rR"}, Scene{1, "xQ"},
                                           // rolls on to its fold at step 114, where the
                                           // finger's base reaches its contact's tangent plane
                                           Scene{2, "Q", 110},
                                           // fingers pass joints 1 and 3 lined up (joint 2
                                           // near 0), where the solves creep to the root
                                           Scene{3, "q"}, Scene{3, "XY"}, Scene{4, "Xq", 10},
                                           // a smaller cylinder, radius 50 and height 80
                                           Scene{1, "", 20, {50, 80, 70}},
                                           Scene{2, "", 20, {50, 80, 70}},
                                           Scene{4, "", 20, {50, 80, 70}}),
                         [](const testing::TestParamInfo<Scene>& p) {
                           const bool resized = p.param.dims.aCyl != catalogue::aCyl;
                           return "Hand" + std::to_string(p.param.hand) + "_" +
                                  (*p.param.keys ? p.param.keys : "default") +
                                  (resized ? "_r50h80" : "");
                         });

// A work at rest: the fingers stay where they are.
TEST(WholeRunAtRest, AWorkAtRestKeepsTheFingersInPlace) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  Press(s, "VrGssA");  // omww z back to 0: no motion at all
  ASSERT_EQ(s.sgnCALGEnd, 'Y');
  const State a = Take(s);
  Press(s, "s");
  ASSERT_EQ(s.sgnMANIP, 'Y');
  const State b = Take(s);
  for (int kf = 1; kf <= 2; ++kf) {
    for (int j = 1; j <= 4; ++j) EXPECT_NEAR(b.q[kf][j], a.q[kf][j], 1e-7);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(b.RC[kf][i], a.RC[kf][i], 1e-5);
  }
}

}  // namespace
