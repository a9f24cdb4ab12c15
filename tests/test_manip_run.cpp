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
//   - no link of any finger lies inside the work.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/keyboard.h"
#include "hand/catalogue.h"
#include "manip/manip.h"
#include "manip/report.h"
#include "support.h"

namespace {

using namespace rg;

// ---- small vector helpers of this file (row-major 3x3, frames hold axes as columns)

using V3 = std::array<double, 3>;
using M3 = std::array<std::array<double, 3>, 3>;

V3 Add(const V3& a, const V3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
V3 Sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 Scale(double k, const V3& a) { return {k * a[0], k * a[1], k * a[2]}; }
double Dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V3 Cross(const V3& a, const V3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Norm(const V3& a) { return std::sqrt(Dot(a, a)); }
V3 Unit(const V3& a) { return Scale(1.0 / Norm(a), a); }
V3 Col(const M3& E, int k) { return {E[0][k], E[1][k], E[2][k]}; }
M3 Mul(const M3& A, const M3& B) {
  M3 C{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) C[i][j] += A[i][k] * B[k][j];
  return C;
}
M3 T(const M3& A) {
  M3 C{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) C[i][j] = A[j][i];
  return C;
}
V3 Apply(const M3& A, const V3& v) {
  return {Dot({A[0][0], A[0][1], A[0][2]}, v), Dot({A[1][0], A[1][1], A[1][2]}, v),
          Dot({A[2][0], A[2][1], A[2][2]}, v)};
}
M3 FromC(const double E[3][3]) {
  M3 M{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) M[i][j] = E[i][j];
  return M;
}
M3 RotZ(double a) { return {{{std::cos(a), -std::sin(a), 0}, {std::sin(a), std::cos(a), 0}, {0, 0, 1}}}; }
M3 RotY(double a) { return {{{std::cos(a), 0, std::sin(a)}, {0, 1, 0}, {-std::sin(a), 0, std::cos(a)}}}; }
M3 RotX(double a) { return {{{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}}}; }
const M3 kI = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

// Rotation vector of a rotation matrix (angle times unit axis).
V3 RotationVector(const M3& R) {
  const V3 s = {0.5 * (R[2][1] - R[1][2]), 0.5 * (R[0][2] - R[2][0]), 0.5 * (R[1][0] - R[0][1])};
  const double sn = Norm(s), cs = 0.5 * (R[0][0] + R[1][1] + R[2][2] - 1.0);
  const double ang = std::atan2(sn, cs);
  return sn > 0.0 ? Scale(ang / sn, s) : V3{0, 0, 0};
}

double Wrap(double a) { return std::remainder(a, 2.0 * M_PI); }

// ---- the hand, rebuilt from the catalogue: the two links of finger kf for angles q

struct Links {
  V3 base, j4, tip;  // joint 3 (at the base), joint 4, fingertip centre
  M3 E4;             // frame of the last link: x along the link, z its joint axis
};

Links FingerLinks(int hand, bool cylinderWork, int kf, const double* q) {
  const double phi = kFingerAngle[hand][kf];
  const V3 p = {rPalm * std::sin(phi), 0.0, rPalm * std::cos(phi)};
  M3 B = RotY(phi);
  if (hand == 4 || (hand == 2 && cylinderWork)) B = (kf == 1) ? kI : RotY(M_PI);
  // joint frames at zero angles; joints 1-3 sit at the base, joint 4 one link away
  auto C = [](const double m[3][3]) { return FromC(m); };
  const M3 Es[5] = {kI, hand <= 2 ? kI : C(kMp), C(kMq), C(kMp), C(kMp)};
  M3 E = kI, E3{};
  for (int j = 1; j <= 4; ++j) {
    E = Mul(Mul(E, Mul(T(Es[j - 1]), Es[j])), RotZ(q[j]));
    if (j == 3) E3 = E;
  }
  Links L;
  L.base = p;
  L.j4 = Add(p, Apply(B, Apply(E3, {lFin, 0, 0})));
  L.E4 = Mul(B, E);
  L.tip = Add(L.j4, Scale(lFin, Col(L.E4, 0)));
  return L;
}

// ---- the work cylinder: base centre rw, axes Ew

struct Cylinder {
  V3 rw;
  M3 Ew;
};

// Signed distance of p from the solid cylinder: positive outside, minus the depth inside.
double SignedDistance(const Cylinder& w, const V3& p) {
  const V3 d = Sub(p, w.rw);
  const double h = Dot(d, Col(w.Ew, 2));
  const double rho = std::hypot(Dot(d, Col(w.Ew, 0)), Dot(d, Col(w.Ew, 1)));
  const double dr = rho - aCyl, dh = std::max(-h, h - hCyl);
  if (dr <= 0.0 && dh <= 0.0) return std::max(dr, dh);
  return std::hypot(std::max(dr, 0.0), std::max(dh, 0.0));
}

// How deep a link (a solid cylinder of radius aFin from a to b, with a ball of the
// same radius at b when `tip`) reaches into the work. The distance of the axis from
// the work bounds it; where that bound is not small, the link's surface is sampled.
double Penetration(const Cylinder& w, const V3& a, const V3& b, bool tip) {
  const V3 ab = Sub(b, a);
  const double len = Norm(ab);
  const V3 x = Scale(1.0 / len, ab);
  auto axis = [&](double t) { return SignedDistance(w, Add(a, Scale(t, x))); };
  // the axis distance is convex along the link: sample, then narrow the best bracket
  const int n = 80;
  int kBest = 0;
  for (int k = 1; k <= n; ++k)
    if (axis(len * k / n) < axis(len * kBest / n)) kBest = k;
  double lo = len * std::max(kBest - 1, 0) / n, hi = len * std::min(kBest + 1, n) / n;
  for (int it = 0; it < 80; ++it) {
    const double m1 = lo + (hi - lo) / 3.0, m2 = hi - (hi - lo) / 3.0;
    if (axis(m1) < axis(m2))
      hi = m2;
    else
      lo = m1;
  }
  const double bound = aFin - std::min(axis(0.5 * (lo + hi)), axis(len * kBest / n));
  if (bound <= 1e-4) return std::max(bound, 0.0);
  // the surface of the flat-ended link (and the tip ball): deepest sampled point
  V3 e1 = Cross(x, {1, 0, 0});
  if (Norm(e1) < 0.5) e1 = Cross(x, {0, 1, 0});
  e1 = Unit(e1);
  const V3 e2 = Cross(x, e1);
  double deepest = 0.0;
  for (int k = 0; k <= 400; ++k)
    for (int m = 0; m < 180; ++m) {
      const double ph = 2.0 * M_PI * m / 180.0;
      const V3 radial = Add(Scale(std::cos(ph), e1), Scale(std::sin(ph), e2));
      const double t = len * k / 400.0;
      deepest = std::max(deepest, -SignedDistance(w, Add(Add(a, Scale(t, x)), Scale(aFin, radial))));
      if (tip && k <= 90) {  // the ball beyond b, by latitude
        const double lat = 0.5 * M_PI * k / 90.0;
        const V3 pt = Add(b, Scale(aFin, Add(Scale(std::cos(lat), radial), Scale(std::sin(lat), x))));
        deepest = std::max(deepest, -SignedDistance(w, pt));
      }
    }
  return deepest;
}

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
  const V3 e = Sub(RC, f.j4);
  v.L = Dot(e, x);
  v.phi = std::atan2(Dot(e, xz), Dot(e, z));
  const V3 foot = Add(f.j4, Scale(v.L, x));
  v.axisR = Norm(Sub(RC, foot));
  v.N = Unit(Sub(foot, RC));
  const V3 radial = Add(Scale(std::cos(v.phi), z), Scale(std::sin(v.phi), xz));
  const V3 ephi = Cross(x, radial);  // growing phi
  const V3 t = Add(Scale(-std::sin(v.thw), Col(w.Ew, 0)), Scale(std::cos(v.thw), Col(w.Ew, 1)));
  const double t1 = Dot(t, x), t2 = Dot(t, ephi), tn = std::hypot(t1, t2);
  v.tLink[0] = t1 / tn;
  v.tLink[1] = t2 / tn;
  return v;
}

// The record's latest state (the history slot every step writes).
struct State {
  Cylinder w;
  double q[kSlots][kSlots];
  V3 RC[kSlots];
};

State Take(const Sim& s) {
  State p;
  p.w.rw = {s.ManipRW2[1][0], s.ManipRW2[1][1], s.ManipRW2[1][2]};
  p.w.Ew = FromC(s.ManipEW2[1]);
  for (int kf = 1; kf <= s.nF; ++kf) {
    for (int j = 0; j < kSlots; ++j) p.q[kf][j] = s.qqa2[1][kf][j];
    p.RC[kf] = {s.ManipCPNTA2[1][kf][0], s.ManipCPNTA2[1][kf][1], s.ManipCPNTA2[1][kf][2]};
  }
  return p;
}

struct RunResult {
  char status = 'Y';
  int steps = 0, reduced = 0;
  double worstSpin = 0, worstSlip = 0, worstDepth = 0;
  std::string end;  // which finger and link met the work at a collision
};

void Press(Sim& s, const std::string& keys) {
  for (char k : keys) keyboard(s, static_cast<unsigned char>(k), 0, 0);
}

// Runs a scene through the keys and checks every step; stops at any status but 'Y'.
RunResult RunScene(int hand, const std::string& velocityKeys) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  rgtest::Capture console;
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
  while (s.sgnMANIP == 'Y' && s.cntMainip1 < 799) {
    const State a = Take(s);
    const int M = s.cntManip0;
    Press(s, "s");
    r.status = s.sgnMANIP;
    if (s.cntManip0 == M) break;  // nothing recorded (deadlock, palm, refusal)
    ++r.steps;
    SCOPED_TRACE(testing::Message() << "hand " << hand << " keys '" << velocityKeys << "' step "
                                    << M + 1);
    const State b = Take(s);
    const double dt = s.dt;
    if (dt < 0.05) ++r.reduced;

    // the work: mid-point moved by dt*vw, turned by dt*omww about its own x, y, z in turn
    const V3 mid = Add(Sub(b.w.rw, a.w.rw), Scale(0.5 * hCyl, Sub(Col(b.w.Ew, 2), Col(a.w.Ew, 2))));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(mid[i], dt * s.vw[i], 1e-9);
    const M3 turn = Mul(T(a.w.Ew), b.w.Ew);
    const M3 want = Mul(Mul(RotX(dt * s.omww[0]), RotY(dt * s.omww[1])), RotZ(dt * s.omww[2]));
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(turn[i][j], want[i][j], 1e-12);

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
      const M3 Rf = Mul(fb.E4, T(fa.E4)), Rw = Mul(b.w.Ew, T(a.w.Ew));
      const V3 rel = RotationVector(Mul(Rf, T(Rw)));
      const double spin = std::fabs(Dot(rel, Unit(Add(Apply(Rf, ca.N), cb.N))));
      r.worstSpin = std::max(r.worstSpin, spin);
      EXPECT_LE(spin, 1e-6);
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
};

class WholeRun : public ::testing::TestWithParam<Scene> {};

TEST_P(WholeRun, RollsWithoutSlipOrSpinAndNoLinkEntersTheWork) {
  const Scene sc = GetParam();
  const RunResult r = RunScene(sc.hand, sc.keys);
  EXPECT_GT(r.steps, 20);
  // a run ends in one of the step's own verdicts, or with the record full
  EXPECT_TRUE(r.status == 'C' || r.status == 'O' || r.status == 'D' || r.status == 'F')
      << r.status;
}

INSTANTIATE_TEST_SUITE_P(DefaultAndVelocityKeys, WholeRun,
                         ::testing::Values(Scene{1, ""}, Scene{2, ""}, Scene{3, ""}, Scene{4, ""},
                                           Scene{1, "Q"}, Scene{1, "p"}, Scene{1, "rR"},
                                           Scene{3, "rR"}, Scene{1, "xQ"}),
                         [](const testing::TestParamInfo<Scene>& p) {
                           return "Hand" + std::to_string(p.param.hand) + "_" +
                                  (*p.param.keys ? p.param.keys : "default");
                         });

// A work at rest: the fingers stay where they are.
TEST(WholeRunAtRest, AWorkAtRestKeepsTheFingersInPlace) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  rgtest::Capture console;
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
