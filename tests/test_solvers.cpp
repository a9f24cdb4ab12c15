// Equation solvers: every returned root is checked against the equation it solves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "numerics/solve.h"
#include "support.h"

namespace {

constexpr double kPI = 3.141592653589793;

// Left side of the TRI2 equation.
double F2(double BC2, double BS2, double BCS, double BC1, double BS1, double BX, double th) {
  const double c = std::cos(th), s = std::sin(th);
  return BC2 * c * c + 2 * BCS * c * s + BS2 * s * s + 2 * BC1 * c + 2 * BS1 * s + BX;
}

// Distance between two angles on the circle.
double AngDist(double a, double b) {
  double d = std::fmod(std::fabs(a - b), 2 * kPI);
  return std::min(d, 2 * kPI - d);
}

bool Contains(const double* th, int n, double want, double tol = 1e-7) {
  for (int i = 0; i < n; ++i)
    if (AngDist(th[i], want) < tol) return true;
  return false;
}

double Poly(int n, const double* c, double x) {
  double p = 1.0;
  for (int i = 0; i < n; ++i) p = p * x + c[i];
  return p;
}

// ---------------------------------------------------------------- polynomial solvers

TEST(PolynomialRoots, QuadraticRealComplexAndZeroConstant) {
  double x[2];
  ASSERT_EQ(rg::SolveQuadratic(1, 1e-8, x), 2);  // |q| <= 1e-7: roots -2p and 0
  EXPECT_DOUBLE_EQ(x[0], -2.0);
  EXPECT_DOUBLE_EQ(x[1], 0.0);
  ASSERT_EQ(rg::SolveQuadratic(0, 1, x), 0);  // x^2 + 1: complex pair (0, 1)
  EXPECT_DOUBLE_EQ(x[0], 0.0);
  EXPECT_DOUBLE_EQ(x[1], 1.0);
  // x^2 - 2x*1e4 + 1: the small root must keep its digits (no cancellation).
  ASSERT_EQ(rg::SolveQuadratic(-1e4, 1.0, x), 2);
  const double small = std::min(std::fabs(x[0]), std::fabs(x[1]));
  EXPECT_NEAR(small, 1.0 / (1e4 + std::sqrt(1e8 - 1.0)), 1e-19);
  for (double v : x) EXPECT_NEAR(v * v - 2e4 * v + 1.0, 0.0, 1e-6);
}

TEST(PolynomialRoots, CubicThreeRealRoots) {
  double x[3];
  ASSERT_EQ(rg::SolveCubic(-6, 11, -6, x), 3);
  std::vector<double> r(x, x + 3);
  std::sort(r.begin(), r.end());
  EXPECT_NEAR(r[0], 1.0, 1e-9);
  EXPECT_NEAR(r[1], 2.0, 1e-9);
  EXPECT_NEAR(r[2], 3.0, 1e-9);
}

// The closed forms use the seven-digit constants 1.732051 and 0.8660254, so the cubic
// and quartic roots are good to about 1e-7 relative; TRI2 polishes its roots further.
TEST(PolynomialRoots, CubicOneRealRootAndPair) {
  // (x - 2)(x^2 + 2x + 5): pair -1 +- 2i
  double x[3];
  ASSERT_EQ(rg::SolveCubic(0, 1, -10, x), 1);
  EXPECT_NEAR(x[0], 2.0, 1e-7);
  EXPECT_NEAR(x[1], -1.0, 1e-7);
  EXPECT_NEAR(x[2], 2.0, 1e-7);
}

TEST(PolynomialRoots, CubicDoubleAndTripleRoots) {
  double x[3];
  // (x - 1)^2 (x + 2) = x^3 - 3x + 2
  ASSERT_EQ(rg::SolveCubic(0, -3, 2, x), 3);
  for (double v : x) EXPECT_NEAR(v * v * v - 3 * v + 2, 0.0, 1e-9);
  EXPECT_TRUE(Contains(x, 3, 1.0, 1e-6) && Contains(x, 3, -2.0, 1e-9));
  // (x + 1)^3: the reduced constant cancels exactly
  const int n = rg::SolveCubic(3, 3, 1, x);
  ASSERT_GE(n, 1);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], -1.0, 1e-6);
}

