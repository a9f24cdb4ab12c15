// Where the last finger link and a rim circle of the work come closest.
#include <cmath>

#include "manip/manip.h"
#include "numerics/solve.h"
#include "numerics/vecmat.h"
#include "work/work.h"

namespace rg {
namespace {

constexpr int kMaxRoots = 16;

// Squared distance of the rim point at angle th from the link axis (link frame):
// f = A cos^2 + B sin^2 + 2C sin cos + 2Dc cos + 2E sin + F0.
struct AxisDistance2 {
  double A, B, C, Dc, E, F0;
  double operator()(double th) const {
    const double c = std::cos(th), s = std::sin(th);
    return A * c * c + B * s * s + 2.0 * C * s * c + 2.0 * Dc * c + 2.0 * E * s + F0;
  }
};

}  // namespace

void LinkCircleDistance2m(double /*lFinL*/, double aFinL, const double rwM[3], double aCylW,
                          const double EwM[3][3], double /*Lf1*/, double /*fif1*/, double thw1,
                          RimContact& out) {
  // rim point P(th) = c + a (cos th u + sin th v); the link axis is the frame's z axis
  const double a = aCylW;
  const double u1 = EwM[0][0], u2 = EwM[1][0];
  const double v1 = EwM[0][1], v2 = EwM[1][1];
  const double c1 = rwM[0], c2 = rwM[1];
  AxisDistance2 f;
  f.A = a * a * (u1 * u1 + u2 * u2);
  f.B = a * a * (v1 * v1 + v2 * v2);
  f.C = a * a * (u1 * v1 + u2 * v2);
  f.Dc = a * (u1 * c1 + u2 * c2);
  f.E = a * (v1 * c1 + v2 * c2);
  f.F0 = c1 * c1 + c2 * c2;

  // stationary points of f: f'(th) = 0, in the order of the scan from -pi upwards
  const double Ad = 2.0 * f.C, Bd = -2.0 * f.C, Cd = f.B - f.A, Dd = f.E, Ed = -f.Dc;
  double th[kMaxRoots];
  int n = 0;
  // f' vanishing identically (a rim centred on the axis in a plane normal to it):
  // every rim point is equally near, so the contact stays where it was
  const double scale = std::fabs(f.A) + std::fabs(f.B) + std::fabs(f.F0) + 1.0;
  const double slope = std::fabs(Ad) + std::fabs(Cd) + std::fabs(Dd) + std::fabs(Ed);
  if (slope > 1e-12 * scale) n = TRI22(Ad, Bd, Cd, Dd, Ed, th, kMaxRoots);
  if (n > kMaxRoots) n = kMaxRoots;

  // the nearest root; among (nearly) equal ones the one closest to the previous rim angle
  double thStar = thw1, fmin = 1.0e7;
  bool chosen = false;
  for (int k = 0; k < n; ++k) {
    const double fk = f(th[k]);
    if (!std::isfinite(fk)) continue;
    if (fk < fmin - err6) {
      thStar = th[k];
      fmin = fk;
      chosen = true;
    } else if (chosen && std::fabs(fk - fmin) < err6 &&
               std::fabs(th[k] - thw1) < std::fabs(thStar - thw1)) {
      thStar = th[k];
      fmin = fk;
    }
  }
  if (!chosen && n > 0) {
    // every root lies beyond the search bound: still take the nearest one
    double best = HUGE_VAL;
    for (int k = 0; k < n; ++k) {
      const double fk = f(th[k]);
      if (fk < best) {
        best = fk;
        thStar = th[k];
      }
    }
  }

  // results at the chosen rim angle
  const double ct = std::cos(thStar), st = std::sin(thStar);
  double P[3];
  for (int i = 0; i < 3; ++i) P[i] = rwM[i] + a * (ct * EwM[i][0] + st * EwM[i][1]);
  out.thw = thStar;
  out.Lf = P[2];
  out.fif = std::atan2(P[1], P[0]);
  const double cf = std::cos(out.fif), sf = std::sin(out.fif);
  VecSet(aFinL * cf, aFinL * sf, out.Lf, out.rfc);
  VecCopy(P, out.rwc);
  VecSet(-cf, -sf, 0.0, out.N);
  out.D = std::sqrt(P[0] * P[0] + P[1] * P[1]) - aFinL;
}

void LinkCircleDistanceA2(const double o[3], double lFinL, double aFinL, const double F[3][3],
                          const double rwP[3], double /*hCylW*/, double aCylW,
                          const double Ew[3][3], double Lf1, double fif1, double thw1,
                          RimContact& out) {
  double rwM[3], EwM[3][3];
  ITransWrkAtoM(o, F, rwP, Ew, rwM, EwM);
  RimContact m;
  LinkCircleDistance2m(lFinL, aFinL, rwM, aCylW, EwM, Lf1, fif1, thw1, m);
  out.Lf = m.Lf;
  out.fif = m.fif;
  out.thw = m.thw;
  out.D = m.D;
  double t[3];
  MatVec(F, m.rfc, t);
  VecAdd(t, o, out.rfc);
  MatVec(F, m.rwc, t);
  VecAdd(t, o, out.rwc);
  MatVec(F, m.N, out.N);
}

}  // namespace rg
