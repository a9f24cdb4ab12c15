// Interference checks: verdicts on built scenes and against brute-force geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "hand/hand.h"
#include "interference/interference.h"
#include "numerics/vecmat.h"
#include "support.h"

namespace {

using rg::aCyl;
using rg::aFin;
using rg::hCyl;

constexpr double kPI = 3.141592653589793;

// A right-handed frame whose z axis is along dir.
void FrameAlong(const double dir[3], double E[3][3]) {
  double ez[3], t[3] = {1, 0, 0}, ex[3], ey[3], tmp[3];
  rg::VecUnit(dir, ez);
  if (std::fabs(ez[0]) > 0.9) rg::VecSet(0, 1, 0, t);
  rg::VecCross(t, ez, tmp);
  rg::VecUnit(tmp, ex);
  rg::VecCross(ez, ex, ey);
  for (int i = 0; i < 3; ++i) {
    E[i][0] = ex[i];
    E[i][1] = ey[i];
    E[i][2] = ez[i];
  }
}

void FrameAlong(double x, double y, double z, double E[3][3]) {
  const double d[3] = {x, y, z};
  FrameAlong(d, E);
}

// ================================================================ side against side

TEST(CylinderSides, CrossingAtRightAnglesThroughTheMiddle) {
  double E2[3][3];
  FrameAlong(1, 0, 0, E2);
  const double r2[3] = {-100, 0, 40};
  double d, t1, t2, p1[3], p2[3], n[3];
  char sgn[2];
  EXPECT_EQ(rg::CylCylColl(80, 12, r2, E2, 200, 60, &d, &t1, &t2, p1, p2, n, sgn), 'C');
  EXPECT_DOUBLE_EQ(t1, 40.0);
  EXPECT_DOUBLE_EQ(t2, 100.0);
  EXPECT_DOUBLE_EQ(d, -72.0);
  EXPECT_EQ(sgn[0], 'I');
  EXPECT_EQ(sgn[1], 'I');
}

TEST(CylinderSides, ClearCrossingGivesTheGapBetweenSurfacePoints) {
  double E2[3][3];
  FrameAlong(1, 0, 0, E2);
  const double r2[3] = {-100, 100, 40};
  double d, t1, t2, p1[3], p2[3], n[3];
  char sgn[2];
  EXPECT_EQ(rg::CylCylColl(80, 12, r2, E2, 200, 60, &d, &t1, &t2, p1, p2, n, sgn), 'F');
  EXPECT_DOUBLE_EQ(d, 28.0);
  // p1 lies on cylinder 1's side, p2 on cylinder 2's, d apart along n, n across both axes
  EXPECT_NEAR(std::hypot(p1[0], p1[1]), 12.0, 1e-12);
  double l2[3], rel[3];
  rg::VecSub(p2, r2, rel);
  rg::MatTVec(E2, rel, l2);
  EXPECT_NEAR(std::hypot(l2[0], l2[1]), 60.0, 1e-12);
  double gap[3];
  rg::VecSub(p2, p1, gap);
  EXPECT_NEAR(rg::VecNorm(gap), 28.0, 1e-12);
  EXPECT_NEAR(n[2], 0.0, 1e-15);
  EXPECT_NEAR(n[0], 0.0, 1e-15);
}

TEST(CylinderSides, CrossingBeyondAnEndIsUndecided) {
  double E2[3][3];
  FrameAlong(1, 0, 0, E2);
  double d, t1, t2, p1[3], p2[3], n[3];
  char sgn[2];
  const double above[3] = {-100, 0, 120};
  EXPECT_EQ(rg::CylCylColl(80, 12, above, E2, 200, 60, &d, &t1, &t2, p1, p2, n, sgn), 'N');
  EXPECT_EQ(sgn[0], 'U');
  EXPECT_EQ(sgn[1], 'I');
  // cylinder 2 ends before reaching axis 1 (its far end at x = -10)
  const double shortOf[3] = {-100, 0, 40};
  EXPECT_EQ(rg::CylCylColl(80, 12, shortOf, E2, 90, 60, &d, &t1, &t2, p1, p2, n, sgn), 'N');
  EXPECT_EQ(sgn[1], 'U');
}

TEST(CylinderSides, AxisAlongYIsACrossingNotAParallelCase) {
  double E2[3][3];
  FrameAlong(0, 1, 0, E2);
  const double r2[3] = {30, -50, 20};
  double d, t1, t2, p1[3], p2[3], n[3];
  char sgn[2];
  EXPECT_EQ(rg::CylCylColl(80, 12, r2, E2, 100, 20, &d, &t1, &t2, p1, p2, n, sgn), 'C');
  EXPECT_DOUBLE_EQ(t1, 20.0);
  EXPECT_DOUBLE_EQ(t2, 50.0);
  EXPECT_DOUBLE_EQ(d, 30.0 - 32.0);
}

TEST(CylinderSides, ParallelAxesInterfereOnlyWhereTheirLengthsOverlap) {
  double up[3][3], down[3][3];
  FrameAlong(0, 0, 1, up);
  FrameAlong(0, 0, -1, down);
  double d, t1, t2, p1[3], p2[3], n[3];
  char sgn[2];
  // side by side, 50 apart (< 12 + 60), spanning z in [-50, 50] against [0, 80]
  const double low[3] = {50, 0, -50};
  EXPECT_EQ(rg::CylCylColl(80, 12, low, up, 100, 60, &d, &t1, &t2, p1, p2, n, sgn), 'C');
  EXPECT_DOUBLE_EQ(d, -22.0);
  EXPECT_TRUE(t1 >= 0 && t1 <= 80 && t2 >= 0 && t2 <= 100);
  // spanning z in [90, 190]: entirely beyond the far end of cylinder 1
  const double beyond[3] = {50, 0, 90};
  EXPECT_NE(rg::CylCylColl(80, 12, beyond, up, 100, 60, &d, &t1, &t2, p1, p2, n, sgn), 'C');
  EXPECT_EQ(sgn[0], 'U');
  // pointing down from z = 60: spans [-40, 60]
  const double fromAbove[3] = {50, 0, 60};
  EXPECT_EQ(rg::CylCylColl(80, 12, fromAbove, down, 100, 60, &d, &t1, &t2, p1, p2, n, sgn), 'C');
  // radially apart
  const double apart[3] = {0, 80, 0};
  EXPECT_EQ(rg::CylCylColl(80, 12, apart, up, 100, 60, &d, &t1, &t2, p1, p2, n, sgn), 'F');
  EXPECT_DOUBLE_EQ(d, 8.0);
}

// ================================================================ side against circle

// The point q lies on the circle (centre rc, frame Ec, radius ac).
void ExpectOnCircle(const double q[3], const double rc[3], const double Ec[3][3], double ac) {
  double rel[3], l[3];
  rg::VecSub(q, rc, rel);
  rg::MatTVec(Ec, rel, l);
  EXPECT_NEAR(l[2], 0.0, 1e-9);
  EXPECT_NEAR(std::hypot(l[0], l[1]), ac, 1e-9);
}

TEST(CylinderAgainstCircle, CircleAcrossTheAxisAtMidHeight) {
  double Ec[3][3];
  rg::MatIdentity(Ec);
  double d, t, p[3], q[3];
  const double near[3] = {70, 0, 40};
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, near, Ec, 60, &d, &t, p, q), 'C');
  EXPECT_NEAR(d, -2.0, 1e-9);
  EXPECT_NEAR(t, 40.0, 1e-12);
  ExpectOnCircle(q, near, Ec, 60);
  EXPECT_NEAR(std::hypot(p[0], p[1]), 12.0, 1e-12);  // p on the side surface
  const double clear[3] = {80, 0, 40};
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, clear, Ec, 60, &d, &t, p, q), 'F');
  EXPECT_NEAR(d, 8.0, 1e-9);
  ExpectOnCircle(q, clear, Ec, 60);
}