TEST(PolynomialRoots, CubicZeroConstantAndRootRepair) {
  double x[3];
  // x (x - 1)(x - 2): c = 0 gives the root 0 first
  ASSERT_EQ(rg::SolveCubic(-3, 2, 0, x), 3);
  EXPECT_EQ(x[0], 0.0);
  EXPECT_TRUE(Contains(x + 1, 2, 1.0, 1e-12) && Contains(x + 1, 2, 2.0, 1e-12));
  // (x - 1e-3)(x - 1)(x - 1000): widely spread roots, the small one kept accurate
  const double a = -(1e-3 + 1 + 1000), b = 1e-3 * 1 + 1e-3 * 1000 + 1000, c = -1e-3 * 1000;
  ASSERT_EQ(rg::SolveCubic(a, b, c, x), 3);
  // the root below 5% of |a|/3 is rebuilt from the product of the roots: full accuracy
  EXPECT_TRUE(Contains(x, 3, 1e-3, 1e-15));
  EXPECT_TRUE(Contains(x, 3, 1.0, 1e-6));
  EXPECT_TRUE(Contains(x, 3, 1000.0, 1e-3));
}

TEST(PolynomialRoots, QuarticFourTwoAndNoRealRoots) {
  double x[4];
  // (x-1)(x+1)(x-2)(x+3) = x^4 + x^3 - 7x^2 - x + 6
  ASSERT_EQ(rg::SolveQuartic(1, -7, -1, 6, x), 4);
  for (double r : {1.0, -1.0, 2.0, -3.0}) EXPECT_TRUE(Contains(x, 4, r, 1e-9)) << r;
  // (x^2 + 1)(x - 0.5)(x + 0.25) = x^4 + 0.25x^3 + 0.875x^2 + 0.25x - 0.125
  const int n = rg::SolveQuartic(-0.25, 0.875, -0.25, -0.125, x);
  ASSERT_EQ(n, 2);
  EXPECT_TRUE(Contains(x, 2, 0.5, 1e-9));
  EXPECT_TRUE(Contains(x, 2, -0.25, 1e-9));
  // (x^2 + 1)(x^2 + 4)
  EXPECT_EQ(rg::SolveQuartic(0, 5, 0, 4, x), 0);
}

TEST(PolynomialRoots, QuarticZeroConstantUsesTheCubic) {
  double x[4];
  // x (x - 1)(x - 2)(x - 3)
  ASSERT_EQ(rg::SolveQuartic(-6, 11, -6, 0, x), 4);
  EXPECT_EQ(x[0], 0.0);
  for (double r : {1.0, 2.0, 3.0}) EXPECT_TRUE(Contains(x + 1, 3, r, 1e-9));
  // x (x - 2)(x^2 + 1): one root from the cubic, so two in all
  ASSERT_EQ(rg::SolveQuartic(-2, 1, -2, 0, x), 2);
  EXPECT_EQ(x[0], 0.0);
  EXPECT_NEAR(x[1], 2.0, 1e-9);
}

TEST(PolynomialRoots, QuarticNearDoubleRoots) {
  double x[4];
  // (x - 0.5)^2 (x - 0.5 - 1e-5)(x + 0.7): three roots within 1e-5
  const double r1 = 0.5, r2 = 0.5, r3 = 0.5 + 1e-5, r4 = -0.7;
  const double a = -(r1 + r2 + r3 + r4);
  const double b = r1 * r2 + r1 * r3 + r1 * r4 + r2 * r3 + r2 * r4 + r3 * r4;
  const double c = -(r1 * r2 * r3 + r1 * r2 * r4 + r1 * r3 * r4 + r2 * r3 * r4);
  const double d = r1 * r2 * r3 * r4;
  const int n = rg::SolveQuartic(a, b, c, d, x);
  ASSERT_GE(n, 2);
  EXPECT_TRUE(Contains(x, n, -0.7, 1e-9));
  const double k[4] = {a, b, c, d};
  for (int i = 0; i < n; ++i) EXPECT_NEAR(Poly(4, k, x[i]), 0.0, 1e-12) << x[i];
  // two double roots: (x - 0.3)^2 (x + 0.9)^2 = (x^2 + 0.6x - 0.27)^2
  const double kk[4] = {1.2, 0.36 - 0.54, -2 * 0.6 * 0.27, 0.27 * 0.27};
  const int m = rg::SolveQuartic(kk[0], kk[1], kk[2], kk[3], x);
  for (int i = 0; i < m; ++i) EXPECT_NEAR(Poly(4, kk, x[i]), 0.0, 1e-10) << x[i];
  EXPECT_TRUE(m == 0 || Contains(x, m, 0.3, 1e-5) || Contains(x, m, -0.9, 1e-5));
}

