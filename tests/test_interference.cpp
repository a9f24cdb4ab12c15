// Interference checks: verdicts on built scenes and against brute-force geometry.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "hand/hand.h"
#include "interference/interference.h"
#include "numerics/vecmat.h"
#include "support.h"

namespace {

using rg::catalogue::aCyl;
using rg::catalogue::aFin;
using rg::catalogue::hCyl;

constexpr double kPI = 3.141592653589793;

// The solid work cylinder at base r, axes E (the catalogue's size unless given).
rg::CylinderSolid Solid(const double r[3], const double E[3][3], double h = hCyl, double a = aCyl) {
  rg::CylinderSolid w;
  rg::VecCopy(r, w.r);
  rg::MatCopy(E, w.E);
  w.h = h;
  w.a = a;
  return w;
}
constexpr double kAny = std::numeric_limits<double>::quiet_NaN();  // value not checked

// A right-handed frame whose z axis is along dir.
void FrameAlong(const double dir[3], double E[3][3]) {
  double ez[3], ex[3], ey[3];
  rg::VecUnit(dir, ez);
  const double t[3] = {std::fabs(ez[0]) > 0.9 ? 0.0 : 1.0, std::fabs(ez[0]) > 0.9 ? 1.0 : 0.0, 0.0};
  rg::VecCross(t, ez, ex);
  rg::VecUnit(ex, ex);
  rg::VecCross(ez, ex, ey);
  for (int i = 0; i < 3; ++i) {
    E[i][0] = ex[i];
    E[i][1] = ey[i];
    E[i][2] = ez[i];
  }
}

void ExpectNear(double got, double want, double tol) {  // unless want is kAny
  if (!std::isnan(want)) {
    EXPECT_NEAR(got, want, tol);
  }
}

// Coordinates of the point P in the frame (r, E).
void ToLocal(const double P[3], const double r[3], const double E[3][3], double l[3]) {
  double rel[3];
  rg::VecSub(P, r, rel);
  rg::MatTVec(E, rel, l);
}

// Depth of P inside the work cylinder (base r, frame E); positive inside.
double Depth(const double P[3], const double r[3], const double E[3][3]) {
  double l[3];
  ToLocal(P, r, E, l);
  return std::fmin(std::fmin(l[2], rg::catalogue::hCyl - l[2]),
                   rg::catalogue::aCyl - std::hypot(l[0], l[1]));
}

// ================================================================ cylinder primitives

// Link side (length 80, radius 12 along +z) against another side. Unless the axes meet,
// p1 and p2 lie on the two side surfaces, |d| apart.
TEST(CylinderSides, CrossingParallelAndBeyondTheEnds) {
  struct Case {
    const char* what;
    double r2[3], dir[3], L2, a2;
    const char* want;  // verdict and the two feature letters, '-' not checked
    double d, t1, t2;
  };
  const Case cases[] = {
      {"crossing at mid-length", {-100, 0, 40}, {1, 0, 0}, 200, 60, "CII", -72, 40, 100},
      {"clear crossing", {-100, 100, 40}, {1, 0, 0}, 200, 60, "F--", 28, kAny, kAny},
      {"crossing above the far end", {-100, 0, 120}, {1, 0, 0}, 200, 60, "NUI", kAny, kAny, kAny},
      {"ending short of axis 1", {-100, 0, 40}, {1, 0, 0}, 90, 60, "N-U", kAny, kAny, kAny},
      {"axis along y is not parallel", {30, -50, 20}, {0, 1, 0}, 100, 20, "CII", -2, 20, 50},
      {"parallel, lengths overlap", {50, 0, -50}, {0, 0, 1}, 100, 60, "CII", -22, kAny, kAny},
      {"parallel, beyond the far end", {50, 0, 90}, {0, 0, 1}, 100, 60, "NU-", kAny, kAny, kAny},
      {"parallel, pointing down", {50, 0, 60}, {0, 0, -1}, 100, 60, "CII", kAny, kAny, kAny},
      {"parallel, radially apart", {0, 80, 0}, {0, 0, 1}, 100, 60, "F--", 8, kAny, kAny},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    double E2[3][3], d, t1, t2, p1[3], p2[3], n[3], l2[3], gap[3];
    char sgn[2];
    FrameAlong(c.dir, E2);
    const char v = rg::CylCylColl(80, 12, c.r2, E2, c.L2, c.a2, &d, &t1, &t2, p1, p2, n, sgn);
    const std::string got = {v, sgn[0], sgn[1]};
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(c.want[i] == '-' || c.want[i] == got[i]) << got;
    ExpectNear(d, c.d, 1e-12);
    ExpectNear(t1, c.t1, 1e-12);
    ExpectNear(t2, c.t2, 1e-12);
    if (d < 1e-9 - 12 - c.a2) continue;  // the axes meet: no common normal
    ToLocal(p2, c.r2, E2, l2);
    rg::VecSub(p2, p1, gap);
    EXPECT_NEAR(std::hypot(p1[0], p1[1]), 12.0, 1e-9);
    EXPECT_NEAR(std::hypot(l2[0], l2[1]), c.a2, 1e-9);
    EXPECT_NEAR(rg::VecNorm(gap), std::fabs(d), 1e-9);
  }
}

// Link side (80, 12) against a circle (centre rc, normal nc, radius ac). The nearest point
// q lies on the circle, p on the side level with it. d = +-inf: only its sign checked.
TEST(CylinderAgainstCircle, SideDiscAndEndCases) {
  struct Case {
    const char* what;
    double rc[3], nc[3], ac;
    char verdict;
    double d;
  };
  const Case cases[] = {
      {"circle across the side", {70, 0, 40}, {0, 0, 1}, 60, 'C', -2},
      {"circle clear of the side", {80, 0, 40}, {0, 0, 1}, 60, 'F', 8},
      {"disc around the link", {5, 0, 40}, {0, 0, 1}, 60, 'C', 43},
      {"tilted disc pierced by the link", {5, 0, 40}, {0.766, 0, 0.643}, 60, 'C', INFINITY},
      {"pierced plane above the far end", {5, 0, 500}, {0, 0, 1}, 60, 'U', kAny},
      {"pierced plane below the base", {5, 0, -300}, {0, 0, 1}, 60, 'L', kAny},
      {"cutting the axis above the far end", {65, 0, 120}, {0, 0, 1}, 60, 'U', -INFINITY},
      {"cutting the axis below the base", {65, 0, -10}, {0, 0, 1}, 60, 'L', kAny},
      {"far circle", {5000, 0, 40}, {0, -0.3, 1}, 60, 'F', 5000 - 60 - 12},
      // centred on the axis: no stationary point, every point equally far
      {"centred, inside the link", {0, 0, 40}, {0, 0, 1}, 5, 'C', -7},
      {"centred, around the link", {0, 0, 40}, {0, 0, 1}, 60, 'C', 48},
      {"centred small, above", {0, 0, 500}, {0, 0, 1}, 5, 'U', kAny},
      {"centred large, above", {0, 0, 500}, {0, 0, 1}, 60, 'U', kAny},
      {"centred large, below", {0, 0, -1}, {0, 0, 1}, 60, 'L', kAny},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    double Ec[3][3], d, t, p[3], q[3], l[3];
    FrameAlong(c.nc, Ec);
    EXPECT_EQ(rg::CylCirCollisionm(80, 12, c.rc, Ec, c.ac, &d, &t, p, q), c.verdict);
    EXPECT_TRUE(!std::isinf(c.d) || (d > 0) == (c.d > 0)) << d;
    ExpectNear(d, std::isinf(c.d) ? kAny : c.d, 1e-9 * std::fmax(1.0, std::fabs(c.d)));
    ToLocal(q, c.rc, Ec, l);
    EXPECT_NEAR(l[2], 0.0, 1e-9);
    EXPECT_NEAR(std::hypot(l[0], l[1]), c.ac, 1e-9);
    EXPECT_NEAR(std::hypot(p[0], p[1]), 12.0, 1e-9);
    EXPECT_NEAR(p[2], q[2], 1e-9);
  }
}

// Random circles against the link side (80, 12): no point of the circle, sampled every
// 0.5 deg, lies nearer to the link axis than q. Two circles in three lie nearly across
// the axis or nearly along it, where the stationary points sit near |cos| = 1 or share
// a cosine.
TEST(CylinderAgainstCircle, NearestPointMatchesTheSampledCircle) {
  std::mt19937 gen(2718);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int compared = 0, wrong = 0;
  for (int trial = 0; trial < 10000; ++trial) {
    double rc[3] = {100 * u(gen), 100 * u(gen), 60 + 60 * u(gen)}, nc[3] = {u(gen), u(gen), u(gen)};
    const double ac = 12 + 48 * std::fabs(u(gen));
    if (trial % 3 == 1) nc[0] *= 0.01, nc[1] *= 0.01;  // nearly across the axis
    if (trial % 3 == 2) nc[2] *= 0.01;                 // nearly along it
    if (rg::VecNorm(nc) < 0.05) continue;
    double Ec[3][3], d, t, p[3], q[3], nearest = INFINITY;
    FrameAlong(nc, Ec);
    rg::CylCirCollisionm(80, 12, rc, Ec, ac, &d, &t, p, q);
    for (int k = 0; k < 720; ++k) {
      const double c = std::cos(kPI * k / 360), s = std::sin(kPI * k / 360);
      nearest = std::fmin(nearest, std::hypot(rc[0] + ac * (c * Ec[0][0] + s * Ec[0][1]),
                                              rc[1] + ac * (c * Ec[1][0] + s * Ec[1][1])));
    }
    ++compared;
    if (std::hypot(q[0], q[1]) > nearest + 1e-9 && ++wrong <= 5)
      ADD_FAILURE() << "trial " << trial << ": " << std::hypot(q[0], q[1]) << " from the axis, a sample " << nearest;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(compared, 9000);
}

// Circle of radius 12 in z = 0 about the origin against circle 2 (radius 60). The point q
// lies in that plane, d from the origin, and in disc 2.
TEST(CircleAgainstCircle, PlaneCutsChordsAndCoplanarCircles) {
  struct Case {
    const char* what;
    double r2[3], n2[3];
    char verdict;
    double d;
  };
  const Case cases[] = {
      {"parallel planes", {0, 0, 5}, {0, 0, 1}, 'F', kAny},
      {"upright, reaching in", {70, 0, 0}, {0, 1, 0}, 'C', 10},
      {"upright, missing", {80, 0, 0}, {0, 1, 0}, 'F', 20},
      {"short chord nearer than its ends", {0, 30, 59}, {0, 1, 0}, 'F', 30},
      {"not reaching the plane", {0, 0, 61}, {0, 1, 0}, 'F', kAny},
      {"chord through the disc, ends outside", {0, 30, 0}, {1, 0, 0}, 'C', 0},
      {"coplanar, overlapping", {20, 0, 0}, {0, 0, 1}, 'C', 0},
      {"coplanar, apart", {100, 0, 0}, {0, 0, 1}, 'F', 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    double E2[3][3], q[3], d, l[3];
    FrameAlong(c.n2, E2);
    EXPECT_EQ(rg::CirCirCollisionm(12, c.r2, E2, 60, q, &d), c.verdict);
    if (std::isnan(c.d)) continue;
    ToLocal(q, c.r2, E2, l);
    EXPECT_NEAR(d, c.d, 1e-7);
    EXPECT_NEAR(q[2], 0.0, 1e-12);
    EXPECT_NEAR(rg::VecNorm(q), d, 1e-9);
    EXPECT_TRUE(std::fabs(l[2]) < 1e-9 && std::hypot(l[0], l[1]) <= 60 + 1e-9);
  }
}

// Every reported point lies on both curves, and their number is the count of crossings
// of a fine walk round the circle (near-tangent cases skipped).
TEST(EllipseAndCircle, IntersectionPointsLieOnBothCurves) {
  std::mt19937 gen(99);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  constexpr int N = 20000;
  int withPoints = 0;
  for (int trial = 0; trial < 150; ++trial) {
    const double a = 60, b = 60 / (0.05 + 0.95 * std::fabs(u(gen))), rr = 35;
    const double Xp = 80 * u(gen), Zp = (trial % 10 == 0) ? 0.0 : 120 * u(gen);  // some centred on the axis
    double pts[4][2], s[N + 2];
    const int n = rg::EllipseCircleCPnt(a, b, Xp, Zp, rr, pts);
    ASSERT_LE(n, 4);
    for (int i = 0; i < n; ++i) {
      const double X = a * pts[i][0], Z = a * pts[i][1];
      EXPECT_NEAR(X * X / (a * a) + Z * Z / (b * b), 1.0, 1e-6);
      EXPECT_NEAR(std::hypot(X - Xp, Z - Zp), rr, 1e-4);
    }
    for (int k = 0; k < N + 2; ++k) {
      const double X = Xp + rr * std::cos(2 * kPI * k / N), Z = Zp + rr * std::sin(2 * kPI * k / N);
      s[k] = X * X / (a * a) + Z * Z / (b * b) - 1.0;
    }
    int crossings = 0;
    bool tangent = false;  // a small local minimum of |s| without a sign change
    for (int k = 0; k < N; ++k) {
      crossings += s[k] * s[k + 1] < 0;
      tangent = tangent || (s[k] * s[k + 1] > 0 && s[k + 1] * s[k + 2] > 0 && std::fabs(s[k + 1]) < 1e-2 &&
                            std::fabs(s[k + 1]) <= std::fmin(std::fabs(s[k]), std::fabs(s[k + 2])));
    }
    if (tangent) continue;
    EXPECT_EQ(n, crossings) << "trial " << trial;
    withPoints += n > 0;
  }
  EXPECT_GT(withPoints, 80);
}

// ================================================================ palm against the work

// Sampled depth of the deepest palm-face point inside the work: the disc of radius
// rPalm in y = hPalm/2, every step (each point within step/sqrt(2) of a sample; 0.36 for
// the default 0.5).
double PalmPenetration(const double r[3], const double E[3][3], double step = 0.5) {
  double best = -1e300;
  for (double x = -rg::catalogue::rPalm; x <= rg::catalogue::rPalm; x += step)
    for (double z = -rg::catalogue::rPalm; z <= rg::catalogue::rPalm; z += step) {
      const double P[3] = {x, rg::catalogue::hPalm / 2, z};
      if (x * x + z * z <= rg::catalogue::rPalm * rg::catalogue::rPalm)
        best = std::fmax(best, Depth(P, r, E));
    }
  return best;
}

char Palm(const double r[3], const double E[3][3], double* Lc) {
  double ET[3][3];
  rg::MatTrans(E, ET);
  return rg::RPalmCylinderCollision2(*rg::CatalogueModel(1), Solid(r, E), Lc);
}

// Built poses (face at y = 10), each confirmed by the sampled palm: 'C' poses reach more
// than the sampling error into the work, 'F' poses at most touch it.
TEST(PalmAgainstWork, PerpendicularParallelAndObliquePoses) {
  struct Case {
    const char* what;
    double r[3], dir[3];
    char verdict;
    double Lc;
  };
  const Case cases[] = {
      {"upright, near end 30 under the face", {50, -20, 30}, {0, 1, 0}, 'C', 30},
      {"upright, discs miss", {95, -20, 30}, {0, 1, 0}, 'F', kAny},
      {"upright, near end on the face", {0, 10, 0}, {0, 1, 0}, 'F', kAny},
      {"upright, near end above the face", {0, 40, 0}, {0, 1, 0}, 'F', kAny},
      {"hanging down to y = 5", {0, 105, 0}, {0, -1, 0}, 'C', 5},
      {"lying, axis 50 above the face", {-50, 60, 0}, {1, 0, 0}, 'C', kAny},
      {"lying, clear above the face", {-50, 71, 0}, {1, 0, 0}, 'F', kAny},
      {"lying, strip off the palm", {-50, 60, 70}, {1, 0, 0}, 'F', kAny},
      {"lying, ending before the palm", {40, 30, 0}, {1, 0, 0}, 'F', kAny},
      {"lying, end disc over the palm edge", {20, 40, 0}, {1, 0, 0}, 'C', kAny},
      {"lying the other way, end over the edge", {80, 40, 10}, {-1, 0, 0}, 'C', kAny},
      {"lying, end chord wider than the shallow cut", {0, 68, 10}, {0, 0, 1}, 'C', kAny},
      // only the upper end's rim dips under the face; the ellipse meets the palm circle
      // beyond the work's ends only
      {"tilted, rim pokes into the palm", {0, 117.53, -49.22}, {0, -1, 1}, 'C', kAny},
      {"tilted, lifted clear", {0, 125, -49.22}, {0, -1, 1}, 'F', kAny},
      // axis 4 deg off the face: the ellipse is 14 times longer than wide
      {"nearly lying, crossing the palm", {-61.905, 26.774, 3.591}, {-0.2814, 0.0718, -0.9569}, 'C', kAny},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    double E[3][3], Lc;
    FrameAlong(c.dir, E);
    EXPECT_EQ(Palm(c.r, E, &Lc), c.verdict);
    ExpectNear(Lc, c.Lc, 1e-12);
    const double pen = PalmPenetration(c.r, E);
    EXPECT_TRUE(c.verdict == 'C' ? pen > 0.5 : pen <= 0.0) << pen;
  }
}

// Random poses in each orientation class against the sampled palm; skipped: poses within
// 0.5 of touching, and upright poses wholly behind the face (interference for the check).
TEST(PalmAgainstWork, VerdictMatchesBruteForceGeometry) {
  std::mt19937 gen(4242);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int compared[3] = {0, 0, 0}, hits[3] = {0, 0, 0};
  for (int trial = 0; trial < 450; ++trial) {
    const int kind = trial % 3;  // oblique, parallel, perpendicular
    const double a = kPI * u(gen), v[3] = {u(gen), u(gen), u(gen)};
    const double dir[3][3] = {{v[0], v[1], v[2]}, {std::cos(a), 0, std::sin(a)}, {0, v[0] < 0 ? -1.0 : 1.0, 0}};
    if (kind == 0 && (rg::VecNorm(v) < 0.2 || std::fabs(v[1]) < 0.05 * rg::VecNorm(v))) continue;
    double E[3][3], Lc;
    FrameAlong(dir[kind], E);
    const double r[3] = {110 * u(gen), 50 + 80 * u(gen), 110 * u(gen)};
    if (kind == 2 &&
        std::fmax(r[1], r[1] + rg::catalogue::hCyl * E[1][2]) < rg::catalogue::hPalm / 2)
      continue;
    const double pen = PalmPenetration(r, E);
    if (std::fabs(pen) < 0.5) continue;
    ++compared[kind];
    hits[kind] += pen > 0;
    EXPECT_EQ(Palm(r, E, &Lc), pen > 0 ? 'C' : 'F') << "trial " << trial << " kind " << kind << " pen " << pen;
  }
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(compared[k] > 100 && hits[k] > 25) << k;
}

// The rolling step's early bound: a work said to lie beyond the palm face's plane has
// every point of its end circles (sampled) beyond it, and the full test finds it free;
// a work that comes within the bound's margin of the plane is never said to be clear.
TEST(PalmAgainstWork, WorkBeyondTheFacePlaneIsToldFreeEarly) {
  std::mt19937 gen(77);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const rg::Model& m = *rg::CatalogueModel(1);
  const double face = m.hPalm / 2;
  int clear = 0, near = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const double dir[3] = {u(gen), u(gen), u(gen)};
    if (rg::VecNorm(dir) < 0.1) continue;
    double E[3][3], Lc;
    FrameAlong(dir, E);
    const double r[3] = {110 * u(gen), 70 + 90 * u(gen), 110 * u(gen)};
    double lowest = HUGE_VAL;  // of the sampled end circles
    for (const double h : {0.0, m.hCyl})
      for (int k = 0; k < 720; ++k) {
        const double th = 2 * kPI * k / 720, c = std::cos(th), sn = std::sin(th);
        lowest = std::fmin(lowest, r[1] + h * E[1][2] + m.aCyl * (c * E[1][0] + sn * E[1][1]));
      }
    const bool said = rg::PalmFaceClearOfCylinder(m, Solid(r, E));
    if (said) {
      ++clear;
      EXPECT_GT(lowest, face) << trial;
      EXPECT_EQ(Palm(r, E, &Lc), 'F') << trial;
    }
    if (lowest < face + 0.99) {
      ++near;
      EXPECT_FALSE(said) << trial << " lowest " << lowest;
    }
  }
  EXPECT_GT(clear, 50);
  EXPECT_GT(near, 50);
}

// Axes within 4 deg of the face, where the face cuts the work in a long ellipse, against
// the palm sampled every 2 (each point within 1.42 of a sample): poses whose deepest
// sample lies within 2 of the surface are too close to call. Poses whose bounding balls
// (the work's about its mid-point, the palm's about its centre) lie more than 2 apart are
// free without sampling.
TEST(PalmAgainstWork, AxesNearTheFaceMatchBruteForceGeometry) {
  std::mt19937 gen(1717);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int compared = 0, sampled = 0, hits = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    const double az = kPI * u(gen), el = 4 * kPI / 180 * u(gen);
    const double dir[3] = {std::cos(el) * std::cos(az), std::sin(el), std::cos(el) * std::sin(az)};
    const double r[3] = {110 * u(gen), 10 + 70 * u(gen), 110 * u(gen)};
    double E[3][3], Lc;
    FrameAlong(dir, E);
    const double mid[3] = {r[0] + rg::catalogue::hCyl / 2 * dir[0],
                           r[1] + rg::catalogue::hCyl / 2 * dir[1] - rg::catalogue::hPalm / 2,
                           r[2] + rg::catalogue::hCyl / 2 * dir[2]};
    double pen = -INFINITY;
    if (rg::VecNorm(mid) <
        std::hypot(rg::catalogue::aCyl, rg::catalogue::hCyl / 2) + rg::catalogue::rPalm + 2) {
      pen = PalmPenetration(r, E, 2.0);
      if (std::fabs(pen) < 2.0) continue;
      ++sampled;
    }
    ++compared;
    hits += pen > 0;
    EXPECT_EQ(Palm(r, E, &Lc), pen > 0 ? 'C' : 'F') << "trial " << trial << " pen " << pen;
  }
  EXPECT_TRUE(compared > 18000 && sampled > 10000 && hits > 7000) << compared << " " << sampled << " " << hits;
}

// ================================================================ the hand against the work

struct HandScene : ::testing::Test {
  std::unique_ptr<rg::Sim> sp = rgtest::StartedSim();
  rg::Sim& s = *sp;
};

// Work poses against the default hand: the verdicts of fingers 1 and 2 (each with the
// link and work features met, '-' not checked) and the last interfering finger.
TEST_F(HandScene, BuiltPosesReportTheLastInterferingFinger) {
  using V = std::array<double, 3>;
  double d[3], ez[3];  // finger 1's link direction, the default work axis
  const rg::FingerPose F = rg::Findirect_kineR(s.model(), s.mount(1), s.qq0[1]);
  rg::VecSub(F.JA[4], F.JA[3], d);
  rg::VecUnit(d, d);
  rg::MatColumn(s.EwG, 2, ez);
  ASSERT_NEAR(rg::VecDot(d, ez), 0.0, 1e-2);  // square to each other
  auto at = [](const double* p, double a, const double* v, double b, const double* w) {
    return V{p[0] + a * v[0] + b * w[0], p[1] + a * v[1] + b * w[1], p[2] + a * v[2] + b * w[2]};
  };
  const double* J3 = F.JA[3];
  const double o[3] = {0, 0, 0}, ex[3] = {1, 0, 0}, ez0[3] = {0, 0, 1}, tilt = 40 * kPI / 180;
  const V Ez = {ez[0], ez[1], ez[2]};
  struct Case {
    const char* what;
    V r, dir;
    const char* want;  // finger 1 verdict and features, finger 2 likewise
    int k;
  };
  const Case cases[] = {
      {"default pose", {s.rwG[0], s.rwG[1], s.rwG[2]}, Ez, "FFFFFF", 0},
      {"axis across finger 1's link 40 along it, 5 above the base", at(J3, 40, d, -5, ez), Ez, "CIIFFF", 1},
      {"lying across both fingers over the palm", {-50, 40, 0}, {1, 0, 0}, "C--CI-", 2},
      // the palm is checked once, with the last finger
      {"upright beside the palm, reaching only the palm", {80, -50, 0}, {0, 1, 0}, "FFFCFF", 2},
      // cuts the unmodelled distal link, 8 clear of the proximal one
      {"through finger 1's fingertip", at(F.JA[5], -50, ez0, 0, ez0), {0, 0, 1}, "FFFFFF", 0},
      // base disc 5 off the link axis, 60 along it: the link passes through without the rim
      {"tilted 40 deg from the link", at(J3, 60, d, 5, ex), at(o, std::cos(tilt), d, std::sin(tilt), ex), "CILFFF", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rg::VecCopy(c.r.data(), s.rwG);
    FrameAlong(c.dir.data(), s.EwG);
    std::string got;
    for (int kf = 1; kf <= 2; ++kf) {
      rg::LinkMeeting met;
      got += rg::FinCylinderCollision(s.model(), kf, s.qq0[kf], Solid(s.rwG, s.EwG), met, &s.notes);
      got += std::string(met.sgnCC, 2);
    }
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(c.want[i] == '-' || c.want[i] == got[i]) << got;
    int k = -1;
    EXPECT_EQ(rg::ALLFinCylCollCheck(s.model(), s.qq0, Solid(s.rwG, s.EwG), &s.notes, &k),
              c.k ? 'C' : 'F');
    EXPECT_EQ(k, c.k);
  }
}

// Finger 1's link at random angles against random work poses, compared with samples of
// the link's solid (axial step 0.5, radii 0..12 by 3, 36 angles; every point within 1.6
// of a sample, the depth 1-Lipschitz): deepest sample depths in (-2, 0.5) are too close
// to call. Finger 1 is not the last finger, so the palm is not part of its check.
// The distance of two segments against the closest of sampled point pairs: random
// segments, parallel ones, ones sharing a line, and points.
TEST(SegmentsApart, DistanceMatchesSampledPairs) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int trial = 0; trial < 200; ++trial) {
    double a0[3], a1[3], b0[3], b1[3];
    for (int i = 0; i < 3; ++i) {
      a0[i] = 50 * u(gen), a1[i] = 50 * u(gen), b0[i] = 50 * u(gen), b1[i] = 50 * u(gen);
      if (trial % 4 == 1) b1[i] = b0[i] + 0.7 * (a1[i] - a0[i]);  // parallel
      if (trial % 4 == 2) b0[i] = a0[i] + 1.5 * (a1[i] - a0[i]), b1[i] = a0[i] + 2.5 * (a1[i] - a0[i]);
      if (trial % 4 == 3) a1[i] = a0[i];  // a point
    }
    double best = 1e300;
    const int n = 400;
    for (int k = 0; k <= n; ++k)
      for (int m = 0; m <= n; ++m) {
        double d2 = 0.0;
        for (int i = 0; i < 3; ++i) {
          const double pa = a0[i] + (a1[i] - a0[i]) * k / n, pb = b0[i] + (b1[i] - b0[i]) * m / n;
          d2 += (pa - pb) * (pa - pb);
        }
        best = std::fmin(best, d2);
      }
    const double d = rg::SegmentSegmentDistance(a0, a1, b0, b1);
    EXPECT_LE(d, std::sqrt(best) + 1e-9) << "trial " << trial;
    EXPECT_GE(d, std::sqrt(best) - 0.5) << "trial " << trial;  // the sampling's spacing
  }
}

