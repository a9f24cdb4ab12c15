// The whole-run checks of one completed manipulation step on the cylinder, judged
// from the record alone with the tests' own geometry (see test_manip_run.cpp): the
// work moved as commanded, every contact on the moved rim and on its link's surface,
// no slip, no spin, no finger base across its contact's tangent plane, no link inside
// the work. Shared by the key-driven runs and the planned paths.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/catalogue.h"
#include "core/state.h"
#include "own_geometry.h"
#include "record_view.h"

namespace own {

// ---- one finger's contact as the record states it, seen by this file's geometry

struct ContactView {
  double thw, rimR, rimH;  // angle on the rim, distance from its centre and its plane
  double L, phi, axisR;    // place on the link: along, around, distance from the axis
  V3 N;                    // normal from the contact towards the link axis
  double tLink[2];         // the rim's unit tangent in the link's (along, around) directions
};

inline ContactView View(const Links& f, const Cylinder& w, char rim, const V3& RC) {
  ContactView v;
  const V3 c = rim == 'U' ? Add(w.rw, Scale(w.h, Col(w.Ew, 2))) : w.rw;
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

// What a run met: its status, steps (those with a reduced time step), the worst
// spin, slip and depth, and which finger and link met the work at a collision.
struct RunResult {
  char status = 'Y';
  int steps = 0, reduced = 0;
  double worstSpin = 0, worstSlip = 0, worstDepth = 0;
  std::string end;  // which finger and link met the work at a collision
};

// Checks the step from a to b the record holds last, run with time step s.dt and
// commanded velocity vw, omww, of hand `hand` on the cylinder; r keeps the worst values.
// A finger lifted off the work (lifted[kf], a gait) has no contact to judge: it must
// stand still, and no link of it may be inside the work.
inline void CheckCylinderStepLifted(const rg::Sim& s, const HandLayout& hand,
                              const RecordState<Cylinder>& a, const RecordState<Cylinder>& b,
                              const double vw[3], const double omww[3], RunResult& r,
                              const bool* lifted) {
  using namespace rg;
  const bool cyl = true;
  const double dt = s.dt;
  // the work: mid-point moved by dt*vw, turned by dt*omww about its own x, y, z in turn
  const V3 mid = Add(Sub(b.w.rw, a.w.rw),
                     Scale(0.5 * a.w.h, Sub(Col(b.w.Ew, 2), Col(a.w.Ew, 2))));
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(mid[i], dt * vw[i], 1e-9);
  ExpectWorkTurn(a.w.Ew, b.w.Ew, dt, omww);

  for (int kf = 1; kf <= s.nF(); ++kf) {
    SCOPED_TRACE(testing::Message() << "finger " << kf);
    if (lifted != nullptr && lifted[kf]) {
      for (int j = 1; j <= 4; ++j) EXPECT_EQ(b.q[kf][j], a.q[kf][j]) << "a lifted finger moved";
      continue;
    }
    const Links fa = FingerLinks(hand, cyl, kf, a.q[kf]);
    const Links fb = FingerLinks(hand, cyl, kf, b.q[kf]);
    const ContactView ca = View(fa, a.w, s.sgnUML[kf], a.RC[kf]);
    const ContactView cb = View(fb, b.w, s.sgnUML[kf], b.RC[kf]);
    // on the moved rim and on the link surface
    EXPECT_NEAR(cb.rimR, b.w.a, 1e-5);
    EXPECT_NEAR(cb.rimH, 0.0, 1e-5);
    EXPECT_NEAR(cb.axisR, hand.aFin, 1e-5);
    if (r.status != 'O') {
      EXPECT_GE(cb.L, -1e-6);
      EXPECT_LE(cb.L, hand.lFin + 1e-6);
    }
    // no slip: arc on the link = arc on the rim, directions at the midpoint
    const double arc = a.w.a * Wrap(cb.thw - ca.thw);
    const double slip0 = (cb.L - ca.L) - arc * 0.5 * (ca.tLink[0] + cb.tLink[0]);
    const double slip1 =
        hand.aFin * Wrap(cb.phi - ca.phi) - arc * 0.5 * (ca.tLink[1] + cb.tLink[1]);
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
  for (int kf = 1; kf <= s.nF(); ++kf) {
    const Links f = FingerLinks(hand, cyl, kf, b.q[kf]);
    const double d3 = Penetration(b.w, f.base, f.j4, false, hand.aFin);
    const double d4 = Penetration(b.w, f.j4, f.tip, true, hand.aFin);
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
}

// The same with every finger touching the work.
inline void CheckCylinderStep(const rg::Sim& s, const HandLayout& hand,
                              const RecordState<Cylinder>& a, const RecordState<Cylinder>& b,
                              const double vw[3], const double omww[3], RunResult& r) {
  CheckCylinderStepLifted(s, hand, a, b, vw, omww, r, nullptr);
}

}  // namespace own
