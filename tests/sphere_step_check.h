// The whole-run checks of one completed manipulation step on the sphere, judged from
// the record alone with the tests' own geometry (see test_sphere_run.cpp): the sphere
// moved as commanded, every contact on the moved sphere and on its finger (link side
// or the tip ball's front half), no slip, no spin, no finger base across its contact's
// tangent plane, no link inside the sphere. Shared by the key-driven runs and the
// planned paths.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "core/catalogue.h"
#include "core/state.h"
#include "own_geometry.h"
#include "record_view.h"

namespace own {
namespace sphere {

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

inline ContactView View(const Links& f, const Sphere& w, bool tip, const V3& RC) {
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

// What a run met: its status, steps (those with a reduced time step), the worst spin,
// slip, depth and gap, the grasp's contact types, and where it ended.
struct RunResult {
  char status = 'Y';
  int steps = 0, reduced = 0;
  double worstSpin = 0, worstSlip = 0, worstDepth = 0, worstGap = 0;
  std::string types;
  double endRw[3] = {}, endQ[kSlots][kSlots] = {};
};

// Checks the step from a to b the record holds last, run with time step s.dt and
// commanded velocity vw, omww, of hand `hand` on the sphere; r keeps the worst values.
// A finger lifted off the work (lifted[kf], a gait) has no contact to judge: it must
// stand still, and no link of it may be inside the sphere.
inline void CheckSphereStepLifted(const rg::Sim& s, const HandLayout& hand,
                            const RecordState<Sphere>& a, const RecordState<Sphere>& b,
                            const double vw[3], const double omww[3], RunResult& r,
                            const bool* lifted) {
  using namespace rg;
  const double dt = s.dt;
  // the sphere: centre moved by dt*vw, turned by dt*omww about its own x, y, z in turn
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(b.w.c[i] - a.w.c[i], dt * vw[i], 1e-9);
  ExpectWorkTurn(a.w.Ew, b.w.Ew, dt, omww);

  for (int kf = 1; kf <= s.nF(); ++kf) {
    SCOPED_TRACE(testing::Message() << "finger " << kf << " " << s.GGTYPE[kf][0]);
    if (lifted != nullptr && lifted[kf]) {
      for (int j = 1; j <= 4; ++j) EXPECT_EQ(b.q[kf][j], a.q[kf][j]) << "a lifted finger moved";
      continue;
    }
    const bool tip = s.GGTYPE[kf][0] == 'T';
    const Links fa = FingerLinks(hand, false, kf, a.q[kf]);
    const Links fb = FingerLinks(hand, false, kf, b.q[kf]);
    const ContactView ca = View(fa, a.w, tip, a.RC[kf]);
    const ContactView cb = View(fb, b.w, tip, b.RC[kf]);
    // on the moved sphere and on the finger
    EXPECT_NEAR(cb.onSphere, b.w.a, 1e-5);
    EXPECT_NEAR(cb.onFinger, hand.aFin, 1e-5);
    r.worstGap = std::max({r.worstGap, std::fabs(cb.onSphere - b.w.a),
                           std::fabs(cb.onFinger - hand.aFin)});
    if (r.status != 'O') {
      if (tip) {
        EXPECT_GE(cb.ahead, -1e-6);
      } else {
        EXPECT_GE(cb.L, -1e-6);
        EXPECT_LE(cb.L, hand.lFin + 1e-6);
      }
    }
    // the sphere's arc: the contact's normals in the sphere's own frame
    V3 G1, G2;
    GreatCircleArc(a.w.a, Apply(T(a.w.Ew), ca.n), Apply(T(b.w.Ew), cb.n), G1, G2);
    const V3 W1 = Apply(a.w.Ew, G1), W2 = Apply(b.w.Ew, G2);
    // the finger's arc
    V3 F1, F2;
    if (tip) {
      GreatCircleArc(hand.aFin, Apply(T(fa.E4), ca.m), Apply(T(fb.E4), cb.m), G1, G2);
      F1 = Apply(fa.E4, G1);
      F2 = Apply(fb.E4, G2);
    } else {
      const double dL = cb.L - ca.L, dB = hand.aFin * Wrap(cb.phi - ca.phi);
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
    for (int kf = 1; kf <= s.nF(); ++kf) {
      const Links f = FingerLinks(hand, false, kf, b.q[kf]);
      deepest = std::max({deepest, Penetration(b.w, f.base, f.j4, hand.aFin),
                          Penetration(b.w, f.j4, f.tip, hand.aFin)});
    }
    EXPECT_GT(deepest, 1e-4) << "a collision reported with every link clear";
  }
  // no link inside the sphere on a completed step
  if (r.status == 'Y')
    for (int kf = 1; kf <= s.nF(); ++kf) {
      const Links f = FingerLinks(hand, false, kf, b.q[kf]);
      const double d3 = Penetration(b.w, f.base, f.j4, hand.aFin),
                   d4 = Penetration(b.w, f.j4, f.tip, hand.aFin);
      r.worstDepth = std::max({r.worstDepth, d3, d4});
      EXPECT_LE(d3, 1e-3) << "finger " << kf << " proximal link";
      EXPECT_LE(d4, 1e-3) << "finger " << kf << " last link";
    }
}

// The same with every finger touching the work.
inline void CheckSphereStep(const rg::Sim& s, const HandLayout& hand,
                            const RecordState<Sphere>& a, const RecordState<Sphere>& b,
                            const double vw[3], const double omww[3], RunResult& r) {
  CheckSphereStepLifted(s, hand, a, b, vw, omww, r, nullptr);
}

}  // namespace sphere
}  // namespace own