TEST_F(HandScene, LinkVerdictMatchesBruteForceGeometry) {
  std::mt19937 gen(31337);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int compared = 0, hits = 0;
  for (int trial = 0; trial < 400; ++trial) {
    double q[rg::kSlots] = {0, 0.5 * u(gen), 0.8 * u(gen), 0.8 + 0.7 * u(gen), 0.8, 0, 0};
    const rg::FingerPose F = rg::Findirect_kineR(s.model(), s.mount(1), q);
    double ax[3], link[3], dir[3] = {u(gen), u(gen), u(gen)}, E[3][3], Ef[3][3];
    rg::VecSub(F.JA[4], F.JA[3], link);
    const double Lf = rg::VecNorm(link);
    rg::VecUnit(link, ax);
    if (rg::VecNorm(dir) < 0.2) continue;
    FrameAlong(trial % 4 == 0 ? ax : dir, E);  // some parallel to the link
    FrameAlong(ax, Ef);
    const double r[3] = {100 * u(gen), 60 + 80 * u(gen), 60 + 100 * u(gen)};
    double deepest = -1e300;
    for (int i = 0; i <= 160; ++i)
      for (int kr = 0; kr <= 4; ++kr)
        for (int ka = 0; ka < (kr ? 36 : 1); ++ka) {
          const double th = 2 * kPI * ka / 36, cr = 3.0 * kr * std::cos(th), sr = 3.0 * kr * std::sin(th);
          double P[3];
          for (int c = 0; c < 3; ++c) P[c] = F.JA[3][c] + Lf * i / 160.0 * ax[c] + cr * Ef[c][0] + sr * Ef[c][1];
          deepest = std::fmax(deepest, Depth(P, r, E));
        }
    if (deepest > -2.0 && deepest < 0.5) continue;
    rg::LinkMeeting met;
    const char v = rg::FinCylinderCollision(s.model(), 1, q, Solid(r, E), met, &s.notes);
    const char* cc = met.sgnCC;
    ++compared;
    hits += deepest > 0;
    EXPECT_EQ(v == 'C', deepest > 0) << "trial " << trial << " depth " << deepest << " pair " << cc[0] << cc[1];
  }
  EXPECT_TRUE(compared > 300 && hits > 80) << compared << " " << hits;
}

