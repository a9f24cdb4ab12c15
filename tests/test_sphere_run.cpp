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
#include <gtest/gtest.h>

#include <algorithm>
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

using State = RecordState<Sphere>;

// One finger's contact seen by this file's geometry.
struct ContactView {
  double onSphere;  // distance of the contact point from the centre
  double onFinger;  // its distance from the link axis (link) or the tip centre (tip)
  double L = 0.0, phi = 0.0;  // link: place along and around the link
  double ahead = 0.0;         // tip: the ball normal's component along the link
  V3 n;                       // outward normal of the sphere, hand frame
  V3 m;                       // the finger's normal towards the sphere, hand frame
  V3 base[2];                 // the tangent directions the arcs are compared in
};

ContactView View(const Links& f, const Sphere& w, bool tip, const V3& RC) {
  ContactView v;
  const V3 x = Col(f.E4, 0), z = Col(f.E4, 2);
  v.onSphere = Norm(Sub(RC, w.c));
  v.n = Unit(Sub(RC, w.c));
  if (tip) {
    v.onFinger = Norm(Sub(RC, f.tip));
    v.m = Unit(Sub(RC, f.tip));
    v.ahead = Dot(v.m, x);
    v.base[0] = Unit(Cross(z, v.m));
    v.base[1] = Cross(v.m, v.base[0]);
  } else {
    const LinkPlace at = PlaceOnLink(f, RC);
    v.L = at.L;
    v.phi = at.phi;
    v.onFinger = Norm(Sub(RC, at.foot));
    v.m = Unit(Sub(RC, at.foot));
    v.base[0] = x;
    v.base[1] = Cross(x, v.m);  // growing phi
  }
  return v;
}

struct RunResult {
  char status = 'Y';
  int steps = 0, reduced = 0;
  double worstSpin = 0, worstSlip = 0, worstDepth = 0, worstGap = 0;
  std::string types;
  double endRw[3] = {}, endQ[kSlots][kSlots] = {};
};