TEST(CylinderAgainstCircle, DiscPiercedByTheLinkIsInterference) {
  double Ec[3][3];
  rg::MatIdentity(Ec);
  double d, t, p[3], q[3];
  const double rc[3] = {5, 0, 40};
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, rc, Ec, 60, &d, &t, p, q), 'C');
  EXPECT_NEAR(d, 43.0, 1e-9);
  EXPECT_NEAR(q[0], -55.0, 1e-9);  // nearest point opposite the centre
  // a tilted disc whose plane meets the axis inside the circle, at z = 40 + 5 tan 50deg
  double Et[3][3];
  rg::Cy(50 * kPI / 180, Et);
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, rc, Et, 60, &d, &t, p, q), 'C');
  EXPECT_GT(d, 0.0);
  ExpectOnCircle(q, rc, Et, 60);
}

TEST(CylinderAgainstCircle, PiercedPlaneBeyondTheEndsIsNotInterference) {
  // the axis line passes through the disc, but far beyond the cylinder's far end / base
  double Ec[3][3];
  rg::MatIdentity(Ec);
  double d, t, p[3], q[3];
  const double high[3] = {5, 0, 500};
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, high, Ec, 60, &d, &t, p, q), 'U');
  const double low[3] = {5, 0, -300};
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, low, Ec, 60, &d, &t, p, q), 'L');
}