// A link against the work cylinder (base at the origin, axis z, radius aCyl, height
// hCyl): how deep it reaches in, for poses whose depth is known by construction.
TEST(LinkInsideWork, DepthIntoTheSideTheEndFacesAndByTheFingertip) {
  using namespace rg;
  const double r[3] = {0, 0, 0};
  double E[3][3];
  MatIdentity(E);
  struct Case {
    const char* what;
    double a[3], b[3];
    double depth;
  };
  const double g = 0.3, rr = rg::catalogue::aCyl + rg::catalogue::aFin * std::cos(g),
               hh = rg::catalogue::aFin * std::sin(g);
  const Case cases[] = {
      // tangent to the lower rim at (aCyl, 0, 0), the link along the rim's tangent y,
      // its axis raised above the face plane (into the side) or lowered below it
      {"touching the rim from beside the side",
       {rr, -40, hh},
       {rr, 40, hh},
       rg::catalogue::aFin * (1 - std::cos(g))},
      {"touching the rim from below the face", {rr, -40, -hh}, {rr, 40, -hh}, 0.0},
      {"lying along the side, 0.2 into it",
       {rg::catalogue::aCyl + rg::catalogue::aFin - 0.2, 0, 10},
       {rg::catalogue::aCyl + rg::catalogue::aFin - 0.2, 0, 90},
       0.2},
      {"lying along the side, touching it",
       {rg::catalogue::aCyl + rg::catalogue::aFin, 0, 10},
       {rg::catalogue::aCyl + rg::catalogue::aFin, 0, 90},
       0.0},
      {"across the upper face, 0.5 into it",
       {-30, 5, rg::catalogue::hCyl + rg::catalogue::aFin - 0.5},
       {50, 5, rg::catalogue::hCyl + rg::catalogue::aFin - 0.5},
       0.5},
      {"pointing at the lower face, its tip ball 0.3 into it",
       {10, 10, -rg::catalogue::aFin - 80 + 0.3},
       {10, 10, -rg::catalogue::aFin + 0.3},
       0.3},
      {"far away", {200, 0, 0}, {280, 0, 0}, 0.0},
  };
  for (const Case& k : cases) {
    EXPECT_NEAR(LinkCylinderDepth(k.a, k.b, aFin, Solid(r, E)), k.depth, 1e-9) << k.what;
    EXPECT_NEAR(LinkCylinderDepth(k.b, k.a, aFin, Solid(r, E)), k.depth, 1e-9) << k.what;
  }
  // the same scene moved and turned as a whole reaches as deep
  double R[3][3], T[3][3], rw[3] = {15, 120, -40}, a[3], b[3], ta[3];
  Cx(0.7, R);
  Cz(-1.2, T);
  MatMul(T, R, R);
  const Case& k = cases[0];
  MatVec(R, k.a, ta);
  VecAdd(ta, rw, a);
  MatVec(R, k.b, ta);
  VecAdd(ta, rw, b);
  EXPECT_NEAR(LinkCylinderDepth(a, b, aFin, Solid(rw, R)), k.depth, 1e-9);
}