TEST(PolynomialRoots, CubeRootAndPolish) {
  EXPECT_EQ(rg::CubeRoot(0.0), 0.0);
  EXPECT_NEAR(rg::CubeRoot(27.0), 3.0, 1e-14);
  EXPECT_NEAR(rg::CubeRoot(-8e-9), -2e-3, 1e-17);
  EXPECT_NEAR(rg::CubeRoot(1e300), 1e100, 1e86);
  // x^2 - 2 from 1.4: converges to sqrt(2) within the polish tolerance
  const double c2[2] = {0.0, -2.0};
  const double r = rg::PolyRootPolish(2, 1.4, c2);
  EXPECT_LE(std::fabs(r * r - 2.0), 1e-7);
  // every step is limited to 0.01, so ten steps move at most 0.1
  const double far = rg::PolyRootPolish(2, 10.0, c2);
  EXPECT_NEAR(far, 9.9, 1e-12);
}

// ---------------------------------------------------------------- TRI1

TEST(FirstDegreeTrig, BranchesAndTangency) {
  double th[2];
  EXPECT_EQ(rg::TRI1(1, 0, 2, th), 0);  // cos = -2
  ASSERT_EQ(rg::TRI1(0, 0, 0, th), 2);  // identity: (0, pi)
  EXPECT_EQ(th[0], 0.0);
  EXPECT_DOUBLE_EQ(th[1], kPI);
  EXPECT_EQ(rg::TRI1(0, 0, 1, th), 0);  // 1 = 0
  // 3 cos + 4 sin = 2.5
  ASSERT_EQ(rg::TRI1(3, 4, -2.5, th), 2);
  for (double t : th) EXPECT_NEAR(3 * std::cos(t) + 4 * std::sin(t) - 2.5, 0.0, 1e-12);
  EXPECT_GT(AngDist(th[0], th[1]), 0.1);
  // tangency just outside by less than 1e-7 is snapped onto the circle
  ASSERT_EQ(rg::TRI1(0, 1, 1.0 + 5e-8, th), 2);
  EXPECT_NEAR(th[0], -kPI / 2, 1e-12);
  EXPECT_NEAR(th[1], -kPI / 2, 1e-12);
}

// ---------------------------------------------------------------- TRI2 branches

TEST(SecondDegreeTrig, ConstantQuadraticPartFallsBackToFirstDegree) {
  double th[4];
  ASSERT_EQ(rg::TRI2(1, 1, 0, 0.5, 0, 0, th), 2);  // 1 + cos = 0
  EXPECT_NEAR(std::fabs(th[0]), kPI, 1e-12);
  EXPECT_NEAR(std::fabs(th[1]), kPI, 1e-12);
  // no first-degree terms either: zeros written, no root
  for (double& t : th) t = 9;
  EXPECT_EQ(rg::TRI2(2, 2, 0, 0, 0, -1, th), 0);
  for (double t : th) EXPECT_EQ(t, 0.0);
}

TEST(SecondDegreeTrig, PureQuadraticFormGivesFourAngles) {
  double th[4];
  ASSERT_EQ(rg::TRI2(1, 0, 0, 0, 0, -0.25, th), 4);  // cos^2 = 1/4
  for (double want : {kPI / 3, -kPI / 3, 2 * kPI / 3, -2 * kPI / 3}) EXPECT_TRUE(Contains(th, 4, want, 1e-12));
  // rotated form: cos^2 + 3 cos sin = 0.2 with a cross term
  const int n = rg::TRI2(1, 0, 1.5, 0, 0, -0.2, th);
  ASSERT_EQ(n, 4);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(F2(1, 0, 1.5, 0, 0, -0.2, th[i]), 0.0, 1e-12);
  // out of range: cos^2 = 2
  EXPECT_EQ(rg::TRI2(1, 0, 0, 0, 0, -2, th), 0);
}