TEST(CylinderAgainstCircle, CircleCuttingTheAxisBeyondAnEndIsUndecided) {
  double Ec[3][3];
  rg::MatIdentity(Ec);
  double d, t, p[3], q[3];
  const double rc[3] = {65, 0, 120};  // nearest point (5, 0, 120): within a1 but above L1
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, rc, Ec, 60, &d, &t, p, q), 'U');
  EXPECT_LT(d, 0.0);
  const double rl[3] = {65, 0, -10};
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, rl, Ec, 60, &d, &t, p, q), 'L');
}

TEST(CylinderAgainstCircle, FarCircleIsFree) {
  // more than 1000 away from the axis: still measured, still free
  double Ec[3][3];
  rg::Cx(0.3, Ec);
  double d, t, p[3], q[3];
  const double rc[3] = {5000, 0, 40};
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, rc, Ec, 60, &d, &t, p, q), 'F');
  EXPECT_NEAR(d, 5000 - 60 - 12, 1e-6);
  ExpectOnCircle(q, rc, Ec, 60);
}

TEST(CylinderAgainstCircle, CircleCentredOnTheAxisHasNoStationaryPoint) {
  // every point of such a circle is equally far from the axis
  double Ec[3][3];
  rg::MatIdentity(Ec);
  double d, t, p[3], q[3];
  const double mid[3] = {0, 0, 40};
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, mid, Ec, 5, &d, &t, p, q), 'C');  // inside the link
  EXPECT_NEAR(d, -7.0, 1e-12);
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, mid, Ec, 60, &d, &t, p, q), 'C');  // disc around the link
  EXPECT_NEAR(d, 48.0, 1e-12);
  ExpectOnCircle(q, mid, Ec, 60);
  const double above[3] = {0, 0, 500};
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, above, Ec, 5, &d, &t, p, q), 'U');
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, above, Ec, 60, &d, &t, p, q), 'U');
  const double below[3] = {0, 0, -1};
  EXPECT_EQ(rg::CylCirCollisionm(80, 12, below, Ec, 60, &d, &t, p, q), 'L');
}

// ================================================================ circle against circle

TEST(CircleAgainstCircle, ParallelPlanesNeverMeet) {
  double E2[3][3];
  rg::MatIdentity(E2);
  const double r2[3] = {0, 0, 5};
  double q[3], d;
  EXPECT_EQ(rg::CirCirCollisionm(12, r2, E2, 60, q, &d), 'F');
}

TEST(CircleAgainstCircle, UprightCircleCuttingThePlane) {
  double E2[3][3];
  rg::Cx(kPI / 2, E2);  // circle 2 in the xz plane
  double q[3], d;
  const double reach[3] = {70, 0, 0};  // cuts z = 0 at x = 10 and 130
  EXPECT_EQ(rg::CirCirCollisionm(12, reach, E2, 60, q, &d), 'C');
  EXPECT_NEAR(d, 10.0, 1e-9);
  EXPECT_NEAR(q[2], 0.0, 1e-12);
  ExpectOnCircle(q, reach, E2, 60);
  const double miss[3] = {80, 0, 0};
  EXPECT_EQ(rg::CirCirCollisionm(12, miss, E2, 60, q, &d), 'F');
  EXPECT_NEAR(d, 20.0, 1e-9);
  // raised by 59 and set 30 aside: the short chord's ends are 31.9 away, its middle 30
  const double raised[3] = {0, 30, 59};
  EXPECT_EQ(rg::CirCirCollisionm(12, raised, E2, 60, q, &d), 'F');
  EXPECT_NEAR(d, 30.0, 1e-7);
  EXPECT_NEAR(q[0], 0.0, 1e-7);
  // raised by 61: does not reach the plane
  const double above[3] = {0, 0, 61};
  EXPECT_EQ(rg::CirCirCollisionm(12, above, E2, 60, q, &d), 'F');
}