// Asked only on which side of a level the segment's distance from the work lies, the
// search may stop early; it must then answer as the full search would, and when it
// cannot tell it must give the full search's value to the last bit. Levels from far
// off to within rounding of the distance, for random segments near and in the work.
TEST(LinkInsideWork, EarlyDecisionsAgreeWithTheFullSearch) {
  using namespace rg;
  std::mt19937 rng(8122026);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  double E[3][3], R[3][3];
  Cx(0.4, R);
  Cz(1.1, E);
  MatMul(E, R, E);
  const double r[3] = {5, -8, 12};
  int early = 0, asked = 0, exact = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    double a[3], b[3];
    for (int i = 0; i < 3; ++i) {
      a[i] = r[i] + 90 * u(rng);
      b[i] = a[i] + 80 * u(rng);
    }
    double tFull = 0.0;
    const double d = SegmentCylinderDistance(a, b, Solid(r, E), &tFull);
    ASSERT_TRUE(std::isfinite(d));
    for (double delta : {-30.0, -1.0, -1e-3, -1e-6, -1e-9, -1e-13, 0.0, 1e-13, 1e-9, 1e-6, 1e-3, 1.0, 30.0}) {
      const double level = d + delta;
      int side = 7;
      const double v = SegmentCylinderDistanceAgainst(a, b, Solid(r, E), level, &side);
      ++asked;
      if (side == 0) {
        ++exact;
        ASSERT_EQ(v, d) << "trial " << trial << " delta " << delta;
      } else {
        ++early;
        ASSERT_EQ(side, d < level ? -1 : 1) << "trial " << trial << " delta " << delta;
      }
      // the link check decides as the depth does, for a tolerance around the depth
      const double depth = LinkCylinderDepth(a, b, aFin, Solid(r, E));
      const double tol = std::max(depth + delta, 0.0);
      ASSERT_EQ(LinkWithinDepth(a, b, aFin, Solid(r, E), tol), depth <= tol)
          << "trial " << trial << " delta " << delta;
      // also when told where the link comes nearest, rightly or wrongly
      double ab[3];
      VecSub(b, a, ab);
      for (const double hint : {tFull * VecNorm(ab), 0.37 * VecNorm(ab)})
        ASSERT_EQ(LinkWithinDepth(a, b, aFin, Solid(r, E), tol, &hint), depth <= tol)
            << "trial " << trial << " delta " << delta << " hint " << hint;
    }
  }
  // levels well away from the distance are decided early, those within rounding are not
  EXPECT_GT(early, asked / 2);
  EXPECT_GT(exact, asked / 13);
}

