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
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/keyboard.h"
#include "core/catalogue.h"
#include "manip/manip.h"
#include "record/report.h"
#include "own_geometry.h"
#include "record_view.h"
#include "support.h"

namespace {

using namespace rg;

using namespace own;

// ---- one finger's contact as the record states it, seen by this file's geometry

struct ContactView {
  double thw, rimR, rimH;  // angle on the rim, distance from its centre and its plane
  double L, phi, axisR;    // place on the link: along, around, distance from the axis
  V3 N;                    // normal from the contact towards the link axis
  double tLink[2];         // the rim's unit tangent in the link's (along, around) directions
};

ContactView View(const Links& f, const Cylinder& w, char rim, const V3& RC) {
  ContactView v;
  const V3 c = rim == 'U' ? Add(w.rw, Scale(hCyl, Col(w.Ew, 2))) : w.rw;
  const V3 d = Sub(RC, c);
  v.thw = std::atan2(Dot(d, Col(w.Ew, 1)), Dot(d, Col(w.Ew, 0)));
  v.rimH = Dot(d, Col(w.Ew, 2));
  v.rimR = Norm(d);
  const V3 x = Col(f.E4, 0), z = Col(f.E4, 2), xz = Cross(x, z);
  const LinkPlace at = PlaceOnLink(f, RC);
  v.L = at.L;
  v.phi = at.phi;
  v.axisR = Norm(Sub(RC, at.foot));
  v.N = Unit(Sub(at.foot, RC));
  const V3 radial = Add(Scale(std::cos(v.phi), z), Scale(std::sin(v.phi), xz));
  const V3 ephi = Cross(x, radial);  // growing phi
  const V3 t = Add(Scale(-std::sin(v.thw), Col(w.Ew, 0)), Scale(std::cos(v.thw), Col(w.Ew, 1)));
  const double t1 = Dot(t, x), t2 = Dot(t, ephi), tn = std::hypot(t1, t2);
  v.tLink[0] = t1 / tn;
  v.tLink[1] = t2 / tn;
  return v;
}

using State = RecordState<Cylinder>;
State Take(const Sim& s) { return TakeRecord<Cylinder>(s); }

struct RunResult {
  char status = 'Y';
  int steps = 0, reduced = 0;
  double worstSpin = 0, worstSlip = 0, worstDepth = 0;
  std::string end;  // which finger and link met the work at a collision
};


// Runs a scene through the keys and checks every step; stops at any status but 'Y'.
RunResult RunScene(int hand, const std::string& velocityKeys) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  Press(s, "H" + std::string(1, static_cast<char>('0' + hand)));
  if (!velocityKeys.empty()) Press(s, "V" + velocityKeys);
  Press(s, "G" + std::string(s.nF, 's') + "A");
  RunResult r;
  for (int kf = 1; kf <= s.nF; ++kf) {
    EXPECT_EQ(s.sgnGRASPM[kf], 'Y') << "finger " << kf;
    EXPECT_TRUE(GraspOnRim(s, kf)) << "finger " << kf;
  }
  if (s.sgnCALGEnd != 'Y') {
    ADD_FAILURE() << "no complete grasp";
    return r;
  }
  const bool cyl = s.WORK1 == '2';
  double elapsed = 0.0;  // the time steps taken, reduced ones included
  while (s.sgnMANIP == 'Y' && s.cntMainip1 < 799) {
    State a, b;
    const int M = s.cntManip0;
    if (!RecordedStep(s, a, b, r)) break;
    SCOPED_TRACE(testing::Message() << "hand " << hand << " keys '" << velocityKeys << "' step "
                                    << M + 1);
    const double dt = s.dt;
    // the physical time counts each step's dt once; ManipTS once per finger
    elapsed += dt;
    EXPECT_NEAR(s.ManipTime, elapsed, 1e-9);
    EXPECT_NEAR(s.ManipTS, s.nF * elapsed, 1e-9);
    if (s.cntManip0 % kDecim == 0) {
      EXPECT_EQ(s.ManipTimeRow[s.cntMainip1], s.ManipTime);
    }

    // the work: mid-point moved by dt*vw, turned by dt*omww about its own x, y, z in turn
    const V3 mid = Add(Sub(b.w.rw, a.w.rw), Scale(0.5 * hCyl, Sub(Col(b.w.Ew, 2), Col(a.w.Ew, 2))));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(mid[i], dt * s.vw[i], 1e-9);
    ExpectWorkTurn(a.w.Ew, b.w.Ew, dt, s.omww);

    for (int kf = 1; kf <= s.nF; ++kf) {
      SCOPED_TRACE(testing::Message() << "finger " << kf);
      const Links fa = FingerLinks(hand, cyl, kf, a.q[kf]);
      const Links fb = FingerLinks(hand, cyl, kf, b.q[kf]);
      const ContactView ca = View(fa, a.w, s.sgnUML[kf], a.RC[kf]);
      const ContactView cb = View(fb, b.w, s.sgnUML[kf], b.RC[kf]);
      // on the moved rim and on the link surface
      EXPECT_NEAR(cb.rimR, aCyl, 1e-5);
      EXPECT_NEAR(cb.rimH, 0.0, 1e-5);
      EXPECT_NEAR(cb.axisR, aFin, 1e-5);
      if (r.status != 'O') {
        EXPECT_GE(cb.L, -1e-6);
        EXPECT_LE(cb.L, lFin + 1e-6);
      }
      // no slip: arc on the link = arc on the rim, directions at the midpoint
      const double arc = aCyl * Wrap(cb.thw - ca.thw);
      const double slip0 = (cb.L - ca.L) - arc * 0.5 * (ca.tLink[0] + cb.tLink[0]);
      const double slip1 = aFin * Wrap(cb.phi - ca.phi) - arc * 0.5 * (ca.tLink[1] + cb.tLink[1]);
      const double slip = std::hypot(slip0, slip1);
      r.worstSlip = std::max(r.worstSlip, slip);
      EXPECT_LT(slip, 2e-6);
      // no spin: the finger's turn relative to the work, about the midpoint normal
      const double spin = SpinAboutMidNormal(fa.E4, fb.E4, a.w.Ew, b.w.Ew, ca.N, cb.N);
      r.worstSpin = std::max(r.worstSpin, spin);
      EXPECT_LE(spin, 1e-6);
      EXPECT_GT(BaseSide(fa, a.RC[kf], ca.N) * BaseSide(fb, b.RC[kf], cb.N), 0.0)
          << "the finger's base crossed its contact's tangent plane";
    }
    // no link inside the work on a completed step (the step that collides is shown)
    for (int kf = 1; kf <= s.nF; ++kf) {
      const Links f = FingerLinks(hand, cyl, kf, b.q[kf]);
      const double d3 = Penetration(b.w, f.base, f.j4, false);
      const double d4 = Penetration(b.w, f.j4, f.tip, true);
      if (r.status == 'Y') {
        r.worstDepth = std::max({r.worstDepth, d3, d4});
        EXPECT_LE(d3, 1e-3) << "finger " << kf << " proximal link";
        EXPECT_LE(d4, 1e-3) << "finger " << kf << " last link";
      } else if (r.status == 'C' && std::max(d3, d4) > 1e-3) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "finger %d %s link %.3g deep", kf,
                      d4 > d3 ? "last" : "proximal", std::max(d3, d4));
        r.end += buf;
      }
    }
    if (testing::Test::HasFailure()) break;  // one step's report is enough
  }
  r.status = s.sgnMANIP;
  // the record holds only finite numbers
  const std::string csv = TrajectoryCsv(s);
  EXPECT_EQ(csv.find("nan"), std::string::npos);
  EXPECT_EQ(csv.find("inf"), std::string::npos);
  std::printf("[ manip    ] hand %d keys '%s': %d steps (%d with a reduced time step), ends '%c' "
              "COLLkf=%d %s; worst spin %.2g rad, slip %.2g, depth %.2g\n",
              hand, velocityKeys.c_str(), r.steps, r.reduced, r.status, s.COLLkf, r.end.c_str(),
              r.worstSpin, r.worstSlip, r.worstDepth);
  return r;
}