TEST(CircleAgainstCircle, ChordThroughTheDiscCountsEvenWithEndsOutside) {
  double E2[3][3];
  rg::Cy(kPI / 2, E2);  // circle 2 in the yz plane
  const double r2[3] = {0, 30, 0};  // cuts z = 0 at y = 90 and -30: the chord crosses the origin
  double q[3], d;
  EXPECT_EQ(rg::CirCirCollisionm(12, r2, E2, 60, q, &d), 'C');
  EXPECT_NEAR(d, 0.0, 1e-9);
  EXPECT_NEAR(rg::VecNorm(q), 0.0, 1e-9);
}

TEST(CircleAgainstCircle, CirclesInOnePlane) {
  double E2[3][3];
  rg::MatIdentity(E2);
  double q[3], d;
  const double overlap[3] = {20, 0, 0};
  EXPECT_EQ(rg::CirCirCollisionm(12, overlap, E2, 60, q, &d), 'C');
  const double apart[3] = {100, 0, 0};
  EXPECT_EQ(rg::CirCirCollisionm(12, apart, E2, 60, q, &d), 'F');
  EXPECT_NEAR(d, 40.0, 1e-12);
  EXPECT_NEAR(q[0], 40.0, 1e-12);
}

// ================================================================ ellipse and circle

TEST(EllipseAndCircle, IntersectionPointsLieOnBothCurves) {
  std::mt19937 gen(99);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int withPoints = 0;
  for (int trial = 0; trial < 500; ++trial) {
    const double a = 60, b = 60 / (0.05 + 0.95 * std::fabs(u(gen)));
    const double Xp = 80 * u(gen), Zp = (trial % 10 == 0) ? 0.0 : 120 * u(gen), rr = 35;
    double pts[4][2];
    const int n = rg::EllipseCircleCPnt(a, b, Xp, Zp, rr, pts);
    ASSERT_LE(n, 4);
    for (int i = 0; i < n; ++i) {
      const double X = a * pts[i][0], Z = a * pts[i][1];
      EXPECT_NEAR(X * X / (a * a) + Z * Z / (b * b), 1.0, 1e-6);
      EXPECT_NEAR(std::hypot(X - Xp, Z - Zp), rr, 1e-4);
    }
    // a fine walk round the circle counts its crossings of the ellipse
    int crossings = 0;
    const int N = 20000;
    auto side = [&](int k) {
      const double th = 2 * kPI * k / N, X = Xp + rr * std::cos(th), Z = Zp + rr * std::sin(th);
      return X * X / (a * a) + Z * Z / (b * b) - 1.0;
    };
    bool tangent = false;  // a small local minimum of |side| without a sign change
    for (int k = 0; k < N; ++k) {
      const double s0 = side(k), s1 = side(k + 1), s2 = side(k + 2);
      if (s0 * s1 < 0) ++crossings;
      if (s0 * s1 > 0 && s1 * s2 > 0 && std::fabs(s1) <= std::fabs(s0) && std::fabs(s1) <= std::fabs(s2) &&
          std::fabs(s1) < 1e-2)
        tangent = true;
    }
    if (tangent) continue;
    EXPECT_EQ(n, crossings) << "trial " << trial;
    if (n > 0) ++withPoints;
  }
  EXPECT_GT(withPoints, 50);
}

// ================================================================ palm against the work

// Brute-force margin of the deepest palm-face point inside the work: the palm disc of
// radius rPalm in the plane y = hPalm/2, sampled every 0.25; positive means interference.
double PalmPenetration(const double r[3], const double E[3][3]) {
  double best = -1e300;
  for (double x = -rg::rPalm; x <= rg::rPalm; x += 0.25)
    for (double z = -rg::rPalm; z <= rg::rPalm; z += 0.25) {
      if (x * x + z * z > rg::rPalm * rg::rPalm) continue;
      const double P[3] = {x, rg::hPalm / 2, z};
      double d[3], l[3];
      rg::VecSub(P, r, d);
      rg::MatTVec(E, d, l);
      const double m = std::fmin(std::fmin(l[2], hCyl - l[2]), aCyl - std::hypot(l[0], l[1]));
      best = std::fmax(best, m);
    }
  return best;
}

