// This test suite's own geometry, written apart from the program's code so that
// results can be judged independently: small vector helpers, the hand rebuilt from
// the catalogue, the work cylinder as a solid, and the work sphere.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>

#include "core/catalogue.h"

namespace own {

using namespace rg;

// ---- vectors and 3x3 matrices (row-major; frames hold their axes as columns)

using V3 = std::array<double, 3>;
using M3 = std::array<std::array<double, 3>, 3>;

inline V3 Add(const V3& a, const V3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline V3 Sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline V3 Scale(double k, const V3& a) { return {k * a[0], k * a[1], k * a[2]}; }
inline double Dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline V3 Cross(const V3& a, const V3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double Norm(const V3& a) { return std::sqrt(Dot(a, a)); }
inline V3 Unit(const V3& a) { return Scale(1.0 / Norm(a), a); }
inline V3 Col(const M3& E, int k) { return {E[0][k], E[1][k], E[2][k]}; }
inline M3 Mul(const M3& A, const M3& B) {
  M3 C{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) C[i][j] += A[i][k] * B[k][j];
  return C;
}
inline M3 T(const M3& A) {
  M3 C{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) C[i][j] = A[j][i];
  return C;
}
inline V3 Apply(const M3& A, const V3& v) {
  return {Dot({A[0][0], A[0][1], A[0][2]}, v), Dot({A[1][0], A[1][1], A[1][2]}, v),
          Dot({A[2][0], A[2][1], A[2][2]}, v)};
}
inline M3 FromC(const double E[3][3]) {
  M3 M{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) M[i][j] = E[i][j];
  return M;
}
inline M3 RotZ(double a) { return {{{std::cos(a), -std::sin(a), 0}, {std::sin(a), std::cos(a), 0}, {0, 0, 1}}}; }
inline M3 RotY(double a) { return {{{std::cos(a), 0, std::sin(a)}, {0, 1, 0}, {-std::sin(a), 0, std::cos(a)}}}; }
inline M3 RotX(double a) { return {{{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}}}; }
const M3 kI = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

// Rotation vector of a rotation matrix (angle times unit axis).
inline V3 RotationVector(const M3& R) {
  const V3 s = {0.5 * (R[2][1] - R[1][2]), 0.5 * (R[0][2] - R[2][0]), 0.5 * (R[1][0] - R[0][1])};
  const double sn = Norm(s), cs = 0.5 * (R[0][0] + R[1][1] + R[2][2] - 1.0);
  const double ang = std::atan2(sn, cs);
  return sn > 0.0 ? Scale(ang / sn, s) : V3{0, 0, 0};
}

inline double Wrap(double a) { return std::remainder(a, 2.0 * M_PI); }

// Spin of a finger against the work over a step: the finger's turn (its last link's
// frame from Ea to Eb) relative to the work's turn (from Wa to Wb), about the normal
// taken midway (the old normal Na carried with the finger, and the new normal Nb).
inline double SpinAboutMidNormal(const M3& Ea, const M3& Eb, const M3& Wa, const M3& Wb,
                                 const V3& Na, const V3& Nb) {
  const M3 Rf = Mul(Eb, T(Ea)), Rw = Mul(Wb, T(Wa));
  const V3 rel = RotationVector(Mul(Rf, T(Rw)));
  return std::fabs(Dot(rel, Unit(Add(Apply(Rf, Na), Nb))));
}

// ---- the hand, rebuilt from the catalogue: the two links of finger kf for angles q

struct Links {
  V3 base, j4, tip;  // joint 3 (at the base), joint 4, fingertip centre
  M3 E4;             // frame of the last link: x along the link, z its joint axis
};

// Where a hand's fingers sit, as the tests know it: finger kf's base on the palm's
// rim (radius rPalm) at angle phi[kf] about the palm's y axis, its frame turned by
// the same angle or, when turned, finger 1 pointing up and the others down; the
// first joint a roll (RQPP) or a pitch (PQPP); links lFin long and aFin thick. A
// built-in hand's number gives its layout.
struct HandLayout {
  HandLayout(int hand)  // NOLINT: every built-in hand is a layout
      : turnedAlways(hand == 4), turnedForCylinder(hand == 2), pqpp(hand >= 3) {
    for (int kf = 1; kf < kSlots; ++kf) phi[kf] = kFingerAngle[hand][kf < 4 ? kf : 0];
  }
  HandLayout(std::initializer_list<double> angles, bool turnedWithCylinder, bool firstPitch)
      : turnedForCylinder(turnedWithCylinder), pqpp(firstPitch) {
    int kf = 1;
    for (double a : angles) phi[kf++] = a;
  }
  // the same layout with other link and palm dimensions
  HandLayout Sized(double link, double radius, double palm) const {
    HandLayout h = *this;
    h.lFin = link;
    h.aFin = radius;
    h.rPalm = palm;
    return h;
  }
  double phi[kSlots] = {};
  bool turnedAlways = false, turnedForCylinder = false, pqpp = false;
  double lFin = rg::catalogue::lFin, aFin = rg::catalogue::aFin, rPalm = rg::catalogue::rPalm;
};

inline Links FingerLinks(const HandLayout& hand, bool cylinderWork, int kf, const double* q) {
  const double phi = hand.phi[kf];
  const V3 p = {hand.rPalm * std::sin(phi), 0.0, hand.rPalm * std::cos(phi)};
  M3 B = RotY(phi);
  if (hand.turnedAlways || (hand.turnedForCylinder && cylinderWork)) B = (kf == 1) ? kI : RotY(M_PI);
  // joint frames at zero angles; joints 1-3 sit at the base, joint 4 one link away
  auto C = [](const double m[3][3]) { return FromC(m); };
  const M3 Es[5] = {kI, hand.pqpp ? C(kMp) : kI, C(kMq), C(kMp), C(kMp)};
  M3 E = kI, E3{};
  for (int j = 1; j <= 4; ++j) {
    E = Mul(Mul(E, Mul(T(Es[j - 1]), Es[j])), RotZ(q[j]));
    if (j == 3) E3 = E;
  }
  Links L;
  L.base = p;
  L.j4 = Add(p, Apply(B, Apply(E3, {hand.lFin, 0, 0})));
  L.E4 = Mul(B, E);
  L.tip = Add(L.j4, Scale(hand.lFin, Col(L.E4, 0)));
  return L;
}

// Where the point p lies about finger f's last link: along it from joint 4 (L),
// around it from the link frame's z towards x x z (phi), and the foot of the
// perpendicular from p on the axis.
struct LinkPlace {
  double L, phi;
  V3 foot;
};
inline LinkPlace PlaceOnLink(const Links& f, const V3& p) {
  const V3 x = Col(f.E4, 0), z = Col(f.E4, 2), xz = Cross(x, z);
  const V3 e = Sub(p, f.j4);
  const double L = Dot(e, x);
  return {L, std::atan2(Dot(e, xz), Dot(e, z)), Add(f.j4, Scale(L, x))};
}

// Signed distance of finger f's base (where its first joints sit) from the tangent
// plane of its contact at RC with normal N. A finger's rolling matrix is singular
// where its base lies in that plane, so no rolling motion carries the base across:
// a step whose sign differs from the one before has jumped to the mirror solution.
inline double BaseSide(const Links& f, const V3& RC, const V3& N) { return Dot(Sub(f.base, RC), N); }

// ---- the sizes a test asks of the works (the built-in ones unless it resizes them)

struct WorkDims {
  double aCyl = rg::catalogue::aCyl, hCyl = rg::catalogue::hCyl, aSph = rg::catalogue::aSph;
};

// ---- the work cylinder: base centre rw, axes Ew, radius a, height h

struct Cylinder {
  V3 rw;
  M3 Ew;
  double a = rg::catalogue::aCyl, h = rg::catalogue::hCyl;
  void Resize(const WorkDims& d) {
    a = d.aCyl;
    h = d.hCyl;
  }
};

// Signed distance of p from the solid cylinder: positive outside, minus the depth inside.
inline double SignedDistance(const Cylinder& w, const V3& p) {
  const V3 d = Sub(p, w.rw);
  const double h = Dot(d, Col(w.Ew, 2));
  const double rho = std::hypot(Dot(d, Col(w.Ew, 0)), Dot(d, Col(w.Ew, 1)));
  const double dr = rho - w.a, dh = std::max(-h, h - w.h);
  if (dr <= 0.0 && dh <= 0.0) return std::max(dr, dh);
  return std::hypot(std::max(dr, 0.0), std::max(dh, 0.0));
}

// The point of the segment from a to b nearest the work: its parameter t (0 at a,
// the segment's length at b) and its signed distance from the work. The distance is
// convex along the segment: sample, then narrow the best bracket by ternary search.
struct AxisNearest {
  double t, dist;
};

inline AxisNearest NearestOnSegment(const Cylinder& w, const V3& a, const V3& b) {
  const V3 ab = Sub(b, a);
  const double len = Norm(ab);
  const V3 x = Scale(1.0 / len, ab);
  auto axis = [&](double t) { return SignedDistance(w, Add(a, Scale(t, x))); };
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
  const double tm = 0.5 * (lo + hi), tk = len * kBest / n;
  return axis(tm) <= axis(tk) ? AxisNearest{tm, axis(tm)} : AxisNearest{tk, axis(tk)};
}

// How deep a link (a solid cylinder of radius aFin from a to b, with a ball of the
// same radius at b when `tip`) reaches into the work. The distance of the axis from
// the work bounds it; where that bound is not small, the link's surface is sampled.
inline double Penetration(const Cylinder& w, const V3& a, const V3& b, bool tip,
                          double aFin = rg::catalogue::aFin) {
  const V3 ab = Sub(b, a);
  const double len = Norm(ab);
  const V3 x = Scale(1.0 / len, ab);
  const double bound = aFin - NearestOnSegment(w, a, b).dist;
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

// ---- the work sphere: centre c, axes Ew, radius a

struct Sphere {
  V3 c;
  M3 Ew;
  double a = rg::catalogue::aSph;
  void Resize(const WorkDims& d) { a = d.aSph; }
};

// Distance of p from the segment from a to b, and where along it (0 at a, the
// segment's length at b) the nearest point lies.
inline AxisNearest SegmentToPoint(const V3& a, const V3& b, const V3& p) {
  const V3 ab = Sub(b, a);
  const double len = Norm(ab);
  if (len == 0.0) return {0.0, Norm(Sub(p, a))};
  const double t = std::clamp(Dot(Sub(p, a), ab) / len, 0.0, len);
  return {t, Norm(Sub(p, Add(a, Scale(t / len, ab))))};
}

// How deep a link (the solid of radius aFin about the segment from a to b, with round
// ends) reaches into the sphere; 0 when clear.
inline double Penetration(const Sphere& w, const V3& a, const V3& b,
                          double aFin = rg::catalogue::aFin) {
  return std::max(aFin + w.a - SegmentToPoint(a, b, w.c).dist, 0.0);
}

// The great circle from unit vector a to unit vector b on a sphere of radius r: its
// unit tangents at a and at b, each times the arc's length.
inline void GreatCircleArc(double r, const V3& a, const V3& b, V3& atA, V3& atB) {
  const double ang = std::atan2(Norm(Cross(a, b)), Dot(a, b));
  const V3 ta = Sub(b, Scale(Dot(a, b), a)), tb = Sub(Scale(Dot(a, b), b), a);
  const bool none = Norm(ta) < 1e-15;
  atA = none ? V3{0, 0, 0} : Scale(r * ang / Norm(ta), ta);
  atB = none ? V3{0, 0, 0} : Scale(r * ang / Norm(tb), tb);
}

}  // namespace own