// Runs a scene through the keys, judging every step; stops at any status but 'Y'
// or after maxSteps steps.
RunResult RunScene(int hand, const std::string& setup, int maxSteps) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  Press(s, "H" + std::string(1, static_cast<char>('0' + hand)) + "W1" + setup);
  Press(s, "G" + std::string(s.nF, 's') + "A");
  RunResult r;
  for (int kf = 1; kf <= s.nF; ++kf) {
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
    if (!RecordedStep(s, a, b, r)) break;
    SCOPED_TRACE(testing::Message() << "hand " << hand << " keys '" << setup << "' step " << M + 1);
    const double dt = s.dt;

    // the sphere: centre moved by dt*vw, turned by dt*omww about its own x, y, z in turn
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(b.w.c[i] - a.w.c[i], dt * s.vw[i], 1e-9);
    ExpectWorkTurn(a.w.Ew, b.w.Ew, dt, s.omww);

    for (int kf = 1; kf <= s.nF; ++kf) {
      SCOPED_TRACE(testing::Message() << "finger " << kf << " " << s.GGTYPE[kf][0]);
      const bool tip = s.GGTYPE[kf][0] == 'T';
      const Links fa = FingerLinks(hand, false, kf, a.q[kf]);
      const Links fb = FingerLinks(hand, false, kf, b.q[kf]);
      const ContactView ca = View(fa, a.w, tip, a.RC[kf]);
      const ContactView cb = View(fb, b.w, tip, b.RC[kf]);
      // on the moved sphere and on the finger
      EXPECT_NEAR(cb.onSphere, aSph, 1e-5);
      EXPECT_NEAR(cb.onFinger, aFin, 1e-5);
      r.worstGap = std::max({r.worstGap, std::fabs(cb.onSphere - aSph), std::fabs(cb.onFinger - aFin)});
      if (r.status != 'O') {
        if (tip) {
          EXPECT_GE(cb.ahead, -1e-6);
        } else {
          EXPECT_GE(cb.L, -1e-6);
          EXPECT_LE(cb.L, lFin + 1e-6);
        }
      }
      // the sphere's arc: the contact's normals in the sphere's own frame
      V3 G1, G2;
      GreatCircleArc(aSph, Apply(T(a.w.Ew), ca.n), Apply(T(b.w.Ew), cb.n), G1, G2);
      const V3 W1 = Apply(a.w.Ew, G1), W2 = Apply(b.w.Ew, G2);
      // the finger's arc
      V3 F1, F2;
      if (tip) {
        GreatCircleArc(aFin, Apply(T(fa.E4), ca.m), Apply(T(fb.E4), cb.m), G1, G2);
        F1 = Apply(fa.E4, G1);
        F2 = Apply(fb.E4, G2);
      } else {
        const double dL = cb.L - ca.L, dB = aFin * Wrap(cb.phi - ca.phi);
        F1 = Add(Scale(dL, ca.base[0]), Scale(dB, ca.base[1]));
        F2 = Add(Scale(dL, cb.base[0]), Scale(dB, cb.base[1]));
      }
      double slip2 = 0.0;
      for (int k = 0; k < 2; ++k) {
        const double e = 0.5 * (Dot(Sub(F1, W1), ca.base[k]) + Dot(Sub(F2, W2), cb.base[k]));
        slip2 += e * e;
      }
      const double slip = std::sqrt(slip2);
      r.worstSlip = std::max(r.worstSlip, slip);
      EXPECT_LT(slip, 2e-6);
      // no spin: the finger's turn relative to the sphere, about the midpoint normal
      const double spin = SpinAboutMidNormal(fa.E4, fb.E4, a.w.Ew, b.w.Ew, ca.n, cb.n);
      r.worstSpin = std::max(r.worstSpin, spin);
      EXPECT_LE(spin, 1e-6);
      EXPECT_GT(BaseSide(fa, a.RC[kf], ca.n) * BaseSide(fb, b.RC[kf], cb.n), 0.0)
          << "the finger's base crossed its contact's tangent plane";
    }
    // a collision is real: some link reaches into the sphere deeper than the contact's
    // allowance, or the palm overlaps it
    if (r.status == 'C') {
      double deepest = 0.0;
      for (int kf = 1; kf <= s.nF; ++kf) {
        const Links f = FingerLinks(hand, false, kf, b.q[kf]);
        deepest = std::max({deepest, Penetration(b.w, f.base, f.j4), Penetration(b.w, f.j4, f.tip)});
      }
      EXPECT_GT(deepest, 1e-4) << "a collision reported with every link clear";
    }
    // no link inside the sphere on a completed step
    if (r.status == 'Y')
      for (int kf = 1; kf <= s.nF; ++kf) {
        const Links f = FingerLinks(hand, false, kf, b.q[kf]);
        const double d3 = Penetration(b.w, f.base, f.j4), d4 = Penetration(b.w, f.j4, f.tip);
        r.worstDepth = std::max({r.worstDepth, d3, d4});
        EXPECT_LE(d3, 1e-3) << "finger " << kf << " proximal link";
        EXPECT_LE(d4, 1e-3) << "finger " << kf << " last link";
      }
    if (testing::Test::HasFailure()) break;  // one step's report is enough
  }
  r.status = s.sgnMANIP;
  for (int i = 0; i < 3; ++i) r.endRw[i] = s.ManipRW2[1][i];
  for (int kf = 1; kf <= s.nF; ++kf)
    for (int j = 0; j < kSlots; ++j) r.endQ[kf][j] = s.qqa2[1][kf][j];
  const std::string csv = TrajectoryCsv(s);
  EXPECT_EQ(csv.find("nan"), std::string::npos);
  EXPECT_EQ(csv.find("inf"), std::string::npos);
  std::printf("[ sphere   ] hand %d keys '%s' grasp %s: %d steps (%d reduced), ends '%c' "
              "COLLkf=%d; centre (%.3f %.3f %.3f); worst spin %.2g rad, slip %.2g, gap %.2g, "
              "depth %.2g\n",
              hand, setup.c_str(), r.types.c_str(), r.steps, r.reduced, r.status, s.COLLkf,
              r.endRw[0], r.endRw[1], r.endRw[2], r.worstSpin, r.worstSlip, r.worstGap,
              r.worstDepth);
  return r;
}

struct Scene {
  int hand;
  const char* setup;  // keys after the sphere is selected: velocity, pose
  const char* types;  // the grasp's contact types, finger by finger
  int minSteps;
};

class SphereRun : public ::testing::TestWithParam<Scene> {};

TEST_P(SphereRun, RollsWithoutSlipOrSpinAndNoLinkEntersTheSphere) {
  const Scene sc = GetParam();
  const RunResult r = RunScene(sc.hand, sc.setup, 600);
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
                      Scene{1, "VrQ", "LS LS ", 20},
                      // the sphere moved away from the palm: fingertips reach it first
                      Scene{1, "MYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY", "LS TS ", 20},
                      Scene{2, "MYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY", "LS TS TS ", 20},
                      Scene{3, "MYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY", "LS TS ", 20},
                      Scene{2, "VPMYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY", "LS TS TS ", 10},
                      Scene{3, "VqMYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYZZZZZ", "LS TS ", 20}),
    [](const testing::TestParamInfo<Scene>& p) {
      std::string k = p.param.setup;
      for (char& c : k)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return "Hand" + std::to_string(p.param.hand) + "_" + (k.empty() ? "default" : k);
    });

}  // namespace