char Palm(const double r[3], const double E[3][3], double* Lc) {
  double ET[3][3];
  rg::MatTrans(E, ET);
  return rg::RPalmCylinderCollision2(rg::hPalm, rg::rPalm, r, aCyl, hCyl, ET, Lc);
}

TEST(PalmAgainstWork, AxisPerpendicularToThePalm) {
  double E[3][3], Lc;
  FrameAlong(0, 1, 0, E);
  const double into[3] = {50, -20, 30};  // near end 30 below the face, 58 off the palm axis
  EXPECT_EQ(Palm(into, E, &Lc), 'C');
  EXPECT_DOUBLE_EQ(Lc, 30.0);
  const double aside[3] = {95, -20, 30};  // 99.6 off: the discs miss
  EXPECT_EQ(Palm(aside, E, &Lc), 'F');
  // near end at or above the face: the whole work is on the far side
  const double onFace[3] = {0, rg::hPalm / 2, 0};
  EXPECT_EQ(Palm(onFace, E, &Lc), 'F');
  const double above[3] = {0, 40, 0};
  EXPECT_EQ(Palm(above, E, &Lc), 'F');
  // pointing down: the top end is the near one
  FrameAlong(0, -1, 0, E);
  const double hanging[3] = {0, 105, 0};  // ends at y = 5
  EXPECT_EQ(Palm(hanging, E, &Lc), 'C');
  EXPECT_NEAR(Lc, 5.0, 1e-12);
}

TEST(PalmAgainstWork, AxisParallelToThePalm) {
  double E[3][3], Lc;
  FrameAlong(1, 0, 0, E);
  // side over the palm, axis 50 above the face: strip of half-width 33 at x' = 0
  const double over[3] = {-50, 60, 0};
  EXPECT_EQ(Palm(over, E, &Lc), 'C');
  const double high[3] = {-50, 71, 0};  // the work clears the face
  EXPECT_EQ(Palm(high, E, &Lc), 'F');
  const double offside[3] = {-50, 60, 70};  // strip 37..103 off the palm centre
  EXPECT_EQ(Palm(offside, E, &Lc), 'F');
  // the work ends before the palm: along x from 40 to 140
  const double past[3] = {40, 30, 0};
  EXPECT_EQ(Palm(past, E, &Lc), 'F');
  // end disc over the palm edge: from x = 20, axis 30 above the face
  const double endOver[3] = {20, 40, 0};
  EXPECT_EQ(Palm(endOver, E, &Lc), 'C');
  // the work pointing the other way, ending at x = -20
  FrameAlong(-1, 0, 0, E);
  const double endOver2[3] = {80, 40, 10};
  EXPECT_EQ(Palm(endOver2, E, &Lc), 'C');
}

TEST(PalmAgainstWork, ShallowEndCutNarrowerThanThePalmChord) {
  // The face only grazes the work near its end (axis 58 above the face: a strip of
  // half-width 15.4) and the palm circle cuts the end plane in a chord of half-width
  // 33.5 that spans the strip: both chord ends lie outside the end disc, yet the
  // strip crosses the palm.
  double E[3][3], Lc;
  FrameAlong(0, 0, 1, E);
  const double r[3] = {0, rg::hPalm / 2 + 58, 10};
  EXPECT_GT(PalmPenetration(r, E), 0.5);
  EXPECT_EQ(Palm(r, E, &Lc), 'C');
}

TEST(PalmAgainstWork, TiltedWorkWhoseRimPokesIntoThePalm) {
  // The default work orientation (axis (0, -0.71, 0.71)) placed so that only the rim of
  // its upper end dips under the face over the palm: the face cuts the work's ellipse
  // between its end lines, and every crossing of the ellipse with the palm circle lies
  // beyond the work's ends. The end line inside the palm is what shows the contact.
  double E[3][3], Lc;
  rg::Cx(kPI / 4, E);
  const double r[3] = {0, 117.53, -49.22};
  ASSERT_GT(PalmPenetration(r, E), 0.5);
  EXPECT_EQ(Palm(r, E, &Lc), 'C');
  const double lifted[3] = {0, 125, -49.22};
  ASSERT_LT(PalmPenetration(lifted, E), -0.5);
  EXPECT_EQ(Palm(lifted, E, &Lc), 'F');
}