TEST(SecondDegreeTrig, SineOnlyCasePrintsItsLineAndReturnsPairs) {
  rgtest::Capture cap;
  double th[4];
  // -sin^2... : (BS2 - BC2) y^2 + 2 BS1 y + BX + BC2 with BC2 = 1, BS2 = 0, BS1 = 0.25, BX = -1
  // -> -y^2 + 0.5 y = 0 -> sin = 0 or 0.5
  const int n = rg::TRI2(1, 0, 0, 0, 0.25, -1, th);
  EXPECT_NE(cap.text().find("\nfuncall() sin()だけの関数 BC1=  0.000e+00 BCS=  0.000e+00"), std::string::npos)
      << cap.text();
  ASSERT_EQ(n, 4);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(F2(1, 0, 0, 0, 0.25, -1, th[i]), 0.0, 1e-12);
  for (double want : {0.0, kPI, kPI / 6, 5 * kPI / 6}) EXPECT_TRUE(Contains(th, 4, want, 1e-12)) << want;
  // pairs are (t, pi - t): the second of each pair mirrors the first about pi/2
  EXPECT_NEAR(std::sin(th[0]), std::sin(th[1]), 1e-12);
  EXPECT_NEAR(std::sin(th[2]), std::sin(th[3]), 1e-12);
  // a negative sine gives -pi - t: cos^2 + sin - 0.75 = 0 -> sin = (1 - sqrt 2)/2
  ASSERT_EQ(rg::TRI2(1, 0, 0, 0, 0.5, -0.75, th), 2);
  EXPECT_NEAR(th[0], std::asin((1 - std::sqrt(2.0)) / 2), 1e-12);
  EXPECT_NEAR(th[1], -kPI - th[0], 1e-12);
}

TEST(SecondDegreeTrig, CosineOnlyCase) {
  double th[4];
  // 2 cos^2 - 2*0.5 cos - 1 = 0 with BS2 = 0: cos = 1 or -0.5
  rgtest::Capture cap;
  const int n = rg::TRI2(2, 0, 0, -0.5, 0, -1, th);
  EXPECT_EQ(cap.text().find("funcall()"), std::string::npos);
  ASSERT_EQ(n, 4);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(F2(2, 0, 0, -0.5, 0, -1, th[i]), 0.0, 1e-12);
  EXPECT_TRUE(Contains(th, 4, 0.0, 1e-12));
  EXPECT_TRUE(Contains(th, 4, 2 * kPI / 3, 1e-12));
  EXPECT_TRUE(Contains(th, 4, -2 * kPI / 3, 1e-12));
}

TEST(SecondDegreeTrig, ProductOfFirstDegreeFactors) {
  // (cos - 0.3)(sin - 0.4) = 0 has roots where cos = 0.3 or sin = 0.4.
  // cos sin - 0.4 cos - 0.3 sin + 0.12: BCS = 0.5, BC1 = -0.2, BS1 = -0.15, BX = 0.12
  double th[4];
  const int n = rg::TRI2(0, 0, 0.5, -0.2, -0.15, 0.12, th);
  ASSERT_EQ(n, 4);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(F2(0, 0, 0.5, -0.2, -0.15, 0.12, th[i]), 0.0, 1e-10);
  EXPECT_TRUE(Contains(th, n, std::acos(0.3), 1e-8));
  EXPECT_TRUE(Contains(th, n, -std::acos(0.3), 1e-8));
  EXPECT_TRUE(Contains(th, n, std::asin(0.4), 1e-8));
  EXPECT_TRUE(Contains(th, n, kPI - std::asin(0.4), 1e-8));
}

TEST(SecondDegreeTrig, FactoredCaseRebuildsTheSolutionSet) {
  // (cos - 0.5)(cos + 2 sin + 0.5) = cos^2 + 2 cos sin - 0.5 sin - 0.5 * ... expand:
  // cos^2 + 2 cos sin + 0.5 cos - 0.5 cos - sin - 0.25 = cos^2 + 2 cos sin - sin - 0.25
  // w = BCS x + BS1 = x - 0.5 vanishes at the root x = 0.5.
  double th[4];
  const int n = rg::TRI2(1, 0, 1, 0, -0.5, -0.25, th);
  ASSERT_GE(n, 3);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(F2(1, 0, 1, 0, -0.5, -0.25, th[i]), 0.0, 1e-8) << th[i];
  EXPECT_TRUE(Contains(th, n, kPI / 3, 1e-7));
  EXPECT_TRUE(Contains(th, n, -kPI / 3, 1e-7));
}

