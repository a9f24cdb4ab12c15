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
  // half the first and second derivatives
  double d1(double th) const { return d1cs(std::cos(th), std::sin(th)); }
  double d1cs(double c, double s) const {
    return C * (c * c - s * s) + (B - A) * s * c + E * c - Dc * s;
  }
  double d2(double th) const { return d2cs(std::cos(th), std::sin(th)); }
  double d2cs(double c, double s) const {
    return -4.0 * C * s * c + (B - A) * (c * c - s * s) - E * s - Dc * c;
  }
};

// Rim points whose squared distances from the link axis differ by less than this
// (length units squared) are taken as equally near.
constexpr double kRimTie = 1e-6;

// Newton's iteration on f' = 0: at most kPolishIterations, ending when a step falls
// below kPolishStep relative to the angle; when it runs out, a slope of f below
// kPolishSlope still counts as settled.
constexpr int kPolishIterations = 20;
constexpr double kPolishStep = 1e-15;
constexpr double kPolishSlope = 1e-6;

// Newton's iteration on f' = 0 from th, whose cos and sin are c and s, carrying them
// along by small turns (TurnSinCos): as PolishRoot, with the cos and sin of the root
// reached in c and s, and no sincos while the steps stay small.
bool PolishRootCS(const AxisDistance2& f, double& th, double& c, double& s, double reach) {
  double t = th, ct = c, st = s;
  for (int it = 0; it < kPolishIterations; ++it) {
    const double g2 = f.d2cs(ct, st);
    if (!(std::fabs(g2) > 0.0)) return false;
    const double step = f.d1cs(ct, st) / g2;
    if (!std::isfinite(step)) return false;
    t -= step;
    if (std::fabs(t - th) > reach) return false;
    if (std::fabs(step) <= kSmallTurn)
      TurnSinCos(ct, st, -step, &ct, &st);
    else
      SinCos(t, &st, &ct);
    if (std::fabs(step) <= kPolishStep * (1.0 + std::fabs(t))) {
      th = t;
      c = ct;
      s = st;
      return true;
    }
  }
  th = t;
  c = ct;
  s = st;
  return std::fabs(f.d1cs(ct, st)) <= kPolishSlope;
}

// How far from a given rim angle a stationary point is looked for by Newton's
// iteration instead of the scan: one step of TRI22's scan, within which the scan can
// miss a root (two roots closer than its step, or one in the last step below pi).
constexpr double kScanReach = kTri22ScanStep;

// Newton iteration on f' = 0 from th. Returns false when it does not settle
// within reach of th.
bool PolishRoot(const AxisDistance2& f, double& th, double reach = 1e-3) {
  double t = th;
  for (int it = 0; it < kPolishIterations; ++it) {
    const double c = std::cos(t), sn = std::sin(t);
    const double g2 = f.d2cs(c, sn);
    if (!(std::fabs(g2) > 0.0)) return false;
    const double step = f.d1cs(c, sn) / g2;
    if (!std::isfinite(step)) return false;
    t -= step;
    if (std::fabs(t - th) > reach) return false;
    if (std::fabs(step) <= kPolishStep * (1.0 + std::fabs(t))) {
      th = t;
      return true;
    }
  }
  th = t;
  return std::fabs(f.d1(t)) <= kPolishSlope;
}

// A minimum of f in the last kScanReach below pi, where the scan of TRI22 may stop
// short of a root; false when f' does not change sign there.
bool GapMinimum(const AxisDistance2& f, double& th) {
  static const double a = kPiC - kScanReach, ca = std::cos(a), sa = std::sin(a);
  static const double cb = std::cos(kPiC), sb = std::sin(kPiC);
  double lo = a, hi = kPiC;
  double glo = f.d1cs(ca, sa);
  const double ghi = f.d1cs(cb, sb);
  if (!(glo < 0.0 && ghi > 0.0)) return false;  // f' rises through zero at a minimum
  double t = lo + (hi - lo) * (-glo) / (ghi - glo);
  if (PolishRoot(f, t, kScanReach) && t >= lo && t <= hi) {
    th = t;
    return true;
  }
  for (int it = 0; it < 60; ++it) {  // bracketed: bisection
    t = 0.5 * (lo + hi);
    const double g = f.d1(t);
    if ((g < 0.0) == (glo < 0.0)) {
      lo = t;
      glo = g;
    } else {
      hi = t;
    }
  }
  th = 0.5 * (lo + hi);
  return true;
}