// Random poses in each of the three orientation classes, compared with the brute-force
// palm sampling; poses within 0.5 of touching are skipped, and so are perpendicular
// poses with the whole work behind the face (the check counts those as interference).
TEST(PalmAgainstWork, VerdictMatchesBruteForceGeometry) {
  std::mt19937 gen(4242);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int compared[3] = {0, 0, 0}, hits[3] = {0, 0, 0};
  for (int trial = 0; trial < 900; ++trial) {
    const int kind = trial % 3;  // 0 oblique, 1 parallel, 2 perpendicular
    double dir[3];
    if (kind == 0) {
      rg::VecSet(u(gen), u(gen), u(gen), dir);
      if (rg::VecNorm(dir) < 0.2 || std::fabs(dir[1]) < 0.05 * rg::VecNorm(dir)) continue;
    } else if (kind == 1) {
      const double a = kPI * u(gen);
      rg::VecSet(std::cos(a), 0.0, std::sin(a), dir);
    } else {
      rg::VecSet(0.0, u(gen) < 0 ? -1.0 : 1.0, 0.0, dir);
    }
    double E[3][3];
    FrameAlong(dir, E);
    const double r[3] = {110 * u(gen), 50 + 80 * u(gen), 110 * u(gen)};
    if (kind == 2) {
      const double topY = r[1] + hCyl * E[1][2];
      if (std::fmax(r[1], topY) < rg::hPalm / 2) continue;
    }
    const double pen = PalmPenetration(r, E);
    if (std::fabs(pen) < 0.5) continue;
    double Lc;
    const char v = Palm(r, E, &Lc);
    ++compared[kind];
    if (pen > 0) ++hits[kind];
    EXPECT_EQ(v, pen > 0 ? 'C' : 'F') << "trial " << trial << " kind " << kind << " pen " << pen;
  }
  for (int k = 0; k < 3; ++k) {
    EXPECT_GT(compared[k], 100) << k;
    EXPECT_GT(hits[k], 10) << k;
  }
}

// ================================================================ the hand against the work

struct HandScene : ::testing::Test {
  std::unique_ptr<rg::Sim> sp = rgtest::StartedSim();
  rg::Sim& s = *sp;
  char Check(int* k) { return rg::ALLFinCylCollCheck(s, s.qq0, aFin, s.rwG, s.EwG, hCyl, aCyl, k); }
  char Finger(int kf, char cc[2]) {
    return rg::FinCylinderCollision(s, kf, s.nJ, s.qq0[kf], aFin, s.rwG, s.EwG, hCyl, aCyl, cc);
  }
};

TEST_F(HandScene, DefaultSceneIsFree) {
  int k = -1;
  EXPECT_EQ(Check(&k), 'F');
  EXPECT_EQ(k, 0);
}

TEST_F(HandScene, WorkAcrossTheMiddleOfFinger1sLink) {
  // The default work axis (0, -0.71, 0.71) is square to finger 1's link at the initial
  // angles; move the work so that its axis crosses the link's middle 5 above its base.
  double d[3], mid[3], ez[3];
  rg::VecSub(s.JA[1][4], s.JA[1][3], d);
  rg::VecUnit(d, d);
  rg::MatColumn(s.EwG, 2, ez);
  ASSERT_NEAR(rg::VecDot(d, ez), 0.0, 1e-2);
  rg::VecAddScaled(s.JA[1][3], 40.0, d, mid);
  rg::VecAddScaled(mid, -5.0, ez, s.rwG);
  char cc[2];
  EXPECT_EQ(Finger(1, cc), 'C');
  EXPECT_EQ(cc[0], 'I');
  EXPECT_EQ(cc[1], 'I');
  EXPECT_EQ(Finger(2, cc), 'F');  // finger 2 and the palm are clear
  int k = 0;
  EXPECT_EQ(Check(&k), 'C');
  EXPECT_EQ(k, 1);
}

TEST_F(HandScene, LastInterferingFingerIsReported) {
  // work lying across both fingers, axis along X at y = 40 over the palm centre
  rg::VecSet(-50, 40, 0, s.rwG);
  FrameAlong(1, 0, 0, s.EwG);
  char cc[2];
  EXPECT_EQ(Finger(1, cc), 'C');
  EXPECT_EQ(Finger(2, cc), 'C');
  EXPECT_EQ(cc[0], 'I');  // finger 2's own link, not only the palm
  int k = 0;
  EXPECT_EQ(Check(&k), 'C');
  EXPECT_EQ(k, 2);
}