TEST(SecondDegreeTrig, RootsAtQuarterTurnsAreKept) {
  // Built so that theta = pi/2 is a root: BS2 + 2 BS1 + BX = 0 gives cos = 0 exactly
  // as a quartic root, with sin computed as exactly 1.
  const double BC2 = 1, BS2 = 0, BCS = 0.3, BC1 = 0.2, BS1 = 0.5, BX = -1;
  double th[4];
  const int n = rg::TRI2(BC2, BS2, BCS, BC1, BS1, BX, th);
  EXPECT_TRUE(Contains(th, n, kPI / 2, 1e-9));
  for (int i = 0; i < n; ++i) EXPECT_NEAR(F2(BC2, BS2, BCS, BC1, BS1, BX, th[i]), 0.0, 1e-8);
  // and theta = -pi/2 (BS2 - 2 BS1 + BX = 0)
  const int m = rg::TRI2(1, 0.5, 0.3, 0.2, 0.5, 0.5, th);
  EXPECT_TRUE(Contains(th, m, -kPI / 2, 1e-9));
}

TEST(SecondDegreeTrig, RootsNearCosPlusMinusOne) {
  // Roots at theta0 and -theta0 + small: equations built from two chosen roots near 0 and pi.
  for (double t0 : {1e-3, 1e-5, kPI - 1e-4, -kPI + 2e-6}) {
    // (cos - cos t0) * 1 + (sin - sin t0) * 0.7 = 0 has root t0; add a quadratic term that
    // vanishes at t0: 0.4 (cos - cos t0)(sin - sin t0)
    const double c0 = std::cos(t0), s0 = std::sin(t0);
    const double BCS = 0.2;
    const double BC1 = 0.5 - 0.2 * s0;  // 2BC1 = 1 - 0.4 s0
    const double BS1 = 0.35 - 0.2 * c0;
    const double BX = -c0 - 0.7 * s0 + 0.4 * c0 * s0;
    double th[4];
    const int n = rg::TRI2(0, 0, BCS, BC1, BS1, BX, th);
    EXPECT_TRUE(Contains(th, n, t0, 1e-7)) << t0;
    for (int i = 0; i < n; ++i) EXPECT_NEAR(F2(0, 0, BCS, BC1, BS1, BX, th[i]), 0.0, 1e-8) << t0;
    for (int i = 0; i < n; ++i) {
      EXPECT_GE(th[i], -kPI - 1e-12);
      EXPECT_LE(th[i], kPI + 1e-12);
    }
  }
}

// ---------------------------------------------------------------- TRI22

TEST(ScanTrig, SignChangesAndTouchingZero) {
  double th[8];
  ASSERT_EQ(rg::TRI22(0, 0, 0, 0.5, 0, th, 8), 2);  // cos = 0
  EXPECT_NEAR(th[0], -kPI / 2, 1e-6);
  EXPECT_NEAR(th[1], kPI / 2, 1e-6);
  EXPECT_EQ(rg::TRI22(1, 1, 0, 0, 0.5, th, 8), 0);  // 1 + sin touches zero without a sign change
  // a root on the very first scan point is recorded first: f = 2 sin vanishes at -pi
  const int n = rg::TRI22(0, 0, 0, 0, 1, th, 8);
  ASSERT_GE(n, 2);
  EXPECT_NEAR(th[0], -3.1415926536, 1e-12);
  EXPECT_TRUE(Contains(th, n, 0.0, 1e-6));
}

TEST(ScanTrig, RootsAreSortedAndSatisfyTheEquation) {
  double th[64];
  // cos^2 - 3 sin^2 + 2 cos sin ... with four roots
  const double A = 1, B = -3, C = 1, D = 0.1, E = -0.2;
  const int n = rg::TRI22(A, B, C, D, E, th);
  ASSERT_EQ(n, 4);
  for (int i = 0; i < n; ++i) {
    EXPECT_LT(std::fabs(rg::TrigForm2(A, B, C, D, E, th[i])), 1e-6);
    if (i > 0) {
      EXPECT_GT(th[i], th[i - 1]);
    }
  }
}