// Degenerate and non-finite poses and sizes: every test returns one of its letters and ends.
TEST(InterferenceRobustness, DegenerateAndNonFiniteInputsAreHandled) {
  std::mt19937 gen(8);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double extreme[] = {0.0, 1e-12, 1e12, INFINITY, std::numeric_limits<double>::quiet_NaN()};
  auto draw = [&](double scale) {
    const int k = static_cast<int>((u(gen) + 1.0) * 4.0);
    return k < 5 ? extreme[k] : scale * u(gen);
  };
  auto sp = rgtest::StartedSim();
  for (int trial = 0; trial < 600; ++trial) {
    double r[3] = {draw(100), draw(100), draw(100)}, dir[3] = {draw(1), draw(1), draw(1)};
    double E[3][3], ET[3][3], d, t1, t2, p1[3], p2[3], n[3], q[3], Lc, pts[4][2];
    char sgn[2];
    rg::LinkMeeting met;
    FrameAlong(dir, E);
    rg::MatTrans(E, ET);
    const double L = draw(100), a = draw(60);
    const std::string got = {
        rg::CylCylColl(80, 12, r, E, L, a, &d, &t1, &t2, p1, p2, n, sgn),
        rg::CylCirCollisionm(80, 12, r, E, a, &d, &t1, p1, q),
        rg::CirCirCollisionm(12, r, E, a, q, &d),
        rg::RPalmCylinderCollision2(*rg::CatalogueModel(1), Solid(r, E, L, a), &Lc),
        rg::FinCylinderCollision(sp->model(), 2, sp->qq0[2], Solid(r, E, L, a), met, &sp->notes)};
    const std::string allowed[5] = {"CFN", "CFLU", "CF", "CF", "CF"};
    for (int i = 0; i < 5; ++i) EXPECT_NE(allowed[i].find(got[i]), std::string::npos) << trial << " test " << i;
    const int np = rg::EllipseCircleCPnt(a, draw(100), r[0], r[1], draw(40), pts);
    EXPECT_TRUE(np >= 0 && np <= 4);
  }
}

}  // namespace
