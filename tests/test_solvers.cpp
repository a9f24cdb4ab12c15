// Equation solvers: every returned root is checked against the equation it solves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "numerics/solve.h"
#include "support.h"

namespace {

constexpr double kPI = 3.141592653589793;

// Left side of the TRI2 equation, k = (BC2, BS2, BCS, BC1, BS1, BX).
double F2(const double* k, double th) {
  const double c = std::cos(th), s = std::sin(th);
  return k[0] * c * c + 2 * k[2] * c * s + k[1] * s * s + 2 * k[3] * c + 2 * k[4] * s + k[5];
}

// Distance between two angles on the circle.
double AngDist(double a, double b) { return std::fabs(std::remainder(a - b, 2 * kPI)); }

bool Contains(const double* th, int n, double want, double tol) {
  return std::any_of(th, th + n, [&](double t) { return AngDist(t, want) < tol; });
}

// ---------------------------------------------------------------- polynomial solvers

TEST(PolynomialRoots, Quadratic) {
  double x[2];
  ASSERT_EQ(rg::SolveQuadratic(1, 1e-8, x), 2);  // |q| <= 1e-7: roots -2p and 0
  EXPECT_TRUE(x[0] == -2.0 && x[1] == 0.0);
  ASSERT_EQ(rg::SolveQuadratic(0, 1, x), 0);  // x^2 + 1: complex pair (0, 1)
  EXPECT_TRUE(x[0] == 0.0 && x[1] == 1.0);
  ASSERT_EQ(rg::SolveQuadratic(-1e4, 1.0, x), 2);  // no cancellation in the small root
  for (double v : x) EXPECT_LT(std::fabs(v * v - 2e4 * v + 1.0), 1e-12 * std::max(1.0, v * v));
}

// The closed forms use seven-digit constants (1.732051, 0.8660254): roots are good to
// about 1e-7 relative. Expected and returned roots match both ways within
// tol * max(1, |root|), returned roots leave a residual below res (when given), and a
// zero constant term puts the root 0 first.
TEST(PolynomialRoots, CubicAndQuarticKnownRoots) {
  struct Case {
    const char* what;
    std::vector<double> k;
    int n;  // number of real roots, -1: not fixed by the construction
    std::vector<double> roots;
    double tol, res;
  };
  const Case cases[] = {
      {"1, 2, 3", {-6, 11, -6}, 3, {1, 2, 3}, 1e-9, 1e-9},
      {"2 and -1 +- 2i", {0, 1, -10}, 1, {2}, 1e-7, 0},
      {"double 1 and -2", {0, -3, 2}, 3, {1, -2}, 1e-6, 1e-9},
      {"triple -1", {3, 3, 1}, -1, {-1}, 1e-6, 0},
      {"0, 1, 2", {-3, 2, 0}, 3, {0, 1, 2}, 1e-12, 0},
      {"1e-3, 1, 1000", {-1001.001, 1001.001, -1}, 3, {1e-3, 1, 1000}, 1e-6, 0},
      {"1, -1, 2, -3", {1, -7, -1, 6}, 4, {1, -1, 2, -3}, 1e-9, 1e-9},
      {"0.5, -0.25 and +-i", {-0.25, 0.875, -0.25, -0.125}, 2, {0.5, -0.25}, 1e-9, 1e-12},
      {"+-i and +-2i", {0, 5, 0, 4}, 0, {}, 0, 0},
      {"0, 1, 2, 3", {-6, 11, -6, 0}, 4, {0, 1, 2, 3}, 1e-9, 0},
      {"0, 2 and +-i", {-2, 1, -2, 0}, 2, {0, 2}, 1e-9, 0},
      // near-double roots: (x - 0.5)^2 (x - 0.50001)(x + 0.7) with positions near the triple
      // root to 1e-4 and -0.7 pinned by the residual, and (x - 0.3)^2 (x + 0.9)^2
      {"three within 1e-5", {-0.80001, -0.299997, 0.4000045, -0.08750175}, -1, {0.5, -0.7}, 1e-4, 1e-12},
      {"two double roots", {1.2, -0.18, -0.324, 0.0729}, -1, {}, 0, 1e-10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<double>& k = c.k;
    double x[4];
    const int n = k.size() == 3 ? rg::SolveCubic(k[0], k[1], k[2], x) : rg::SolveQuartic(k[0], k[1], k[2], k[3], x);
    EXPECT_TRUE(c.n < 0 || n == c.n) << n;
    auto near = [&](double a, double r) { return std::fabs(a - r) <= c.tol * std::max(1.0, std::fabs(r)); };
    for (double r : c.roots) EXPECT_TRUE(std::any_of(x, x + n, [&](double a) { return near(a, r); })) << r;
    for (int i = 0; i < n && !c.roots.empty(); ++i)
      EXPECT_TRUE(std::any_of(c.roots.begin(), c.roots.end(), [&](double r) { return near(x[i], r); })) << x[i];
    for (int i = 0; i < n && c.res > 0; ++i) {
      double p = 1.0;
      for (double kk : k) p = p * x[i] + kk;
      EXPECT_NEAR(p, 0.0, c.res) << x[i];
    }
    EXPECT_TRUE(k.back() != 0.0 || x[0] == 0.0) << x[0];
  }
  double x[3];
  rg::SolveCubic(0, 1, -10, x);  // the complex pair follows as (real part, imaginary part)
  EXPECT_TRUE(std::fabs(x[1] + 1.0) < 1e-7 && std::fabs(x[2] - 2.0) < 1e-7) << x[1] << " " << x[2];
  rg::SolveCubic(-1001.001, 1001.001, -1, x);  // roots below 5% of |a|/3 are repaired: full accuracy
  EXPECT_TRUE(std::any_of(x, x + 3, [](double v) { return std::fabs(v - 1e-3) < 1e-15; }));
}

TEST(PolynomialRoots, CubeRootAndPolish) {
  EXPECT_EQ(rg::CubeRoot(0.0), 0.0);
  EXPECT_NEAR(rg::CubeRoot(27.0), 3.0, 1e-14);
  EXPECT_NEAR(rg::CubeRoot(-8e-9), -2e-3, 1e-17);
  EXPECT_NEAR(rg::CubeRoot(1e300), 1e100, 1e86);
  const double c2[2] = {0.0, -2.0};  // x^2 - 2
  const double r = rg::PolyRootPolish(2, 1.4, c2);
  EXPECT_LE(std::fabs(r * r - 2.0), 1e-7);
  EXPECT_NEAR(rg::PolyRootPolish(2, 10.0, c2), 9.9, 1e-12);  // ten steps of at most 0.01
}

// ---------------------------------------------------------------- trigonometric equations

TEST(FirstDegreeTrig, BranchesAndTangency) {
  double th[2];
  EXPECT_EQ(rg::TRI1(1, 0, 2, th), 0);  // cos = -2
  EXPECT_EQ(rg::TRI1(0, 0, 1, th), 0);  // 1 = 0
  ASSERT_EQ(rg::TRI1(0, 0, 0, th), 2);  // identity: (0, pi)
  EXPECT_TRUE(th[0] == 0.0 && std::fabs(th[1] - kPI) < 1e-15);
  ASSERT_EQ(rg::TRI1(3, 4, -2.5, th), 2);
  for (double t : th) EXPECT_NEAR(3 * std::cos(t) + 4 * std::sin(t) - 2.5, 0.0, 1e-12);
  EXPECT_GT(AngDist(th[0], th[1]), 0.1);
  ASSERT_EQ(rg::TRI1(0, 1, 1.0 + 5e-8, th), 2);  // outside by less than 1e-7: snapped onto the circle
  EXPECT_TRUE(AngDist(th[0], -kPI / 2) < 1e-12 && AngDist(th[1], -kPI / 2) < 1e-12);
}

// One case per TRI2 branch. Expected roots are found to tol, returned roots satisfy the
// equation to res and lie in [-pi, pi], unused slots are zeroed, and the sine-only branch
// (only it) prints its console line.
TEST(SecondDegreeTrig, BranchesFindTheirKnownRoots) {
  struct Case {
    const char* what;
    std::vector<double> k;  // BC2, BS2, BCS, BC1, BS1, BX
    int n;                  // -1: not fixed by the construction
    std::vector<double> roots;
    double tol, res;
    bool prints;
  };
  const double a3 = std::acos(0.3), s4 = std::asin(0.4), sn = std::asin((1 - std::sqrt(2.0)) / 2);
  std::vector<Case> cases = {
      {"first degree: 1 + cos", {1, 1, 0, 0.5, 0, 0}, 2, {kPI}, 1e-12, 1e-12, false},
      {"constant only", {2, 2, 0, 0, 0, -1}, 0, {}, 0, 0, false},
      {"cos^2 = 1/4", {1, 0, 0, 0, 0, -0.25}, 4, {kPI / 3, -kPI / 3, 2 * kPI / 3, -2 * kPI / 3}, 1e-12, 1e-12, false},
      {"rotated quadratic form", {1, 0, 1.5, 0, 0, -0.2}, 4, {}, 0, 1e-12, false},
      {"cos^2 = 2", {1, 0, 0, 0, 0, -2}, 0, {}, 0, 0, false},
      {"sine only: sin = 0, 0.5", {1, 0, 0, 0, 0.25, -1}, 4, {0, kPI, kPI / 6, 5 * kPI / 6}, 1e-12, 1e-12, true},
      {"sine only, negative: -pi - t", {1, 0, 0, 0, 0.5, -0.75}, 2, {sn, -kPI - sn}, 1e-12, 1e-12, true},
      {"cosine only: cos = 1, -0.5", {2, 0, 0, -0.5, 0, -1}, 4, {0, 2 * kPI / 3, -2 * kPI / 3}, 1e-12, 1e-12, false},
      {"(cos - 0.3)(sin - 0.4)", {0, 0, 0.5, -0.2, -0.15, 0.12}, 4, {a3, -a3, s4, kPI - s4}, 1e-8, 1e-10, false},
      // (cos - 0.5)(cos + 2 sin + 0.5): the factor BCS cos + BS1 vanishes at a root
      {"factored", {1, 0, 1, 0, -0.5, -0.25}, -1, {kPI / 3, -kPI / 3}, 1e-7, 1e-8, false},
      // BS2 +- 2 BS1 + BX = 0 puts a root at cos = 0 exactly
      {"root at pi/2", {1, 0, 0.3, 0.2, 0.5, -1}, -1, {kPI / 2}, 1e-9, 1e-8, false},
      {"root at -pi/2", {1, 0.5, 0.3, 0.2, 0.5, 0.5}, -1, {-kPI / 2}, 1e-9, 1e-8, false},
  };
  // roots near |cos| = 1: (c - c0) + 0.7 (s - s0) + 0.4 (c - c0)(s - s0) vanishes at t0
  for (double t0 : {1e-3, 1e-5, kPI - 1e-4, -kPI + 2e-6}) {
    const double c0 = std::cos(t0), s0 = std::sin(t0);
    cases.push_back({"near |cos| = 1", {0, 0, 0.2, 0.5 - 0.2 * s0, 0.35 - 0.2 * c0, -c0 - 0.7 * s0 + 0.4 * c0 * s0}, -1,
                     {t0}, 1e-7, 1e-8, false});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<double>& k = c.k;
    double th[4] = {9, 9, 9, 9};
    rg::Notes notes;
    const int n = rg::TRI2(k[0], k[1], k[2], k[3], k[4], k[5], th, &notes);
    // the equation in sin alone is noted with its BC1 and BCS, as the predicate says
    EXPECT_EQ(notes.size(), c.prints ? 1u : 0u);
    EXPECT_EQ(rg::TRI2NotesSineOnly(k[0], k[1], k[2], k[3], k[4], k[5]), c.prints);
    if (c.prints && !notes.empty()) {
      EXPECT_EQ(notes[0].kind, rg::Note::SineOnly);
    }
    EXPECT_TRUE(c.n < 0 || n == c.n) << n;
    for (double r : c.roots) EXPECT_TRUE(Contains(th, n, r, c.tol)) << r;
    for (int i = 0; i < n; ++i)
      EXPECT_TRUE(std::fabs(F2(k.data(), th[i])) < c.res && std::fabs(th[i]) <= kPI + 1e-12) << th[i];
    for (int i = n; i < 4; ++i) EXPECT_EQ(th[i], 0.0);
  }
}

TEST(ScanTrig, SignChangesFirstPointAndRoomForRoots) {
  double th[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  ASSERT_EQ(rg::TRI22(0, 0, 0, 0.5, 0, th, 8), 2);  // cos = 0
  EXPECT_TRUE(std::fabs(th[0] + kPI / 2) < 1e-6 && std::fabs(th[1] - kPI / 2) < 1e-6);
  EXPECT_EQ(rg::TRI22(1, 1, 0, 0, 0.5, th, 8), 0);  // 1 + sin touches zero without a sign change
  const int n = rg::TRI22(0, 0, 0, 0, 1, th, 8);  // 2 sin: the first scan point is a root
  ASSERT_GE(n, 2);
  EXPECT_NEAR(th[0], -3.1415926536, 1e-12);
  EXPECT_TRUE(Contains(th, n, 0.0, 1e-6));
  th[1] = th[2] = 7;
  EXPECT_EQ(rg::TRI22(0, 0, 0, 0, 0, th, 1), 1);  // identically zero: every point a candidate
  EXPECT_EQ(th[1], 7.0);
  EXPECT_EQ(rg::TRI22(1, -1, 0, 0, 0, th, 2), 2);  // cos 2th: four roots, room for two
  EXPECT_EQ(th[2], 7.0);
  EXPECT_EQ(rg::TRI22(1, -1, 0, 0, 0, th, 0), 0);
}

TEST(ScanTrig, UnreachableToleranceIsNotRecordedAndDoesNotHang) {
  // 2e12 cos: no double near pi/2 gives |f| < 1e-6, so the bounded secant records nothing
  double th[8];
  EXPECT_EQ(rg::TRI22(0, 0, 0, 1e12, 0, th, 8), 0);
  EXPECT_EQ(rg::TRI22(0, 0, 0, 1, 0, th, 8), 2);  // the same equation at normal size
  for (double D : {3e8, 1e9, 1e10, 1e11}) {  // near the limit of resolution
    const int n = rg::TRI22(0.3 * D, -0.2 * D, 0.1 * D, D, 0.5 * D, th, 8);
    ASSERT_LE(n, 8);
    for (int i = 0; i < n; ++i)
      EXPECT_LT(std::fabs(rg::TrigForm2(0.3 * D, -0.2 * D, 0.1 * D, D, 0.5 * D, th[i])), 1e-6);
  }
}

// The scan written out point by point: every 0.1 step from -pi (the steps added one
// by one), a sign change refined by the secant that keeps the better of its last two
// points, the next step 0.1 past a root found inside its bracket.
int PlainScan(double A, double B, double C, double D, double E, double* th, int maxRoots) {
  auto f = [&](double t) { return rg::TrigForm2(A, B, C, D, E, t); };
  const double pi = 3.1415926536;
  int km = 0;
  double th1 = -pi, f1 = f(th1);
  if (std::fabs(f1) < 1e-6 && maxRoots > 0) {
    th[km++] = th1;
    th1 += 0.1;
    f1 = f(th1);
  }
  while (km < maxRoots) {
    const double th2 = th1 + 0.1;
    if (!(th2 <= pi)) break;
    const double f2 = f(th2);
    if (!(f1 * f2 < 0.0)) {
      th1 = th2;
      f1 = f2;
      continue;
    }
    double a = th1, fa = f1, b = th2, fb = f2, x = a;
    bool found = false;
    for (int it = 0; it < 100; ++it) {
      x = a + (b - a) * (-fa) / (fb - fa);
      if (!std::isfinite(x)) break;
      const double fx = f(x);
      if (std::fabs(fx) < 1e-6) {
        found = true;
        break;
      }
      if (std::fabs(fb) <= std::fabs(fa)) {
        a = x;
        fa = fx;
      } else {
        b = x;
        fb = fx;
      }
    }
    if (found && x >= th1 - 1e-9 && x <= th2 + 1e-9) {
      th[km++] = x;
      th1 = x + 0.1;
      f1 = f(th1);
    } else {
      th1 = th2;
      f1 = f2;
    }
  }
  return km;
}

// TRI22 strides over stretches where |f| is too large to change sign; it must find
// exactly the roots, to the last bit, that the scan of every point finds. The sets
// mix an offset with oscillations of very different size, so that long stretches
// without a root come before and after roots in narrow dips.
TEST(ScanTrig, StridingFindsTheRootsOfThePointByPointScanBitForBit) {
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int withRoots = 0;
  for (int i = 0; i < 20000; ++i) {
    const double big = std::pow(10.0, 4.0 * std::fabs(u(rng)));  // 1 .. 1e4
    const double A = u(rng) * big, B = u(rng) * big, C = u(rng) * (i % 3 == 0 ? 0.0 : big);
    const double D = u(rng) * big * (i % 5 == 0 ? 1e-3 : 1.0), E = u(rng) * big;
    double got[16], want[16];
    const int n = rg::TRI22(A, B, C, D, E, got, 16);
    const int m = PlainScan(A, B, C, D, E, want, 16);
    ASSERT_EQ(n, m) << "coefficients " << A << " " << B << " " << C << " " << D << " " << E;
    for (int k = 0; k < n; ++k) ASSERT_EQ(got[k], want[k]) << "root " << k;
    withRoots += n > 0;
  }
  EXPECT_GT(withRoots, 5000);  // the sets are not all rootless
}

// ---------------------------------------------------------------- properties

// Random coefficient sets. Every TRI22 root satisfies its equation to 1e-6, in increasing
// order. TRI2 against a scan of f at 20000 points whose sign changes are refined by
// bisection: every scanned root is returned to 1e-9, and every returned angle satisfies
// the equation to 1e-7 of the size S of its terms. Half the sets are uniform (some
// without the cross term or sin term, some scaled down to where the solver's absolute
// tolerances matter); the other half are products of (cos(th - p) - cos d) factors with
// roots p +- d placed where the quartic in cos loses them: a pair close to |cos| = 1, two
// roots sharing a cosine, or two roots 2e-3 to 0.2 apart. All roots the scan resolves are
// far apart compared with the close pairs that TRI2 may merge.
TEST(SolverProperties, RootsSatisfyTheEquationAndTRI2FindsEveryScannedRoot) {
  std::mt19937 gen(12345);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  constexpr int N = 20000;
  constexpr double h = 2 * kPI / N;
  int scanned = 0, missed = 0;
  for (int trial = 0; trial < 800; ++trial) {
    double c[6], th[4], th22[64];
    if (trial % 2 == 0) {
      for (double& v : c) v = u(gen);
      if (trial % 10 == 0) c[2] = 0;  // some without the cross term
      if (trial % 14 == 0) c[4] = 0;
      if (trial % 16 == 2 || trial % 16 == 4) {  // sine or cosine form, scaled down
        c[2] = c[trial % 16 == 2 ? 3 : 4] = 0;
        for (double& v : c) v *= 1e-4;
      }
    } else {
      const int kind = (trial / 2) % 3;
      const double sgn = u(gen) < 0 ? -1.0 : 1.0, small = std::pow(10.0, -3.0 + 2.0 * std::fabs(u(gen)));
      const double p[2] = {kind == 0 ? (sgn < 0 ? kPI : 0.0) : kind == 1 ? 0.01 * small * sgn : kPI * u(gen),
                           kPI * u(gen)};
      const double cd[2] = {std::cos(kind == 1 ? 0.3 + 2.5 * std::fabs(u(gen)) : small), 1.2 * u(gen)};
      const double a1 = std::cos(p[0]), b1 = std::sin(p[0]), a2 = std::cos(p[1]), b2 = std::sin(p[1]);
      const double t = 0.5 * u(gen), scale = std::pow(10.0, 2.0 * u(gen));  // cos^2 + sin^2 = 1 shifts the form
      const double k[6] = {a1 * a2 + t, b1 * b2 + t, (a1 * b2 + a2 * b1) / 2, -(a1 * cd[1] + a2 * cd[0]) / 2,
                           -(b1 * cd[1] + b2 * cd[0]) / 2, cd[0] * cd[1] - t};
      for (int i = 0; i < 6; ++i) c[i] = scale * k[i];
    }
    const double S = std::fabs(c[0]) + std::fabs(c[1]) + 2 * (std::fabs(c[2]) + std::fabs(c[3]) + std::fabs(c[4])) +
                     std::fabs(c[5]);
    const int m = rg::TRI22(c[0], c[1], c[2], c[3], c[4], th22);
    for (int i = 0; i < m; ++i)
      EXPECT_TRUE(std::fabs(rg::TrigForm2(c[0], c[1], c[2], c[3], c[4], th22[i])) < 1e-6 && th22[i] <= 3.1415926536 &&
                  th22[i] >= (i > 0 ? th22[i - 1] + 1e-9 : -3.1415926536))
          << "trial " << trial << " TRI22 root " << th22[i];

    const int n = rg::TRI2(c[0], c[1], c[2], c[3], c[4], c[5], th);
    for (int i = 0; i < n; ++i) EXPECT_LE(std::fabs(F2(c, th[i])), 1e-7 * S) << "trial " << trial << " angle " << th[i];
    double a = -kPI, fa = F2(c, a);
    for (int i = 1; i <= N; ++i) {
      double b = -kPI + h * i;
      const double fb = F2(c, b);
      if (fa * fb < 0) {  // bisect [a, b] down to adjacent doubles
        double lo = a, hi = b;
        for (double mid = 0.5 * (lo + hi); mid > lo && mid < hi; mid = 0.5 * (lo + hi)) (F2(c, mid) * fa > 0 ? lo : hi) = mid;
        ++scanned;
        if (!Contains(th, n, 0.5 * (lo + hi), 1e-9) && ++missed <= 10)
          ADD_FAILURE() << "trial " << trial << " missed " << 0.5 * (lo + hi);
      }
      a = b;
      fa = fb;
    }
  }
  EXPECT_EQ(missed, 0) << "of " << scanned;
  EXPECT_GT(scanned, 2000);
}

// Degenerate, huge, tiny and non-finite coefficients: no solver crashes, hangs or reports
// more roots than it has room for; TRI2 reports only finite angles in [-pi, pi].
TEST(SolverProperties, FuzzedCoefficientsNeverCrashOrHang) {
  using Lim = std::numeric_limits<double>;
  const double extreme[] = {0.0, -0.0, 1.0, -1.0, 1e-7, -1e-7, 1e300, -1e300, 1e-300, 1e154, Lim::denorm_min(),
                            Lim::max(), INFINITY, -INFINITY, NAN};
  std::mt19937 gen(2024);
  std::uniform_int_distribution<int> pick(0, 14), kind(0, 3);
  std::uniform_real_distribution<double> u(-10.0, 10.0), ex(-300.0, 300.0);
  for (int trial = 0; trial < 1000; ++trial) {
    double c[6], th[4], th22[64], x[4];
    for (double& v : c) {
      const int k = kind(gen);
      v = k == 0 ? extreme[pick(gen)] : k == 1 ? u(gen) * std::pow(10.0, ex(gen)) : u(gen);
    }
    rg::Notes notes;
    const int n = rg::TRI2(c[0], c[1], c[2], c[3], c[4], c[5], th, &notes);
    ASSERT_TRUE(n >= 0 && n <= 4);
    ASSERT_EQ(rg::TRI2NotesSineOnly(c[0], c[1], c[2], c[3], c[4], c[5]), !notes.empty()) << trial;
    for (int i = 0; i < n; ++i) ASSERT_LE(std::fabs(th[i]), 3.1415926535898 + 1e-12);  // false for NaN
    const int m = rg::TRI22(c[0], c[1], c[2], c[3], c[4], th22, 64);
    ASSERT_TRUE(m >= 0 && m <= 64);
    const int k1 = rg::TRI1(c[0], c[1], c[2], th), k4 = rg::SolveQuartic(c[0], c[1], c[2], c[3], x);
    const int k3 = rg::SolveCubic(c[0], c[1], c[2], x), k2 = rg::SolveQuadratic(c[0], c[1], x);
    ASSERT_TRUE((k1 == 0 || k1 == 2) && k4 >= 0 && k4 <= 4 && (k3 == 1 || k3 == 3) && (k2 == 0 || k2 == 2)) << trial;
    (void)rg::CubeRoot(c[3]);
    (void)rg::PolyRootPolish(4, c[4], c);
  }
}

}  // namespace