TEST(ScanTrig, UnreachableToleranceIsNotRecordedAndDoesNotHang) {
  // f = 2e12 cos: no double within the rounding of pi/2 gives |f| < 1e-6, so the secant
  // can never meet the tolerance; the bounded search gives up and records nothing.
  double th[8];
  EXPECT_EQ(rg::TRI22(0, 0, 0, 1e12, 0, th, 8), 0);
  // the same equation scaled to normal size does have its two roots
  EXPECT_EQ(rg::TRI22(0, 0, 0, 1, 0, th, 8), 2);
  // near the limit of resolution the secant creeps by rounding steps; it stops after its
  // step bound, and whatever it does record meets the tolerance
  for (double D : {3e8, 1e9, 1e10, 1e11}) {
    const int n = rg::TRI22(0.3 * D, -0.2 * D, 0.1 * D, D, 0.5 * D, th, 8);
    ASSERT_LE(n, 8);
    for (int i = 0; i < n; ++i) EXPECT_LT(std::fabs(rg::TrigForm2(0.3 * D, -0.2 * D, 0.1 * D, D, 0.5 * D, th[i])), 1e-6);
  }
}

TEST(ScanTrig, NeverWritesMoreThanAsked) {
  // f identically zero: every scan point would be a root candidate
  double th[4] = {7, 7, 7, 7};
  const int n = rg::TRI22(0, 0, 0, 0, 0, th, 1);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(th[1], 7.0);
  // cos(2 th) type equation with four roots, room for two
  double th2[3] = {7, 7, 7};
  EXPECT_EQ(rg::TRI22(1, -1, 0, 0, 0, th2, 2), 2);
  EXPECT_EQ(th2[2], 7.0);
  EXPECT_EQ(rg::TRI22(1, -1, 0, 0, 0, th2, 0), 0);
}

// ---------------------------------------------------------------- properties

// Every root TRI2 returns satisfies its equation to 1e-4 of the largest coefficient (the
// sine is taken from the equation divided by BCS cos + BS1, which amplifies the 1e-8
// polish tolerance when that factor is small), and
// every root a fine scan (20000 points, bisection) finds is among them to 1e-4 rad.
// Near-double roots are excluded: a coefficient set is skipped when the scan sees a
// local minimum of |f| below 1e-2 (relative to the largest coefficient) without a sign
// change, or two scan roots closer than 0.05 rad, or two whose cosines differ by less
// than 0.01 (the quartic in cos would then have a near-double root).
TEST(SolverProperties, TRI2FindsEveryScannedRootOfWellConditionedEquations) {
  std::mt19937 gen(12345);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int tested = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    double c[6];
    for (double& v : c) v = u(gen);
    if (trial % 5 == 0) c[2] = 0;  // some without the cross term
    if (trial % 7 == 0) c[4] = 0;
    const double scale = std::max({std::fabs(c[0]), std::fabs(c[1]), std::fabs(c[2]), std::fabs(c[3]),
                                   std::fabs(c[4]), std::fabs(c[5])});
    auto f = [&](double t) { return F2(c[0], c[1], c[2], c[3], c[4], c[5], t) / scale; };
    // fine scan with bisection refinement
    const int N = 20000;
    std::vector<double> roots;
    bool skip = false;
    double f0 = f(-kPI), f1 = f(-kPI + 2 * kPI / N);
    for (int i = 1; i <= N; ++i) {
      const double t = -kPI + 2 * kPI * i / N;
      const double f2 = f(t + 2 * kPI / N);
      if (f0 * f1 < 0) {
        double a = t - 2 * kPI / N, b = t, fa = f0;
        for (int k = 0; k < 60; ++k) {
          const double m = 0.5 * (a + b), fm = f(m);
          if (fa * fm <= 0) {
            b = m;
          } else {
            a = m;
            fa = fm;
          }
        }
        roots.push_back(0.5 * (a + b));
      }
      // a small local minimum of |f| without a sign change: a near-double root
      if (f0 * f1 > 0 && f1 * f2 > 0 && std::fabs(f1) <= std::fabs(f0) && std::fabs(f1) <= std::fabs(f2) &&
          std::fabs(f1) < 1e-2)
        skip = true;
      f0 = f1;
      f1 = f2;
    }
    for (size_t i = 0; i < roots.size() && !skip; ++i)
      for (size_t j = i + 1; j < roots.size(); ++j)
        if (AngDist(roots[i], roots[j]) < 0.05 || std::fabs(std::cos(roots[i]) - std::cos(roots[j])) < 0.01) {
          skip = true;
        }
    if (skip) continue;
    ++tested;
    double th[4];
    const int n = rg::TRI2(c[0], c[1], c[2], c[3], c[4], c[5], th);
    for (int i = 0; i < n; ++i) EXPECT_LT(std::fabs(f(th[i])), 1e-4) << "trial " << trial;
    for (double r : roots) EXPECT_TRUE(Contains(th, n, r, 1e-4)) << "trial " << trial << " missed " << r;
  }
  EXPECT_GT(tested, 1000);
}