// The rim seen along the link axis is the ellipse c + U (cos th, sin th), with
// U^T U = [[A, C], [C, B]], U^T c = (Dc, E) and |c|^2 = F0. When the axis (the origin)
// lies outside the filled ellipse and a stationary point th has the origin on the
// outer side of the ellipse's normal there, th is the projection of the origin on
// that convex set: the one nearest point. In the ellipse's own coordinates the origin
// is w = -(U^T U)^-1 (Dc, E), and both conditions read w . (cos th, sin th) > 1. Any
// other stationary point is then farther by a chord across the ellipse, which with
// axes no thinner than a hundredth of each other keeps it beyond kRimTie.
bool EllipseCertified(const AxisDistance2& f, double th) {
  const double det = f.A * f.B - f.C * f.C, half = 0.5 * (f.A + f.B);
  const double spread = std::hypot(0.5 * (f.A - f.B), f.C);
  if (!(half - spread > 1e-4 * (half + spread)) || !(det > 0.0)) return false;
  const double w0 = -(f.B * f.Dc - f.C * f.E) / det, w1 = -(f.A * f.E - f.C * f.Dc) / det;
  return w0 * std::cos(th) + w1 * std::sin(th) > 1.0 + 1e-9;
}

// Whether the minimum of f at th is the nearest rim point by more than kRimTie, proved
// without the scan: by the ellipse's convexity, else by bounds on f. With f = m + R1 cos(th - p1) +
// R2 cos(2 th - p2), the second derivative is at most R1 + 4 R2 and the third at most R1 + 8 R2 in
// size: f is convex on [th - W, th + W] when f''(th) exceeds (R1 + 8 R2) W, so th is its only
// minimum there, and on each of the cells of width d that cover the rest of the circle f stays
// above its value at the cell's centre less |f'| d / 2 and (R1 + 4 R2) d^2 / 8. False
// when the bound cannot tell: the scan decides.
bool CertifiedNearest(const AxisDistance2& f, double th) {
  if (EllipseCertified(f, th)) return true;
  constexpr int kCells = 64;
  constexpr double d = 2.0 * kPiC / kCells, W = 1.5 * d;
  const double R1 = 2.0 * std::hypot(f.Dc, f.E), R2 = std::hypot(0.5 * (f.A - f.B), f.C);
  const double c0 = std::cos(th), s0 = std::sin(th);
  if (!(2.0 * f.d2cs(c0, s0) > (R1 + 8.0 * R2) * W)) return false;
  const double f0 = f(th) + kRimTie, M2 = (R1 + 4.0 * R2) * d * d / 8.0;
  const double cd = std::cos(d), sd = std::sin(d);
  double c = c0 * cd - s0 * sd, sn = s0 * cd + c0 * sd;  // th + d, then on by d
  for (int k = 1; k < kCells; ++k) {
    if (k >= 2 && k <= kCells - 2) {
      const double fk = f.A * c * c + f.B * sn * sn + 2.0 * f.C * sn * c + 2.0 * f.Dc * c +
                        2.0 * f.E * sn + f.F0;
      if (!(fk - std::fabs(2.0 * f.d1cs(c, sn)) * 0.5 * d - M2 > f0)) return false;
    }
    const double ck = c * cd - sn * sd;
    sn = sn * cd + c * sd;
    c = ck;
  }
  return true;
}

// The rim angle of the nearest point: the stationary points of f found by the scan
// of TRI22 (in its order from -pi upwards), the smallest f chosen, and among roots
// whose f differs by less than kRimTie the one closest to the previous rim angle thw1.
double NearestRimAngle(const AxisDistance2& f, double thw1) {
  // the minimum next to the previous contact, when it is certainly the nearest point
  double thNear = thw1;
  if (PolishRoot(f, thNear, kScanReach) && f.d2(thNear) > 0.0 && CertifiedNearest(f, thNear)) {
    if (thNear > kPiC) thNear -= k2PiC;
    if (thNear <= -kPiC) thNear += k2PiC;
    PolishRoot(f, thNear);
    return thNear;
  }
  const double Ad = 2.0 * f.C, Bd = -2.0 * f.C, Cd = f.B - f.A, Dd = f.E, Ed = -f.Dc;
  // f' vanishing identically (a rim centred on the axis in a plane normal to it):
  // every rim point is equally near, so the contact stays where it was
  const double scale = std::fabs(f.A) + std::fabs(f.B) + std::fabs(f.F0) + 1.0;
  const double slope = std::fabs(Ad) + std::fabs(Cd) + std::fabs(Dd) + std::fabs(Ed);
  if (!(slope > 1e-12 * scale)) return thw1;
  double th[kMaxRoots + 2];
  int n = TRI22(Ad, Bd, Cd, Dd, Ed, th, kMaxRoots);
  if (n > kMaxRoots) n = kMaxRoots;
  // The scan steps by kTri22ScanStep and stops before pi, so it can miss a root in the
  // last stretch of that width below pi or two roots closer than its step. Add the minimum next to the
  // previous contact (the one the motion follows) and any minimum in that last stretch.
  thNear = thw1;
  if (PolishRoot(f, thNear, kScanReach) && f.d2(thNear) > 0.0) {
    if (thNear > kPiC) thNear -= k2PiC;
    if (thNear <= -kPiC) thNear += k2PiC;
    th[n++] = thNear;
  }
  double thGap;
  if (GapMinimum(f, thGap)) th[n++] = thGap;

  double thStar = thw1, fmin = 1.0e7;
  bool chosen = false;
  for (int k = 0; k < n; ++k) {
    const double fk = f(th[k]);
    if (!std::isfinite(fk)) continue;
    if (fk < fmin - kRimTie) {
      thStar = th[k];
      fmin = fk;
      chosen = true;
    } else if (chosen && std::fabs(fk - fmin) < kRimTie &&
               std::fabs(th[k] - thw1) < std::fabs(thStar - thw1)) {
      thStar = th[k];
      fmin = fk;
    }
  }
  if (!chosen) {
    // no root below the search bound (a rim very far away): still the nearest root
    double best = HUGE_VAL;
    for (int k = 0; k < n; ++k) {
      const double fk = f(th[k]);
      if (fk < best) {
        best = fk;
        thStar = th[k];
      }
    }
  }
  // the scan stops once |f'| < 1e-6; finish the root so that the rim point, and
  // the contact parameters taken from it, are exact to rounding
  PolishRoot(f, thStar);
  return thStar;
}

}  // namespace