TEST_F(HandScene, PalmIsCheckedOnceWithTheLastFinger) {
  // upright work beside the palm centre, reaching 30 under the face: only the palm meets it
  rg::VecSet(80, -50, 0, s.rwG);
  FrameAlong(0, 1, 0, s.EwG);
  char cc[2];
  EXPECT_EQ(Finger(1, cc), 'F');
  EXPECT_EQ(Finger(2, cc), 'C');
  EXPECT_EQ(cc[0], 'F');  // no link feature met
  int k = 0;
  EXPECT_EQ(Check(&k), 'C');
  EXPECT_EQ(k, 2);
}

TEST_F(HandScene, WorkTouchingOnlyTheFingertipLinkIsFree) {
  // axis along Z through finger 1's fingertip centre: it cuts the distal link, which the
  // check does not model, and stays 8 clear of the proximal link
  rg::VecSet(s.JA[1][5][0], s.JA[1][5][1], s.JA[1][5][2] - 50, s.rwG);
  FrameAlong(0, 0, 1, s.EwG);
  int k = -1;
  EXPECT_EQ(Check(&k), 'F');
  EXPECT_EQ(k, 0);
}

TEST_F(HandScene, LinkPiercingAnEndDiscIsCaught) {
  // work tilted 40 degrees from finger 1's link, its base disc centred 5 off the link
  // axis at 60 along it: the link passes through the disc without reaching the rim
  double d[3], e[3], rc[3];
  const double p[3] = {1, 0, 0};
  rg::VecSub(s.JA[1][4], s.JA[1][3], d);
  rg::VecUnit(d, d);
  const double a = 40 * kPI / 180;
  for (int i = 0; i < 3; ++i) {
    e[i] = std::sin(a) * p[i] + std::cos(a) * d[i];
    rc[i] = s.JA[1][3][i] + 60 * d[i] + 5 * p[i];
  }
  rg::VecCopy(rc, s.rwG);
  FrameAlong(e, s.EwG);
  char cc[2];
  EXPECT_EQ(Finger(1, cc), 'C');
  EXPECT_EQ(cc[0], 'I');
  EXPECT_EQ(cc[1], 'L');
  int k = 0;
  EXPECT_EQ(Check(&k), 'C');
  EXPECT_EQ(k, 1);
}

TEST_F(HandScene, CheckLeavesTheKinematicsOfTheAnglesItWasGiven) {
  double q[rg::kSlots][rg::kSlots];
  for (int kf = 0; kf < rg::kSlots; ++kf)
    for (int j = 0; j < rg::kSlots; ++j) q[kf][j] = s.qq0[kf][j];
  q[1][3] = kPI / 2;
  q[1][4] = 0.0;
  int k;
  rg::ALLFinCylCollCheck(s, q, aFin, s.rwG, s.EwG, hCyl, aCyl, &k);
  // finger 1 straight up from its base: fingertip 160 above it
  EXPECT_NEAR(s.JA[1][5][0] - s.JA[1][0][0], 0.0, 2.0);
  EXPECT_NEAR(s.JA[1][5][1] - s.JA[1][0][1], 160.0, 0.1);
}