TEST(SolverProperties, TRI22RootsSatisfyTheEquation) {
  std::mt19937 gen(777);
  std::uniform_real_distribution<double> u(-2.0, 2.0);
  for (int trial = 0; trial < 2000; ++trial) {
    const double A = u(gen), B = u(gen), C = u(gen), D = u(gen), E = u(gen);
    double th[64];
    const int n = rg::TRI22(A, B, C, D, E, th);
    ASSERT_LE(n, 64);
    for (int i = 0; i < n; ++i) {
      EXPECT_LT(std::fabs(rg::TrigForm2(A, B, C, D, E, th[i])), 1e-6);
      EXPECT_GE(th[i], -3.1415926536);
      EXPECT_LE(th[i], 3.1415926536);
    }
  }
}

// Random coefficients, including degenerate, huge, tiny and non-finite ones: no solver
// may crash, hang or report more roots than it has room for; TRI2 reports only finite
// angles in [-pi, pi].
TEST(SolverProperties, FuzzedCoefficientsNeverCrashOrHang) {
  std::mt19937 gen(2024);
  const double special[] = {0.0,
                            -0.0,
                            1.0,
                            -1.0,
                            1e-7,
                            -1e-7,
                            1e-300,
                            1e300,
                            -1e300,
                            1e154,
                            std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
  std::uniform_int_distribution<int> pick(0, 14);
  std::uniform_int_distribution<int> kind(0, 3);
  std::uniform_real_distribution<double> u(-10.0, 10.0);
  std::uniform_real_distribution<double> ex(-300.0, 300.0);
  auto draw = [&]() {
    switch (kind(gen)) {
      case 0: return special[pick(gen)];
      case 1: return u(gen) * std::pow(10.0, ex(gen));
      default: return u(gen);
    }
  };
  rgtest::Capture cap;  // the sine-only branch prints
  for (int trial = 0; trial < 4000; ++trial) {
    double c[6];
    for (double& v : c) v = draw();
    double th[4], th22[64], x[4];
    const int n = rg::TRI2(c[0], c[1], c[2], c[3], c[4], c[5], th);
    ASSERT_GE(n, 0);
    ASSERT_LE(n, 4);
    for (int i = 0; i < n; ++i) {
      ASSERT_TRUE(std::isfinite(th[i]));
      ASSERT_LE(std::fabs(th[i]), 3.1415926535898 + 1e-12);
    }
    const int m = rg::TRI22(c[0], c[1], c[2], c[3], c[4], th22, 64);
    ASSERT_GE(m, 0);
    ASSERT_LE(m, 64);
    int k = rg::TRI1(c[0], c[1], c[2], th);
    ASSERT_TRUE(k == 0 || k == 2);
    k = rg::SolveQuartic(c[0], c[1], c[2], c[3], x);
    ASSERT_GE(k, 0);
    ASSERT_LE(k, 4);
    k = rg::SolveCubic(c[0], c[1], c[2], x);
    ASSERT_TRUE(k == 1 || k == 3);
    k = rg::SolveQuadratic(c[0], c[1], x);
    ASSERT_TRUE(k == 0 || k == 2);
    (void)rg::CubeRoot(c[3]);
    (void)rg::PolyRootPolish(4, c[4], c);
    cap.clear();
  }
}

}  // namespace
