#include "numerics/solve.h"

#include <cmath>
#include <utility>

#include "numerics/vecmat.h"

namespace rg {
namespace {

constexpr double kZero = 1e-7;  // "zero" of the solvers unless stated otherwise
constexpr double kTwoPi = 6.283185307179586;

// Wraps an angle once into [-pi, pi] with the program's decimal pi.
double WrapOnce(double th) {
  if (th < -kPi) return th + k2Pi;
  if (th > kPi) return th - k2Pi;
  return th;
}

// x^4 + k[0] x^3 + k[1] x^2 + k[2] x + k[3]
double Quartic(const double k[4], double x) { return (((x + k[0]) * x + k[1]) * x + k[2]) * x + k[3]; }

// Real solutions of a*y^2 + 2*b*y + c = 0 (a not zero) or, for a ~ 0, of 2*b*y + c = 0,
// kept when they lie in [-1, 1] up to 1e-7 and clamped into it. Returns how many.
int UnitRootsOfQuadratic(double a, double b, double c, double y[2]) {
  double r[2];
  int n = 0;
  if (std::fabs(a) >= kZero) {
    double disc = b * b - a * c;
    if (disc <= -kZero) return 0;
    if (disc < 0.0) disc = 0.0;
    const double sq = std::sqrt(disc);
    r[n++] = (-b + sq) / a;
    r[n++] = (-b - sq) / a;
  } else {
    if (std::fabs(b) <= kZero) return 0;
    r[n++] = -c / (2.0 * b);
  }
  int m = 0;
  for (int i = 0; i < n; ++i) {
    if (r[i] > -1.0000001 && r[i] < 1.0000001) y[m++] = std::fmax(-1.0, std::fmin(1.0, r[i]));
  }
  return m;
}

bool AllFinite(std::initializer_list<double> v) {
  for (double x : v)
    if (!std::isfinite(x)) return false;
  return true;
}

}  // namespace

int TRI1(double a, double b, double c, double th[2]) {
  const double R = std::sqrt(a * a + b * b);
  th[0] = 0.0;
  th[1] = 0.0;
  if (R < kZero && std::fabs(c) < kZero) {
    th[1] = 3.141592653589793;
    return 2;
  }
  if (R < kZero) return 0;
  double t = c;
  if (std::fabs(std::fabs(c) - R) < kZero) t = (c < 0.0) ? -R : R;
  if (!(std::fabs(t) <= R)) return 0;
  const double phi = std::atan2(b, a);
  const double del = std::acos(-t / R);
  th[0] = WrapOnce(phi + del);
  th[1] = WrapOnce(phi - del);
  return 2;
}

namespace {

// The closed-form solution of the second-degree equation: the special forms directly, the
// general form through the quartic in x = cos. Angles are not yet wrapped.
int ClosedForm(double BC2, double BS2, double BCS, double BC1, double BS1, double BX, double th[4],
               Notes* notes) {
  const double s = BX + BS2;
  const double D = BC2 - BS2;
  const double P = 4.0 * BCS * BCS + D * D;
  int n = 0;

  if (std::fabs(P) <= kZero) {
    // The quadratic part is the constant BS2 (= BC2): a first-degree equation.
    if (std::fabs(BC1) <= kZero && std::fabs(BS1) <= kZero) return 0;
    n = TRI1(2.0 * BC1, 2.0 * BS1, s, th);
  } else if (std::fabs(BC1) + std::fabs(BS1) <= kZero) {
    // Pure quadratic form: rotate to its principal axes, lam1 cos^2 psi + lam2 sin^2 psi + BX = 0.
    const double phi = std::atan(2.0 * BCS / D) / 2.0;
    const double c = std::cos(phi), si = std::sin(phi);
    const double lam1 = BS2 * si * si + 2.0 * BCS * c * si + BC2 * c * c;
    const double lam2 = BS2 * c * c + BC2 * si * si - 2.0 * BCS * c * si;
    double t = (-BX - lam2) / (lam1 - lam2);  // cos^2 psi
    if (t <= -kZero || t >= 1.0000001 || std::isnan(t)) return 0;
    t = std::fmax(0.0, std::fmin(1.0, t));
    const double psi = std::atan2(std::sqrt(1.0 - t), std::sqrt(t));
    th[0] = phi + psi;
    th[1] = phi + psi - kPi;
    th[2] = phi - psi;
    th[3] = phi - psi + kPi;
    n = 4;
  } else if (std::fabs(BC1) + std::fabs(BCS) < kZero) {
    // Only sin appears to first degree: a quadratic in y = sin.
    AddNote(notes, Note{Note::SineOnly, 0, 0, BC1, BCS});
    double y[2];
    const int m = UnitRootsOfQuadratic(BS2 - BC2, BS1, BX + BC2, y);
    for (int i = 0; i < m; ++i) {
      const double t1 = std::asin(y[i]);
      th[n++] = t1;
      th[n++] = (t1 < 0.0) ? -kPi - t1 : kPi - t1;
    }
  } else if (std::fabs(BS1) + std::fabs(BCS) < kZero) {
    // Only cos appears to first degree: a quadratic in x = cos.
    double x[2];
    const int m = UnitRootsOfQuadratic(BC2 - BS2, BC1, BX + BS2, x);
    for (int i = 0; i < m; ++i) {
      const double t1 = std::acos(x[i]);
      th[n++] = t1;
      th[n++] = -t1;
    }
  } else {
    // General case: D x^2 + 2 BC1 x + s = -2 sin (BCS x + BS1), squared into a quartic in x = cos.
    double k[4];
    k[0] = 4.0 * (BC1 * D + 2.0 * BCS * BS1) / P;
    k[1] = 2.0 * (2.0 * (BC1 * BC1 + BS1 * BS1 - BCS * BCS) + D * s) / P;
    k[2] = 4.0 * (BC1 * s - 2.0 * BCS * BS1) / P;
    k[3] = (s * s - 4.0 * BS1 * BS1) / P;
    double x[4];
    const int nr = SolveQuartic(k[0], k[1], k[2], k[3], x);
    if (nr <= 0) return 0;
    for (int i = 0; i < nr; ++i) {
      if (std::fabs(x[i]) <= 1.0 && std::fabs(Quartic(k, x[i])) >= 1e-8)
        x[i] = PolyRootPolish(4, x[i], k);
    }
    for (int i = 0; i < nr; ++i) {
      // A real root beyond |cos| = 1, or one the polish could not bring near zero, is a
      // complex pair that the quartic solver returned as two close real values: no angle.
      if (!(std::fabs(x[i]) <= 1.0 + 1e-6 && std::fabs(Quartic(k, x[i])) <= 1e-6)) continue;
      const double w = BCS * x[i] + BS1;
      if (!(std::fabs(w) <= kZero)) {
        const double y = -((D * x[i] + 2.0 * BC1) * x[i] + s) / (2.0 * w);
        // sin of a genuine root has |y| <= 1; a root at cos = 0 gives |y| = 1 up to rounding.
        if (std::fabs(y) <= 1.0 + 1e-6) th[n++] = std::atan2(y, x[i]);
        continue;
      }
      // (BCS cos + BS1)(alpha cos + 2 sin + beta) = 0: rebuild the whole solution set.
      n = 0;
      if (std::fabs(BCS) > kZero) {
        const double alpha = D / BCS;
        const double beta = (2.0 * BC1 - BS1 * alpha) / BCS;
        n = TRI1(alpha, 2.0, beta, th);
        const double x0 = -BS1 / BCS;
        if (std::fabs(x0) <= 1.0) {
          const double y0 = std::sqrt(1.0 - x0 * x0);
          th[n++] = std::atan2(y0, x0);
          th[n++] = std::atan2(-y0, x0);
        }
      } else {
        double q[2];
        if (SolveQuadratic(BC1 / D, s / D, q) == 2) {
          for (int j = 0; j < 2; ++j) {
            if (std::fabs(q[j]) > 1.0) continue;
            const double y0 = std::sqrt(1.0 - q[j] * q[j]);
            th[n++] = std::atan2(y0, q[j]);
            th[n++] = std::atan2(-y0, q[j]);
          }
        }
      }
      break;
    }
  }

  return n;
}

// The left side of the second-degree equation as a Fourier sum
//   F[0] + F[1] cos + F[2] sin + F[3] cos 2th + F[4] sin 2th.
void TrigFourier(const double k[6], double F[5]) {
  F[0] = 0.5 * (k[0] + k[1]) + k[5];
  F[1] = 2.0 * k[3];
  F[2] = 2.0 * k[4];
  F[3] = 0.5 * (k[0] - k[1]);
  F[4] = k[2];
}

// The Fourier sum F at th, and its derivative in *slope.
double TrigValue(const double F[5], double th, double* slope) {
  const double c = std::cos(th), s = std::sin(th), c2 = (c - s) * (c + s), s2 = 2.0 * s * c;
  *slope = -F[1] * s + F[2] * c + 2.0 * (F[4] * c2 - F[3] * s2);
  return F[0] + F[1] * c + F[2] * s + F[3] * c2 + F[4] * s2;
}

// The zero of g between lo and hi, where g changes sign, from the start x between them:
// Newton steps while they stay in the shrinking bracket, halving otherwise, until the
// step falls to the rounding of x. Returns the point of least |g| seen; g(x, &slope).
template <class G>
double BracketZero(const G& g, double lo, double hi, double x) {
  double sl;
  const bool loNeg = g(lo, &sl) < 0.0;
  double best = x, gbest = INFINITY;
  for (int it = 0; it < 200; ++it) {
    const double gx = g(x, &sl);
    if (std::fabs(gx) < gbest) {
      best = x;
      gbest = std::fabs(gx);
    }
    if (gx == 0.0) break;
    if ((gx < 0.0) == loNeg) {
      lo = x;
    } else {
      hi = x;
    }
    double xn = x - gx / sl;
    if (!(xn >= std::fmin(lo, hi) && xn <= std::fmax(lo, hi))) xn = 0.5 * (lo + hi);
    if (std::fabs(xn - x) <= 1e-15 * (1.0 + std::fabs(x))) break;
    x = xn;
  }
  return best;
}

// The size of the rounding error in a value of the Fourier sum F: a value below it has no
// sign worth trusting.
double Rounding(const double F[5]) {
  return 1e-16 * (std::fabs(F[0]) + std::fabs(F[1]) + std::fabs(F[2]) + std::fabs(F[3]) + std::fabs(F[4]));
}

// Newton steps on the Fourier sum F from th while |F| exceeds its rounding error, each
// kept only when it lowers |F| (near a flat root a lower value of rounding noise would
// carry th away).
double NewtonTrig(const double F[5], double th) {
  const double noise = Rounding(F);
  double sl, v = TrigValue(F, th, &sl);
  for (int it = 0; it < 40 && std::fabs(v) > noise && std::fabs(sl) > 0.0; ++it) {
    double sl2;
    const double t2 = th - std::fmax(-0.5, std::fmin(0.5, v / sl));
    const double v2 = TrigValue(F, t2, &sl2);
    if (!(std::fabs(v2) < std::fabs(v))) break;
    th = t2;
    v = v2;
    sl = sl2;
  }
  return th;
}

// Sorted angles b[0..nb-1] that cut the circle into arcs [b[i], b[i+1]] (b[nb] = b[0] + 2 pi)
// on each of which F has at most one root, so that an arc whose ends differ in sign holds
// exactly one. With t = tan((th - alpha)/2), (1 + t^2)^2 F is a quartic p(t) with the same
// signs: the cuts are alpha + pi (t infinite) and the angles of the stationary points of p.
// Those are the real zeros of the cubic p', isolated between the zeros of the quadratic p''
// and the root bound of p'. alpha puts t = infinity at the largest |F| of eight angles,
// which keeps p's leading coefficient away from zero.
int MonotoneArcs(const double F[5], double b[8]) {
  double alpha = 0.0, fmax = -1.0, sl;
  for (int i = 0; i < 8; ++i) {
    const double v = std::fabs(TrigValue(F, i * kTwoPi / 8.0, &sl));
    if (v > fmax) {
      fmax = v;
      alpha = i * kTwoPi / 8.0 - kTwoPi / 2.0;
    }
  }
  // F about alpha, then p(t) = a[0] t^4 + ... + a[4]
  const double ca = std::cos(alpha), sa = std::sin(alpha), c2 = std::cos(2.0 * alpha), s2 = std::sin(2.0 * alpha);
  const double R0 = F[0], R1 = F[1] * ca + F[2] * sa, R2 = F[2] * ca - F[1] * sa;
  const double R3 = F[3] * c2 + F[4] * s2, R4 = F[4] * c2 - F[3] * s2;
  const double a[5] = {R0 - R1 + R3, 2.0 * R2 - 4.0 * R4, 2.0 * R0 - 6.0 * R3, 2.0 * R2 + 4.0 * R4, R0 + R1 + R3};
  if (!(std::fabs(a[0]) > 0.0)) return 0;
  auto dp = [&a](double t, double* ddp) {  // p'(t) and p''(t)
    *ddp = (12.0 * a[0] * t + 6.0 * a[1]) * t + 2.0 * a[2];
    return ((4.0 * a[0] * t + 3.0 * a[1]) * t + 2.0 * a[2]) * t + a[3];
  };
  // p' is monotone between its bound, the zeros of p'' and the vertex of p''
  const double B = 1.0 + std::fmax(std::fabs(3.0 * a[1]), std::fmax(std::fabs(2.0 * a[2]), std::fabs(a[3]))) /
                             std::fabs(4.0 * a[0]);
  const double hp = a[1] / (4.0 * a[0]), q = a[2] / (6.0 * a[0]), disc = hp * hp - q;  // p'' ~ t^2 + 2 hp t + q
  double tc[5] = {-B, B, -hp, 0.0, 0.0};
  int nc = 3;
  if (disc >= 0.0) {
    const double t1 = -hp - std::copysign(std::sqrt(disc), hp);  // the larger, the other from the product
    tc[nc++] = t1;
    if (t1 != 0.0) tc[nc++] = q / t1;
  }
  for (int i = 1; i < nc; ++i)  // increasing
    for (int j = i; j > 0 && tc[j - 1] > tc[j]; --j) std::swap(tc[j - 1], tc[j]);
  int nb = 0;
  b[nb++] = alpha + kTwoPi / 2.0;
  for (int i = 0; i + 1 < nc; ++i) {
    if (!(tc[i] >= -B && tc[i + 1] <= B)) continue;
    double d0, d1;
    const double g0 = dp(tc[i], &d0), g1 = dp(tc[i + 1], &d1);
    double t = tc[i];  // a zero on a cut itself (symmetric forms put one on the vertex)
    if ((g0 < 0.0 && g1 > 0.0) || (g0 > 0.0 && g1 < 0.0)) {
      t = BracketZero(dp, tc[i], tc[i + 1], 0.5 * (tc[i] + tc[i + 1]));
    } else if (g0 != 0.0) {
      continue;
    }
    if (nb < 7) b[nb++] = alpha + 2.0 * std::atan(t);
  }
  for (int i = 0; i < nb; ++i) b[i] = std::remainder(b[i], kTwoPi);
  for (int i = 1; i < nb; ++i)
    for (int j = i; j > 0 && b[j - 1] > b[j]; --j) std::swap(b[j - 1], b[j]);
  b[nb] = b[0] + kTwoPi;
  return nb;
}

}  // namespace

bool TRI2NotesSineOnly(double BC2, double BS2, double BCS, double BC1, double BS1, double BX) {
  // the tests by which TRI2 and its closed form reach the sine-only case
  if (!AllFinite({BC2, BS2, BCS, BC1, BS1, BX})) return false;
  const double D = BC2 - BS2;
  const double P = 4.0 * BCS * BCS + D * D;
  if (std::fabs(P) <= kZero || std::fabs(BC1) + std::fabs(BS1) <= kZero) return false;
  return std::fabs(BC1) + std::fabs(BCS) < kZero;
}

int TRI2(double BC2, double BS2, double BCS, double BC1, double BS1, double BX, double th[4],
         Notes* notes) {
  for (int i = 0; i < 4; ++i) th[i] = 0.0;
  // A coefficient that is not a number has no solution set worth reporting.
  if (!AllFinite({BC2, BS2, BCS, BC1, BS1, BX})) return 0;
  const int n0 = ClosedForm(BC2, BS2, BCS, BC1, BS1, BX, th, notes);

  // The closed form loses digits near |cos| = 1 and near double roots, and can lose roots
  // there (two close values of the quartic become a complex pair or leave [-1, 1]). Its
  // angles are therefore refined on f itself, scaled to a largest coefficient of 1, and
  // checked against the arcs on which f has at most one root. fTol bounds |f| at a
  // returned angle: the solvers' zero relative to the size of the terms of f.
  const double k[6] = {BC2, BS2, BCS, BC1, BS1, BX};
  double kmax = 0.0;
  for (double v : k) kmax = std::fmax(kmax, std::fabs(v));
  if (!(kmax > 0.0)) return 0;  // every angle solves 0 = 0: nothing to list
  double ks[6], F[5], b[8] = {0.0};
  for (int i = 0; i < 6; ++i) ks[i] = k[i] / kmax;
  TrigFourier(ks, F);
  const double fTol = kZero * (std::fabs(ks[0]) + std::fabs(ks[1]) + 2.0 * std::fabs(ks[2]) + 2.0 * std::fabs(ks[3]) +
                               2.0 * std::fabs(ks[4]) + std::fabs(ks[5]));
  const int nb = MonotoneArcs(F, b);
  auto f = [&F](double t, double* sl) { return TrigValue(F, t, sl); };
  auto unwrap = [&b](double t) { return t - kTwoPi * std::floor((t - b[0]) / kTwoPi); };
  auto arcOf = [&](double t) {  // the arc [b[a], b[a+1]] holding t
    const double u = unwrap(t);
    int a = 0;
    while (a + 1 < nb && b[a + 1] <= u) ++a;
    return a;
  };
  // Whether arc a holds a root: its ends differ in sign beyond rounding (an end where f is
  // zero to rounding is itself the only root of the arc, a touching one).
  const double noise = Rounding(F);
  auto holds = [&](int a) {
    if (nb == 0) return false;
    double s0, s1;
    const double v0 = f(b[a], &s0), v1 = f(b[a + 1], &s1);
    return (v0 < -noise && v1 > noise) || (v0 > noise && v1 < -noise);
  };
  auto isRoot = [&](double t) {
    double sl;
    return std::fabs(f(t, &sl)) <= fTol;
  };

  // Each closed-form angle is refined by Newton on f in th, bracketed by its arc where that
  // arc holds a root, and kept only if it is a root.
  int n = 0;
  for (int i = 0; i < n0; ++i) {
    double t = th[i];
    if (!std::isfinite(t)) continue;
    if (!holds(arcOf(t))) t = NewtonTrig(F, t);
    const int a = arcOf(t);
    if (holds(a)) t = BracketZero(f, b[a], b[a + 1], unwrap(t));
    if (isRoot(t)) th[n++] = std::remainder(t, kTwoPi);
  }
  // An arc that holds a root none of those angles found: the closed form lost it. It takes
  // a free place, else the place of a second angle on one arc or of an angle on an arc
  // without a sign change (a touching root, which four sign changes leave no room for).
  for (int a = 0; a < nb; ++a) {
    if (!holds(a)) continue;
    bool found = false;
    for (int j = 0; j < n && !found; ++j) found = arcOf(th[j]) == a;
    if (found) continue;
    const double r = BracketZero(f, b[a], b[a + 1], 0.5 * (b[a] + b[a + 1]));
    if (!isRoot(r)) continue;
    int slot = (n < 4) ? n++ : -1;
    for (int j = 0; j < 4 && slot < 0; ++j) {
      const int aj = arcOf(th[j]);
      bool spare = !holds(aj);
      for (int i = 0; i < j && !spare; ++i) spare = arcOf(th[i]) == aj;
      if (spare) slot = j;
    }
    if (slot >= 0) th[slot] = std::remainder(r, kTwoPi);
  }
  for (int i = n; i < 4; ++i) th[i] = 0.0;
  return n;
}

double TrigForm2(double A, double B, double C, double D, double E, double th) {
  const double c = std::cos(th), s = std::sin(th);
  return A * c * c + B * s * s + 2.0 * C * c * s + 2.0 * D * c + 2.0 * E * s;
}

namespace {

constexpr double kScanStep = kTri22ScanStep;

// The scan's points from -pi in steps of kScanStep, each the previous plus the step
// exactly as the scan adds it, with their cosines and sines: the scan reads them here
// until its first root moves it off this grid.
struct ScanGrid {
  static constexpr int kMax = 80;
  double th[kMax], c[kMax], s[kMax];
  int n = 0;
  ScanGrid() {
    double t = -kPiC;
    while (n < kMax && t <= kPiC) {
      th[n] = t;
      c[n] = std::cos(t);
      s[n] = std::sin(t);
      ++n;
      t = t + kScanStep;
    }
  }
};

double TrigFormCS(double A, double B, double C, double D, double E, double c, double s) {
  return A * c * c + B * s * s + 2.0 * C * c * s + 2.0 * D * c + 2.0 * E * s;
}

}  // namespace

int TRI22(double A, double B, double C, double D, double E, double* th, int maxRoots) {
  constexpr double kStep = kScanStep;
  constexpr double kTol = 1e-6;
  constexpr int kMaxSecant = 100;  // secant steps allowed for one bracketed root
  static const ScanGrid grid;
  int km = 0;
  if (maxRoots <= 0) return 0;
  // the value at the scan's next point: from the grid while the scan is on it
  int g = 0;  // index of th1 on the grid, -1 once off it
  auto at = [&](double t, int k) {
    return k >= 0 && k < grid.n && grid.th[k] == t ? TrigFormCS(A, B, C, D, E, grid.c[k], grid.s[k])
                                                   : TrigForm2(A, B, C, D, E, t);
  };

  // Where |f| is large the scan can stride: f changes by at most slope*d over a
  // distance d, so no scan point within (|f| - margin) / slope of th1 can differ in
  // sign from f(th1), and the scan would pass them all without a bracket. The margin,
  // far above the rounding of f, keeps the computed signs the true ones.
  const double slope = (std::sqrt((A - B) * (A - B) + 4.0 * C * C) + 2.0 * std::sqrt(D * D + E * E)) *
                       (1.0 + 1e-9);
  const double margin =
      1e-12 * (std::fabs(A) + std::fabs(B) + 2.0 * (std::fabs(C) + std::fabs(D) + std::fabs(E)));
  auto safeSteps = [&](double f) {
    const double room = (std::fabs(f) - margin) / slope / kStep * (1.0 - 1e-9);
    return room >= 2.0 && room < 1e9 ? static_cast<int>(room) : 0;
  };

  double th1 = -kPiC;
  double f1 = at(th1, g);
  if (std::fabs(f1) < kTol) {
    th[km++] = th1;
    th1 += kStep;
    f1 = at(th1, ++g);
  }
  // Every pass advances th1 by at least one step, so the scan ends after about 63 passes.
  while (km < maxRoots) {
    // Stride over the points that cannot bracket a root, adding the steps one by one
    // as the scan does, so that the point reached and its value are the scan's own.
    if (const int n = safeSteps(f1); n > 0) {
      double t = th1;
      int k = 0;
      while (k < n && t + kStep <= kPiC) t = t + kStep, ++k;
      if (k > 0) {
        th1 = t;
        g = g >= 0 ? g + k : -1;
        f1 = at(th1, g);
      }
    }
    const double th2 = th1 + kStep;
    if (!(th2 <= kPiC)) break;
    const int g2 = g >= 0 ? g + 1 : -1;
    const double f2 = at(th2, g2);
    if (!(f1 * f2 < 0.0)) {  // no sign change (or not a number): move on
      th1 = th2;
      f1 = f2;
      g = g2;
      continue;
    }
    // Secant from the bracket [th1, th2], keeping the better of the last two points.
    double a = th1, fa = f1, b = th2, fb = f2;
    bool found = false;
    double thx = a;
    for (int it = 0; it < kMaxSecant; ++it) {
      thx = a + (b - a) * (-fa) / (fb - fa);
      if (!std::isfinite(thx)) break;
      const double fx = TrigForm2(A, B, C, D, E, thx);
      if (std::fabs(fx) < kTol) {
        found = true;
        break;
      }
      if (std::fabs(fb) <= std::fabs(fa)) {
        a = thx;
        fa = fx;
      } else {
        b = thx;
        fb = fx;
      }
    }
    // Only a root inside the bracket is this bracket's root; one that the secant carried
    // elsewhere is either found by the scan in its own bracket or lies outside the range.
    if (found && thx >= th1 - 1e-9 && thx <= th2 + 1e-9) {
      th[km++] = thx;
      th1 = thx + kStep;
      f1 = TrigForm2(A, B, C, D, E, th1);
      g = -1;  // off the grid from here on
    } else {
      th1 = th2;
      f1 = f2;
      g = g2;
    }
  }
  return km;
}

int SolveQuadratic(double p, double q, double x[2]) {
  if (std::fabs(q) <= kZero) {
    x[0] = -2.0 * p;
    x[1] = 0.0;
    return 2;
  }
  const double disc = p * p - q;
  if (disc >= 0.0) {
    // The root of larger magnitude first, the other from the product q.
    const double x1 = (p > 0.0) ? -p - std::sqrt(disc) : -p + std::sqrt(disc);
    x[0] = x1;
    x[1] = q / x1;
    return 2;
  }
  x[0] = -p;
  x[1] = std::sqrt(-disc);
  return 0;
}

double CubeRoot(double x) {
  if (x == 0.0 || !std::isfinite(x)) return x;
  const double ax = std::fabs(x);
  double y = std::pow(ax, 1.0 / 3.0);
  y = (y + 3.0 * ax / (ax / y + 2.0 * y * y)) / 2.0;
  return (x < 0.0) ? -y : y;
}

namespace {

// Deflation of x^3 + a x^2 + b x + c by its root x[0]; the other two go to x[1..2].
int DeflateCubic(double a, double b, double c, double x[3]) {
  const double r = x[0];
  if (r == 0.0) return 1;  // cannot divide by it; keep what there is
  const double e = c / r + b;
  const double den = a * r + e;
  if (den == 0.0) return 1;
  const double k = r / den;
  return 1 + SolveQuadratic(e * k / 2.0, c * k, x + 1);
}

}  // namespace

int SolveCubic(double a, double b, double c, double x[3]) {
  if (std::fabs(c) <= kZero) {
    x[0] = 0.0;
    return 1 + SolveQuadratic(a / 2.0, b, x + 1);
  }
  // Reduced equation in y = x + s: y^3 + 3p y + 2q = 0.
  const double s = a / 3.0;
  double p = b / 3.0 - s * s;
  const double q = ((2.0 * s * s - b) * s + c) / 2.0;
  if (710000.0 * std::fabs(p) < s * s) p = 0.0;

  int n;
  if (s * s * std::fabs(s) > 710000.0 * std::fabs(q)) {
    x[0] = -s;
    if (3.0 * p > 0.0) {
      x[1] = -s;
      x[2] = std::sqrt(3.0 * p);
      n = 1;
    } else {
      const double r = std::sqrt(-3.0 * p);
      x[1] = -r - s;
      x[2] = r - s;
      n = 3;
    }
  } else {
    const double g = p * p * p / (q * q) + 1.0;
    if (std::fabs(g) < 1.4e-5) {  // double root
      const double t = CubeRoot(q);
      x[0] = t - s;
      x[1] = t - s;
      x[2] = -2.0 * t - s;
      n = 3;
    } else if (g <= 0.0) {  // three real roots
      const double phi = std::atan(std::sqrt(-g)) / 3.0;
      double r = std::sqrt(-p);
      if (q >= 0.0) r = -r;
      const double u = r * std::cos(phi);
      const double v = 1.732051 * r * std::sin(phi);
      x[0] = 2.0 * u - s;
      x[1] = -u - v - s;
      x[2] = -u + v - s;
      n = 3;
    } else {  // one real root and a complex pair
      const double t = CubeRoot((std::sqrt(g) + 1.0) * q);
      const double w = p / t;
      const double y = (p >= 0.0) ? -2.0 * q * t * t / ((t * t + p) * t * t + p * p) : w - t;
      x[0] = y - s;
      x[1] = -y / 2.0 - s;
      x[2] = 0.8660254 * std::fabs(w + t);
      n = 1;
    }
  }

  // Accuracy repair of roots that lost digits by cancellation.
  if (n == 1) {
    const double m2 = x[1] * x[1] + x[2] * x[2];
    if (m2 <= 0.01 * x[0] * x[0]) {
      n = DeflateCubic(a, b, c, x);
    } else if (m2 > x[0] * x[0]) {
      x[0] = -c / m2;
    }
  } else {
    const double eps = 0.05 * std::fabs(s);
    int small = 0;
    for (int i = 0; i < 3; ++i)
      if (std::fabs(x[i]) < eps) ++small;
    if (small == 1) {
      for (int i = 0; i < 3; ++i) {
        if (std::fabs(x[i]) < eps) {
          const double prod = x[(i + 1) % 3] * x[(i + 2) % 3];
          x[i] = -c / prod;
          break;
        }
      }
    } else if (small >= 2) {
      int big = 2;
      for (int i = 0; i < 3; ++i) {
        if (std::fabs(x[i]) >= eps) {
          big = i;
          break;
        }
      }
      x[0] = x[big];
      n = DeflateCubic(a, b, c, x);
    }
  }
  return n;
}

int SolveQuartic(double a, double b, double c, double d, double x[4]) {
  if (std::fabs(d) <= kZero) {
    x[0] = 0.0;
    return 1 + SolveCubic(a, b, c, x + 1);
  }

  // Resolvent cubic y^3 - b y^2 + B y + C = 0; y = h1 + h2 of the factorisation.
  const double B = a * c - 4.0 * d;
  const double C = 4.0 * b * d - c * c - a * a * d;
  const double m = b - a * a / 4.0;
  double yr[3];
  int ny = 0;
  double y = 0.0;
  if (std::fabs(C) <= kZero) {
    double z[2];
    yr[0] = 0.0;
    if (SolveQuadratic(-b / 2.0, B, z) == 2) {
      yr[1] = z[0];
      yr[2] = z[1];
      ny = 3;
    } else {
      ny = 1;
    }
  } else {
    const double s = b / 3.0;
    double p = B / 3.0 - s * s;
    const double q = ((B - 2.0 * s * s) * s + C) / 2.0;
    if (710000.0 * std::fabs(p) < s * s) p = 0.0;
    if (s * s * std::fabs(s) > 710000.0 * std::fabs(q)) {
      yr[0] = s;
      ny = 1;
      if (p < 0.0) {
        const double r = std::sqrt(-3.0 * p);
        yr[1] = s - r;
        yr[2] = s + r;
        ny = 3;
      }
    } else {
      double g = p * p * p / (q * q) + 1.0;
      if (std::fabs(g) < 1.4e-6) g = 0.0;
      if (g <= 0.0) {
        const double phi = std::atan(std::sqrt(-g)) / 3.0;
        double r = std::sqrt(-p);
        if (q >= 0.0) r = -r;
        const double u = r * std::cos(phi);
        const double v = 1.732051 * r * std::sin(phi);
        yr[0] = s + 2.0 * u;
        yr[1] = s - u - v;
        yr[2] = s - u + v;
        ny = 3;
      } else {
        const double t = CubeRoot((std::sqrt(g) + 1.0) * q);
        const double w = p / t;
        const double z = (p >= 0.0) ? -2.0 * q * t * t / ((t * t + p) * t * t + p * p) : w - t;
        double yy = z + s;
        const double re = s - z / 2.0;
        if (10.0 * std::fabs(yy) < std::fabs(s)) yy = -C / (0.75 * (w + t) * (w + t) + re * re);
        if (yy < m && g < 2.24e-5) yy = re;
        yr[0] = yy;
        ny = 1;
      }
    }
  }
  if (ny == 3) {
    double lo = yr[0], hi = yr[0];
    for (int i = 1; i < 3; ++i) {
      lo = std::fmin(lo, yr[i]);
      hi = std::fmax(hi, yr[i]);
    }
    y = (lo >= m && std::fabs(lo) < std::fabs(hi)) ? lo : hi;
  } else {
    y = yr[0];
  }

  // Split into (x^2 + g1 x + h1)(x^2 + g2 x + h2).
  double g1, g2, h1, h2;
  const double hy = y / 2.0;
  const double e = hy * hy - d;
  if (y == 0.0) {
    if (d < 0.0) {
      h1 = std::sqrt(-d);
      h2 = -h1;
    } else {
      h1 = h2 = 0.0;
    }
    if (b == 0.0) {
      if (a * c >= 0.0) {
        g1 = 0.0;
        g2 = a;
      } else {
        g1 = a;
        g2 = 0.0;
      }
    } else {
      const double g = a / 2.0;
      const double disc = g * g - b;
      if (disc < 0.0) {
        g1 = g2 = g;
      } else {
        const double t = (g >= 0.0) ? g + std::sqrt(disc) : g - std::sqrt(disc);
        if ((g >= 0.0 && c < 0.0) || (g < 0.0 && c >= 0.0)) {
          g1 = t;
          g2 = b / t;
        } else {
          g1 = b / t;
          g2 = t;
        }
      }
    }
  } else if (10000.0 * e >= hy * hy) {
    h1 = (y >= 0.0) ? hy + std::sqrt(e) : hy - std::sqrt(e);
    h2 = (h1 == 0.0) ? y : d / h1;
    g1 = (a * h1 - c) / (h1 - h2);
    g2 = (c - a * h2) / (h1 - h2);
  } else {
    const double k = b - y;
    const double gh = a / 2.0;
    const double f = std::fmax(gh * gh - k, 0.0);
    g1 = (gh >= 0.0) ? gh + std::sqrt(f) : gh - std::sqrt(f);
    g2 = (g1 == 0.0) ? a : k / g1;
    if (10000.0 * f < std::fabs(b) + std::fabs(y) + gh * gh) {
      const double se = std::sqrt(std::fmax(e, 0.0));
      h1 = (y >= 0.0) ? hy + se : hy - se;
      h2 = (h1 == 0.0) ? y : d / h1;
      if (std::fabs(h1 * g1 + g2 * h2 - c) <= std::fabs(h1 * g2 + g1 * h2 - c)) {
        const double tmp = g1;
        g1 = g2;
        g2 = tmp;
      }
    } else {
      h1 = (g1 * y - c) / (g1 - g2);
      h2 = (c - g2 * y) / (g1 - g2);
    }
  }

  // Real roots first, those of the first factor before those of the second.
  double r1[2], r2[2];
  const int n1 = SolveQuadratic(g1 / 2.0, h1, r1);
  const int n2 = SolveQuadratic(g2 / 2.0, h2, r2);
  int n = 0;
  for (int i = 0; i < n1; ++i) x[n++] = r1[i];
  for (int i = 0; i < n2; ++i) x[n++] = r2[i];
  // the rest holds a complex pair (real part, imaginary part) where there is one
  if (n1 == 0 && n < 4) {
    x[n++] = r1[0];
    x[n++] = r1[1];
  }
  if (n2 == 0 && n < 4) {
    x[n++] = r2[0];
    x[n++] = r2[1];
  }
  return n1 + n2;
}

double PolyRootPolish(int n, double x, const double* c) {
  constexpr double h = 1e-4;
  auto P = [n, c](double v) {
    double p = 1.0;
    for (int i = 0; i < n; ++i) p = p * v + c[i];
    return p;
  };
  double p0 = P(x);
  for (int it = 0; it < 10; ++it) {
    const double dp = P(x + h) - p0;
    if (dp == 0.0) break;
    double step = h * p0 / dp;
    if (step > 0.01) step = 0.01;
    if (step < -0.01) step = -0.01;
    x -= step;
    p0 = P(x);
    if (std::fabs(p0) <= kZero) break;
  }
  return x;
}

}  // namespace rg