void LinkCircleDistance2m(const Model& m, const RimCircle& rimM, double thw1, RimContact& out,
                          const double* thwNear, const double* csNear) {
  // rim point P(th) = c + a (cos th u + sin th v); the link axis is the frame's z axis
  const double a = m.aCyl, aFinL = m.aFin;
  const double* rwM = rimM.c;
  const double(*EwM)[3] = rimM.E;
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

  double thStar = 0.0;
  bool followed = false;
  double ct = 0.0, st = 0.0;  // cos and sin of thStar, once known
  bool trigKnown = false;
  if (thwNear != nullptr) {
    // the minimum next to the given rim angle, if there is one close by
    thStar = *thwNear;
    if (csNear != nullptr) {
      ct = csNear[0];
      st = csNear[1];
    } else {
      SinCos(thStar, &st, &ct);
    }
    followed = PolishRootCS(f, thStar, ct, st, kScanReach) && f.d2cs(ct, st) > 0.0;
    trigKnown = followed;
    // a root brought back into (-pi, pi] (its cos and sin stay)
    if (followed && thStar > kPiC) thStar -= k2PiC;
    if (followed && thStar <= -kPiC) thStar += k2PiC;
  }
  if (!followed) thStar = NearestRimAngle(f, thw1);

  const double coef[6] = {f.A, f.B, f.C, f.Dc, f.E, f.F0};
  for (int k = 0; k < 6; ++k) out.f[k] = coef[k];
  // results at the chosen rim angle
  if (!trigKnown) {
    ct = std::cos(thStar);
    st = std::sin(thStar);
  }
  out.cthw = ct;
  out.sthw = st;
  double P[3];
  for (int i = 0; i < 3; ++i) P[i] = rwM[i] + a * (ct * EwM[i][0] + st * EwM[i][1]);
  out.thw = thStar;
  out.Lf = P[2];
  out.fif = std::atan2(P[1], P[0]);
  // the direction of the rim point from the axis, (cos fif, sin fif)
  const double rho = std::sqrt(P[0] * P[0] + P[1] * P[1]);
  const double cf = rho > 0.0 ? P[0] / rho : 1.0, sf = rho > 0.0 ? P[1] / rho : 0.0;
  VecSet(aFinL * cf, aFinL * sf, out.Lf, out.rfc);
  VecCopy(P, out.rwc);
  VecSet(-cf, -sf, 0.0, out.N);
  out.D = rho - aFinL;
}

bool RimContactCertified(const RimContact& c) {
  const AxisDistance2 f{c.f[0], c.f[1], c.f[2], c.f[3], c.f[4], c.f[5]};
  return CertifiedNearest(f, c.thw);
}

void LinkCircleDistanceA2(const Model& model, const LinkFrame& L, const RimCircle& rim, double thw1,
                          RimContact& out, const double* thwNear, const double* csNear) {
  const double* o = L.o;
  const double(*F)[3] = L.F;
  // the rim in the link frame: ITransWrkAtoM, for the rim's own plane (the first two
  // axes) alone
  RimCircle rimM;
  double d[3];
  VecSub(rim.c, o, d);
  MatTVec(F, d, rimM.c);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j)
      rimM.E[i][j] = F[0][i] * rim.E[0][j] + F[1][i] * rim.E[1][j] + F[2][i] * rim.E[2][j];
  LinkCircleDistance2m(model, rimM, thw1, out, thwNear, csNear);
  // back to the hand frame: the rim point on the rim itself, the normal and the link
  // point from the link frame's axes (e1, e2 around the link, e3 along it)
  const double a = model.aCyl, ct = out.cthw, st = out.sthw;
  const double nc = -out.N[0], ns = -out.N[1];  // cos fif, sin fif
  for (int i = 0; i < 3; ++i) {
    out.rwc[i] = rim.c[i] + a * (ct * rim.E[i][0] + st * rim.E[i][1]);
    const double radial = nc * F[i][0] + ns * F[i][1];
    out.N[i] = -radial;
    out.rfc[i] = o[i] + model.aFin * radial + out.Lf * F[i][2];
  }
}

}  // namespace rg