struct Scene {
  int hand;
  const char* keys;  // velocity keys typed in mode 'V' before the grasp
  int minSteps = 20;
};

class WholeRun : public ::testing::TestWithParam<Scene> {};

TEST_P(WholeRun, RollsWithoutSlipOrSpinAndNoLinkEntersTheWork) {
  const Scene sc = GetParam();
  const RunResult r = RunScene(sc.hand, sc.keys);
  EXPECT_GE(r.steps, sc.minSteps);
  // a run ends in one of the step's own verdicts, or with the record full
  EXPECT_TRUE(r.status == 'C' || r.status == 'O' || r.status == 'D' || r.status == 'F')
      << r.status;
}

INSTANTIATE_TEST_SUITE_P(DefaultAndVelocityKeys, WholeRun,
                         ::testing::Values(Scene{1, ""}, Scene{2, ""}, Scene{3, ""}, Scene{4, ""},
                                           Scene{1, "Q"}, Scene{1, "p"}, Scene{1, "rR"},
                                           Scene{3, "rR"}, Scene{1, "xQ"},
                                           // rolls on to its fold at step 112, where the
                                           // finger's base reaches its contact's tangent plane
                                           Scene{2, "Q", 110}),
                         [](const testing::TestParamInfo<Scene>& p) {
                           return "Hand" + std::to_string(p.param.hand) + "_" +
                                  (*p.param.keys ? p.param.keys : "default");
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