// Finger 1's link at random angles against random work poses, compared with brute-force
// sampling of the link's solid (axial step 0.5, cross-section radii 0..12 by 3, 36
// angles): the deepest sample inside the work decides. Samples lie within 1.6 of every
// point of the link and the depth is 1-Lipschitz, so a pose whose deepest sample lies
// between -2 and 0.5 is too close to touching to call and is skipped. Finger 1 is not
// the last finger, so the palm is not part of its check.
TEST_F(HandScene, LinkVerdictMatchesBruteForceGeometry) {
  std::mt19937 gen(31337);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int compared = 0, hits = 0;
  for (int trial = 0; trial < 1500; ++trial) {
    double q[rg::kSlots] = {0, 0.5 * u(gen), 0.8 * u(gen), 0.8 + 0.7 * u(gen), 0.8, 0, 0};
    rg::Findirect_kineR(s, 1, 4, q);
    double d[3], ax[3];
    rg::VecSub(s.JA[1][4], s.JA[1][3], d);
    const double Lf = rg::VecNorm(d);
    rg::VecUnit(d, ax);
    double dir[3] = {u(gen), u(gen), u(gen)};
    if (rg::VecNorm(dir) < 0.2) continue;
    double E[3][3];
    FrameAlong(trial % 4 == 0 ? ax : dir, E);  // some with the work parallel to the link
    const double r[3] = {100 * u(gen), 60 + 80 * u(gen), 60 + 100 * u(gen)};

    double Ef[3][3];
    FrameAlong(ax, Ef);
    double e1[3], e2[3];
    rg::MatColumn(Ef, 0, e1);
    rg::MatColumn(Ef, 1, e2);
    double deepest = -1e300;
    for (int i = 0; i <= 160; ++i) {
      const double t = Lf * i / 160.0;
      for (int kr = 0; kr <= 4; ++kr) {
        const double rad = 3.0 * kr;
        for (int ka = 0; ka < (kr ? 36 : 1); ++ka) {
          const double th = 2 * kPI * ka / 36;
          double P[3], l[3], rel[3];
          for (int c = 0; c < 3; ++c)
            P[c] = s.JA[1][3][c] + t * ax[c] + rad * (std::cos(th) * e1[c] + std::sin(th) * e2[c]);
          rg::VecSub(P, r, rel);
          rg::MatTVec(E, rel, l);
          deepest = std::fmax(deepest, std::fmin(std::fmin(l[2], hCyl - l[2]), aCyl - std::hypot(l[0], l[1])));
        }
      }
    }
    if (deepest > -2.0 && deepest < 0.5) continue;
    char cc[2];
    const char v = rg::FinCylinderCollision(s, 1, 4, q, aFin, r, E, hCyl, aCyl, cc);
    const bool truth = deepest > 0;
    ++compared;
    hits += truth;
    EXPECT_EQ(v == 'C', truth) << "trial " << trial << " depth " << deepest << " pair " << cc[0] << cc[1];
  }
  EXPECT_GT(compared, 800);
  EXPECT_GT(hits, 100);
}

}  // namespace

namespace {

// Degenerate and non-finite poses and sizes: every test returns one of its letters and ends.
TEST(InterferenceRobustness, DegenerateAndNonFiniteInputsAreHandled) {
  std::mt19937 gen(8);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double special[] = {0.0, 1e-12, 1e12, std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
  auto draw = [&](double scale) {
    const int k = static_cast<int>((u(gen) + 1.0) * 4.0);
    return k < 5 ? special[k] : scale * u(gen);
  };
  auto isIn = [](char c, const char* set) { return std::string(set).find(c) != std::string::npos; };
  auto sp = rgtest::StartedSim();
  rgtest::Capture cap;
  for (int trial = 0; trial < 2000; ++trial) {
    double r[3] = {draw(100), draw(100), draw(100)};
    double dir[3] = {draw(1), draw(1), draw(1)};
    double E[3][3];
    FrameAlong(dir, E);
    const double L = draw(100), a = draw(60);
    double d, t1, t2, p1[3], p2[3], n[3], q[3];
    char sgn[2];
    EXPECT_TRUE(isIn(rg::CylCylColl(80, 12, r, E, L, a, &d, &t1, &t2, p1, p2, n, sgn), "CFN"));
    EXPECT_TRUE(isIn(rg::CylCirCollisionm(80, 12, r, E, a, &d, &t1, p1, q), "CFLU"));
    EXPECT_TRUE(isIn(rg::CirCirCollisionm(12, r, E, a, q, &d), "CF"));
    double ET[3][3], Lc, pts[4][2];
    rg::MatTrans(E, ET);
    EXPECT_TRUE(isIn(rg::RPalmCylinderCollision2(20, 35, r, a, L, ET, &Lc), "CF"));
    const int np = rg::EllipseCircleCPnt(a, draw(100), r[0], r[1], draw(40), pts);
    EXPECT_TRUE(np >= 0 && np <= 4);
    char cc[2];
    EXPECT_TRUE(isIn(rg::FinCylinderCollision(*sp, 2, 4, sp->qq0[2], aFin, r, E, L, a, cc), "CF"));
    cap.clear();
  }
}

}  // namespace
