// Contact solvers on hand-built scenes in the last joint's frame: the joint axis is
// z, the link sweeps the plane z = 0 and at angle q points along (cos q, sin q, 0).
// Expected angles and points are derived by plane geometry in the comments; every
// accepted contact is also checked against both bodies without the solver.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "grasp/grasp.h"
#include "hand/catalogue.h"
#include "numerics/vecmat.h"
#include "test_grasp_check.h"

using namespace rg;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Work frame from its x and z axes (y = z cross x).
void Frame(const double xw[3], const double zw[3], double E[3][3]) {
  double yw[3];
  VecCross(zw, xw, yw);
  for (int i = 0; i < 3; ++i) {
    E[i][0] = xw[i];
    E[i][1] = yw[i];
    E[i][2] = zw[i];
  }
}

rgtest::Link LinkAt(double q) {
  rgtest::Link L{};
  VecSet(0, 0, 0, L.o);
  VecSet(std::cos(q), std::sin(q), 0, L.x);
  VecScale(lFin, L.x, L.T);
  return L;
}

rgtest::Cyl CylM(const double rwM[3], const double EwM[3][3]) { return rgtest::WorkCyl(rwM, EwM); }

void ExpectSound(const ContactM& c, const double rwM[3], const double EwM[3][3], char f, char w) {
  const char GT[2] = {f, w};
  rgtest::ExpectSoundContact(LinkAt(c.q), CylM(rwM, EwM), GT, c.RCm, c.NWm);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(c.NFm[i], -c.NWm[i], 1e-12);
}

// An upright work (axis = joint axis) whose bottom face lies at z = -50.
struct Upright {
  double rwM[3];
  double EwM[3][3];
  Upright(double x, double y, double z = -50.0) {
    VecSet(x, y, z, rwM);
    MatIdentity(EwM);
  }
};

// A work whose axis is +y and whose lower face is the plane y = yc facing the
// joint (outward normal -y); the lower rim is centred at (xc, yc, 0) and its rim
// angle 0 is the point (xc + aCyl, yc, 0).
struct FacingY {
  double rwM[3], EwM[3][3], xw[3], yw[3], zw[3];
  FacingY(double xc, double yc) {
    VecSet(xc, yc, 0, rwM);
    const double x[3] = {1, 0, 0}, z[3] = {0, 1, 0};
    Frame(x, z, EwM);
    MatColumn(EwM, 0, xw);
    MatColumn(EwM, 1, yw);
    MatColumn(EwM, 2, zw);
  }
};

}  // namespace

// ------------------------------------------------------------------ link on side

TEST(LinkOnSide, UprightWorkTouchedByTheLinkSide) {
  // Axis through (50, 80): the link line passes at distance aFin + aCyl = 72 when
  // q = atan2(80, 50) - asin(72 / |(50, 80)|); the foot lies sqrt(8900 - 72^2) out.
  Upright W(50, 80);
  ContactM c;
  ASSERT_EQ(FinLinkCylinderContactm2(0.785, W.rwM, W.EwM, c), 1);
  const double r0 = std::sqrt(8900.0);
  EXPECT_NEAR(c.q, std::atan2(80.0, 50.0) - std::asin(72.0 / r0), 1e-9);
  EXPECT_NEAR(c.prm.Lf, std::sqrt(8900.0 - 72.0 * 72.0), 1e-7);
  EXPECT_NEAR(c.prm.Lw, 50.0, 1e-7);
  EXPECT_EQ(c.solF, 1);
  EXPECT_EQ(c.solW, 1);
  // the work normal points from the axis at (50, 80) towards the contact
  EXPECT_NEAR(c.prm.thw, std::atan2(c.RCm[1] - 80.0, c.RCm[0] - 50.0), 1e-9);
  ExpectSound(c, W.rwM, W.EwM, 'L', 'L');
}

TEST(LinkOnSide, RejectionsBeyondTheLinkAndTheWorkEnds) {
  ContactM c;
  // foot at sqrt(60^2 + 100^2 - 72^2) = 91.7 > lFin: beyond the link end
  Upright far(60, 100);
  EXPECT_EQ(FinLinkCylinderContactm2(0.785, far.rwM, far.EwM, c), 0);
  EXPECT_EQ(c.solF, 3);
  EXPECT_EQ(c.solW, 1);
  EXPECT_NEAR(c.prm.Lf, std::sqrt(13600.0 - 72.0 * 72.0), 1e-7);
  // bottom face above the link plane: the axes' closest point is below the bottom
  Upright high(50, 80, 10);
  EXPECT_EQ(FinLinkCylinderContactm2(0.785, high.rwM, high.EwM, c), 0);
  EXPECT_EQ(c.solF, 1);
  EXPECT_EQ(c.solW, -1);
  EXPECT_NEAR(c.prm.Lw, -10.0, 1e-7);
  // top face below the link plane
  Upright low(50, 80, -150);
  EXPECT_EQ(FinLinkCylinderContactm2(0.785, low.rwM, low.EwM, c), 0);
  EXPECT_EQ(c.solW, 3);
}

TEST(LinkOnSide, WorkAxisInTheLinkPlaneNeverGivesAContact) {
  double E[3][3];
  const double x[3] = {0, 0, 1}, z[3] = {1, 0, 0};
  Frame(x, z, E);
  for (double y : {0.0, 72.0, 300.0}) {
    const double rw[3] = {10, y, 0};
    ContactM c;
    EXPECT_EQ(FinLinkCylinderContactm2(0.5, rw, E, c), 0);
    EXPECT_EQ(c.solF, 3);
    EXPECT_EQ(c.solW, 3);
  }
}

TEST(LinkOnSide, TheLinkLeavingTheWorkIsNotAContact) {
  // Axis through (50, -80): already at q = -pi/2 the link lies inside the work; its
  // only tangency above -pi/2, atan2(-80, 50) + asin(72/r0), is where it leaves the
  // work again, past the angle at which it meets the work axis.
  Upright W(50, -80);
  ContactM c;
  EXPECT_EQ(FinLinkCylinderContactm2(0.0, W.rwM, W.EwM, c), 0);
  EXPECT_EQ(c.solF, 0);
  EXPECT_EQ(c.solW, 0);
  EXPECT_EQ(c.q, 0.0);
}

TEST(LinkOnSide, FirstRootChoice) {
  // the smallest angle above -pi/2 wins; equal angles go to the first
  const double q1[3] = {0.3, 0.2, 0.25};
  const bool k1[3] = {true, true, true};
  EXPECT_EQ(FirstRootAbove(q1, k1, 3), 1);
  const bool k2[3] = {true, false, true};
  EXPECT_EQ(FirstRootAbove(q1, k2, 3), 2);
  const double q3[3] = {0.4, 0.1, 0.1};
  EXPECT_EQ(FirstRootAbove(q3, k1, 3), 1);
  // roots exactly at -pi/2 (kept by the range test) never qualify: no contact
  const double q4[2] = {-kHalfPiC, -kHalfPiC};
  const bool k4[2] = {true, true};
  EXPECT_EQ(FirstRootAbove(q4, k4, 2), -1);
  const double q5[2] = {-kHalfPiC, 2.5};
  EXPECT_EQ(FirstRootAbove(q5, k4, 2), 1);
  EXPECT_EQ(FirstRootAbove(q5, k4, 0), -1);
}

// ------------------------------------------------------------- fingertip on side

TEST(TipOnSide, UprightWorkTouchedByTheTip) {
  // Axis through (120, 80), r0 = |(120, 80)|: the tip centre 80*u lies 72 from it
  // when cos(q - atan2(80, 120)) = (80^2 + r0^2 - 72^2) / (2*80*r0). The link's own
  // tangency would lie at sqrt(r0^2 - 72^2) = 125 > lFin.
  Upright W(120, 80);
  ContactM c;
  ASSERT_EQ(FinTipCylinderContactm2(0.785, W.rwM, W.EwM, c), 1);
  const double r0 = std::sqrt(20800.0);
  const double q = std::atan2(80.0, 120.0) - std::acos((6400.0 + 20800.0 - 5184.0) / (160.0 * r0));
  EXPECT_NEAR(c.q, q, 1e-9);
  EXPECT_NEAR(c.prm.Lw, 50.0, 1e-7);
  EXPECT_EQ(c.solF, 2);
  EXPECT_EQ(c.solW, 1);
  // psif is the angle between the link axis and the normal towards the axis
  const double n[2] = {120.0 - lFin * std::cos(q), 80.0 - lFin * std::sin(q)};
  EXPECT_NEAR(c.prm.psif, std::acos((n[0] * std::cos(q) + n[1] * std::sin(q)) / 72.0), 1e-7);
  ExpectSound(c, W.rwM, W.EwM, 'T', 'L');

  ContactM l;
  EXPECT_EQ(FinLinkCylinderContactm2(0.785, W.rwM, W.EwM, l), 0);
  EXPECT_EQ(l.solF, 3);
}

TEST(TipOnSide, RejectionsBelowTheBottomAndBehindTheTip) {
  ContactM c;
  Upright high(120, 80, 10);
  EXPECT_EQ(FinTipCylinderContactm2(0.0, high.rwM, high.EwM, c), 0);
  EXPECT_EQ(c.solF, 2);
  EXPECT_EQ(c.solW, -1);
  EXPECT_NEAR(c.prm.Lw, -10.0, 1e-7);

  // Axis through (30, 70): the first tip tangency is reached with the rear half
  // of the sphere (the link itself would be inside the work), so it is refused.
  Upright nearBase(30, 70);
  EXPECT_EQ(FinTipCylinderContactm2(0.0, nearBase.rwM, nearBase.EwM, c), 0);
  EXPECT_EQ(c.solF, -1);
  EXPECT_GT(c.prm.psif, kHalfPiC);
  EXPECT_LT(rgtest::AxisClearance(LinkAt(c.q), CylM(nearBase.rwM, nearBase.EwM)), aFin);
  // there the link's side is met first
  ContactM l;
  ASSERT_EQ(FinLinkCylinderContactm2(0.0, nearBase.rwM, nearBase.EwM, l), 1);
  EXPECT_LT(l.q, c.q);
  ExpectSound(l, nearBase.rwM, nearBase.EwM, 'L', 'L');
}

TEST(TipOnSide, UprightWorkOutOfReachHasNoRoot) {
  // the circle of tip centres (radius 80) never comes within 72 of an axis 200 away
  Upright W(200, 0);
  ContactM c;
  EXPECT_EQ(FinTipCylinderContactm2(0.0, W.rwM, W.EwM, c), 0);
  EXPECT_EQ(c.solF, 3);
  EXPECT_EQ(c.solW, 3);
}

TEST(TipOnSide, AngleWithinOneMicroradianOfZeroIsReportedAsZero) {
  // the axis placed 72 from the tip centre at q = 5e-7, towards angle 1 rad
  const double q = 5e-7;
  Upright W(lFin * std::cos(q) + 72 * std::cos(1.0), lFin * std::sin(q) + 72 * std::sin(1.0));
  ContactM c;
  ASSERT_EQ(FinTipCylinderContactm2(0.0, W.rwM, W.EwM, c), 1);
  EXPECT_EQ(c.q, 0.0);
}

// ----------------------------------------------------------------- link on rim

TEST(LinkOnRim, LinkPassesUnderTheFarCornerOfAFacingDisk) {
  // Lower face y = 50, rim centre (0, 50, 0). The link rising from q = 0 first
  // meets the rim point P = (60, 50, 0) (rim angle 0) with its side: P lies
  // aFin from the link line when q = atan2(50, 60) - asin(12 / |P|).
  FacingY W(0, 50);
  ContactM c;
  NewtonCount n;
  ASSERT_EQ(LinkCircleContactm2('L', 0.785, W.rwM, W.xw, W.yw, W.zw, c, &n), 1);
  const double rP = std::sqrt(6100.0);
  const double q = std::atan2(50.0, 60.0) - std::asin(aFin / rP);
  EXPECT_NEAR(c.q, q, 1e-6);
  EXPECT_NEAR(c.prm.thw, 0.0, 1e-6);
  EXPECT_NEAR(c.prm.Lf, std::sqrt(rP * rP - aFin * aFin), 1e-5);
  EXPECT_EQ(c.prm.psif, kHalfPiC);
  EXPECT_EQ(c.solF, 1);
  EXPECT_EQ(c.solW, 2);
  EXPECT_GE(n.cntG, 1);
  EXPECT_LE(n.cntG, 100);
  ExpectSound(c, W.rwM, W.EwM, 'L', 'C');

  // the same point from the exact start: no Jacobian is needed
  const double pm0[2] = {q, 0.0};
  ContactM c2;
  ASSERT_EQ(LinkCircleCNewtonm2(0.785, pm0, W.rwM, W.xw, W.yw, W.zw, c2, &n), 1);
  EXPECT_EQ(n.cntG, 0);
  EXPECT_NEAR(c2.q, q, 1e-7);
}

TEST(LinkOnRim, RimBeyondTheLinkEndIsLeftToTheTip) {
  // Rim centre (10, 50, 0): the corner P = (70, 50, 0) would need a foot at
  // sqrt(|P|^2 - 144) = 85.2 > lFin. The tip reaches it when
  // cos(q - atan2(50, 70)) = (|P|^2 + 80^2 - 12^2) / (2*80*|P|).
  FacingY W(10, 50);
  ContactM c;
  EXPECT_EQ(LinkCircleContactm2('L', 0.785, W.rwM, W.xw, W.yw, W.zw, c), 0);
  EXPECT_EQ(c.solF, 3);
  EXPECT_EQ(c.solW, 2);
  EXPECT_NEAR(c.prm.Lf, std::sqrt(7400.0 - 144.0), 1e-5);

  const double pm0[2] = {c.q, c.prm.thw};
  ContactM t;
  double pm[2];
  ASSERT_EQ(TipCircleContactm2('L', pm0, W.rwM, W.EwM, t, pm), 1);
  const double rP = std::sqrt(7400.0);
  const double q = std::atan2(50.0, 70.0) - std::acos((7400.0 + 6400.0 - 144.0) / (160.0 * rP));
  EXPECT_NEAR(t.q, q, 1e-6);
  EXPECT_NEAR(t.prm.thw, 0.0, 1e-6);
  EXPECT_EQ(t.solF, 2);
  EXPECT_EQ(t.solW, 2);
  EXPECT_LE(std::fabs(t.prm.psif), kHalfPiC);
  ExpectSound(t, W.rwM, W.EwM, 'T', 'C');
}

TEST(LinkOnRim, ContactThatCutsIntoTheWorkIsRefused) {
  // Rim centre (-100, 50, 0): from its crossing (-40, 50, 0) the iteration finds
  // the link touching that rim point from below the face plane y = 50; the link
  // then runs inside the side surface. The equations hold, the contact does not.
  FacingY W(-100, 50);
  ContactM c;
  EXPECT_EQ(LinkCircleContactm2('L', 0.785, W.rwM, W.xw, W.yw, W.zw, c), 0);
  EXPECT_EQ(c.solF, 1);
  EXPECT_EQ(c.solW, 5);
  EXPECT_LT(rgtest::AxisClearance(LinkAt(c.q), CylM(W.rwM, W.EwM)), aFin - 1.0);

  // The point (-60, 50, 0) of the rim centred at the origin, touched with the link
  // axis over the disk: refused as reaching into the end disk.
  FacingY V(0, 50);
  const double rP = std::sqrt(6100.0);
  const double pm0[2] = {std::atan2(50.0, -60.0) - std::asin(aFin / rP), kPi};
  ContactM d;
  ASSERT_EQ(LinkCircleCNewtonm2(0.785, pm0, V.rwM, V.xw, V.yw, V.zw, d), 1);  // equations hold
  EXPECT_LT(rgtest::AxisClearance(LinkAt(d.q), CylM(V.rwM, V.EwM)), 0.0);
}

TEST(LinkOnRim, RimFarFromTheLinkPlaneEndsWithoutASolution) {
  // A rim parallel to the link plane 200 above it: no point of it can be aFin
  // from the link axis. The iteration must stop, and within its bounds.
  double E[3][3];
  MatIdentity(E);
  const double C[3] = {0, 100, 200}, xw[3] = {1, 0, 0}, yw[3] = {0, 1, 0}, zw[3] = {0, 0, 1};
  const double pm0[2] = {1.0, 0.3};
  ContactM c;
  NewtonCount n;
  EXPECT_EQ(LinkCircleCNewtonm2(0.785, pm0, C, xw, yw, zw, c, &n), 0);
  EXPECT_EQ(c.solF, 0);
  EXPECT_EQ(c.solW, 0);
  EXPECT_LE(n.cntG, 100);
  EXPECT_LE(n.nErr, 100 * (3 + 206) + 2);
  EXPECT_EQ(c.q, c.q);  // not NaN
}

// ------------------------------------------------------------ fingertip on rim

namespace {

// A lower rim whose angle-0 point is P = T(q) + aFin*n for the tip centre
// T(q) = lFin*u(q) and the unit in-plane direction n = (cos a, sin a, 0); the face
// lies in the plane y = P_y with outward normal -y.
FacingY RimOnTip(double q, double a) {
  const double P[2] = {lFin * std::cos(q) + aFin * std::cos(a), lFin * std::sin(q) + aFin * std::sin(a)};
  return FacingY(P[0] - aCyl, P[1]);
}

}  // namespace

TEST(TipOnRim, ExactStartIsStillOffsetAndBroughtBack) {
  // the rim point straight above the tip centre: n = +y
  const double q = 0.4;
  FacingY W = RimOnTip(q, kPi / 2);
  const double pm0[2] = {q, 0.0};
  ContactM c;
  double t[3], pm[2];
  NewtonCount n;
  ASSERT_EQ(FinTipCircleNewtonm2('L', pm0, W.rwM, W.EwM, c, t, pm, &n), 1);
  EXPECT_GE(n.cntG, 1);
  EXPECT_NEAR(c.q, q, 1e-6);
  EXPECT_NEAR(c.prm.thw, 0.0, 1e-6);
  EXPECT_NEAR(c.prm.psif, kPi / 2 - q, 1e-6);
  ExpectSound(c, W.rwM, W.EwM, 'T', 'C');
}

TEST(TipOnRim, RearHemisphereIsRefusedAlthoughTheEquationsHold) {
  // The start pm0 + (0.1, 0.1) is the exact contact, so no iteration moves it.
  const double q = 0.3;
  for (double off : {-0.01, 0.01}) {
    FacingY W = RimOnTip(q, q + kPi / 2 + off);
    const double pm0[2] = {q - 0.1, -0.1};
    ContactM c;
    double t[3], pm[2];
    NewtonCount n;
    const int sol = FinTipCircleNewtonm2('L', pm0, W.rwM, W.EwM, c, t, pm, &n);
    EXPECT_EQ(n.cntG, 0);
    EXPECT_NEAR(c.prm.psif, kPi / 2 + off, 1e-9);
    EXPECT_EQ(c.solW, 2);
    if (off > 0) {
      EXPECT_EQ(sol, 0);
      EXPECT_EQ(c.solF, -1);
    } else {
      EXPECT_EQ(sol, 1);
      EXPECT_EQ(c.solF, 2);
    }
  }
}

TEST(TipOnRim, TipOverTheDiskReachesIntoIt) {
  // n = (0.6, 0.8): the tip centre lies 7.2 inside the rim's radius and 9.6 (less
  // than aFin) in front of the face plane, so the sphere cuts into the disk.
  const double q = 0.5;
  FacingY W = RimOnTip(q, std::atan2(0.8, 0.6));
  const double pm0[2] = {q - 0.1, -0.1};
  ContactM c;
  double pm[2];
  EXPECT_EQ(TipCircleContactm2('L', pm0, W.rwM, W.EwM, c, pm), 0);
  EXPECT_EQ(c.solF, 2);
  EXPECT_EQ(c.solW, 4);
  EXPECT_LT(rgtest::DistToCyl(CylM(W.rwM, W.EwM), LinkAt(c.q).T), aFin);
}

TEST(TipOnRim, TipTouchingTheRimFromTheSideSurfaceIsRefused) {
  // q = 2.5, n = -(0.8, 0.6): the tip's front touches the rim while its centre is
  // 7.2 beyond the face plane and only 69.6 from the work axis: it cuts the side.
  const double q = 2.5;
  FacingY W = RimOnTip(q, std::atan2(-0.6, -0.8));
  const double pm0[2] = {q - 0.1, -0.1};
  ContactM c;
  double pm[2];
  EXPECT_EQ(TipCircleContactm2('L', pm0, W.rwM, W.EwM, c, pm), 0);
  EXPECT_EQ(c.solF, 2);
  EXPECT_EQ(c.solW, 5);
  EXPECT_LT(rgtest::DistToCyl(CylM(W.rwM, W.EwM), LinkAt(c.q).T), aFin);
}

TEST(TipOnRim, NoNumberLeaksFromABrokenScene) {
  const double C[3] = {kNaN, 0, 0};
  double E[3][3];
  MatIdentity(E);
  const double pm0[2] = {0.2, 0.2};
  ContactM c;
  double pm[2];
  NewtonCount n;
  EXPECT_EQ(TipCircleContactm2('U', pm0, C, E, c, pm, &n), 0);
  EXPECT_EQ(c.solF, 0);
  EXPECT_LE(n.cntG, 100);
}

// ----------------------------------------------------------------- tip on disk

TEST(TipOnDisk, FacingDiskTouchedByTheTip) {
  // Lower face y = 40 facing the joint, rim centre (60, 40, 0): the tip centre
  // reaches the lifted plane y = 28 at q = asin(28/80); the contact is the point
  // of the face straight above it.
  FacingY W(60, 40);
  double mW[3];
  VecNeg(W.zw, mW);
  ContactM c;
  ASSERT_EQ(FinTipDiskContactm2('L', W.rwM, W.EwM, mW, c), 3);
  const double q = std::asin(28.0 / 80.0);
  EXPECT_NEAR(c.q, q, 1e-12);
  EXPECT_NEAR(c.RCm[0], lFin * std::cos(q), 1e-9);
  EXPECT_NEAR(c.RCm[1], 40.0, 1e-9);
  EXPECT_NEAR(c.prm.Ltw, lFin * std::cos(q) - 60.0, 1e-9);
  EXPECT_NEAR(c.prm.psif, kPi / 2 - q, 1e-9);
  EXPECT_EQ(c.prm.Lw, 0.0);
  EXPECT_EQ(c.solF, 2);
  EXPECT_EQ(c.solW, 3);
  ExpectSound(c, W.rwM, W.EwM, 'T', 'D');
}

TEST(TipOnDisk, RejectionsBeyondTheRimAndFromInside) {
  // rim centre 150 out: the tip meets the face plane 75 from its axis
  FacingY far(150, 40);
  double mW[3];
  VecNeg(far.zw, mW);
  ContactM c;
  EXPECT_EQ(FinTipDiskContactm2('L', far.rwM, far.EwM, mW, c), 4);
  EXPECT_EQ(c.solF, 2);
  EXPECT_EQ(c.solW, 4);
  EXPECT_GT(c.prm.Ltw, aCyl);
  // the joint on the inner side of the face plane
  FacingY behind(60, -40);
  VecNeg(behind.zw, mW);
  EXPECT_EQ(FinTipDiskContactm2('L', behind.rwM, behind.EwM, mW, c), 0);
  EXPECT_EQ(c.solF, 0);
  // lifted plane out of reach of the tip circle
  FacingY out(60, 100);
  VecNeg(out.zw, mW);
  EXPECT_EQ(FinTipDiskContactm2('L', out.rwM, out.EwM, mW, c), 0);
  EXPECT_EQ(c.q, 1000.0);
}

TEST(TipOnDisk, RootChoiceAndDegenerateFaces) {
  // Face with outward normal -(cos a, sin a, 0) at distance D = 12 + 80*cos(b):
  // the tip centre reaches the lifted plane at q = a - b and a + b.
  auto solve = [](double a, double b, ContactM& c) {
    const double mW[3] = {-std::cos(a), -std::sin(a), 0};
    const double D = aFin + lFin * std::cos(b);
    const double PW[3] = {D * std::cos(a), D * std::sin(a), 0};
    const double x[3] = {0, 0, 1};
    double zw[3], E[3][3];
    VecNeg(mW, zw);  // a lower face: the work axis runs away from the joint
    Frame(x, zw, E);
    return FinTipDiskContactm2('L', PW, E, mW, c);
  };
  ContactM c;
  EXPECT_EQ(solve(0.25, 0.05, c), 3);  // roots 0.2 and 0.3
  EXPECT_NEAR(c.q, 0.2, 1e-9);
  EXPECT_EQ(solve(0.15, 0.25, c), 3);  // roots -0.1 and 0.4
  EXPECT_NEAR(c.q, 0.4, 1e-9);
  EXPECT_EQ(solve(-0.5, 0.1, c), 0);  // both negative
  EXPECT_EQ(c.solF, 0);

  // a face parallel to the link plane gives no single angle, and no NaN
  const double PW[3] = {50, 0, -aFin};
  const double mW[3] = {0, 0, 1};
  double E[3][3];
  MatIdentity(E);
  EXPECT_EQ(FinTipDiskContactm2('U', PW, E, mW, c), 0);
  EXPECT_EQ(c.q, c.q);
}

TEST(TipOnDisk, RimOfTheDiskCountsAsOnIt) {
  // q = 0 puts the tip centre exactly at (80, 0, 0): with the face x = 92 facing
  // the joint and its centre at (92, 60, 0) the contact is exactly aCyl out.
  const double mW[3] = {-1, 0, 0};
  const double x[3] = {0, 1, 0}, zw[3] = {1, 0, 0};
  double E[3][3];
  Frame(x, zw, E);
  const double PW[3] = {92, 60, 0};
  ContactM c;
  EXPECT_EQ(FinTipDiskContactm2('L', PW, E, mW, c), 3);
  EXPECT_EQ(c.q, 0.0);
  EXPECT_EQ(c.prm.Ltw, 60.0);
  const double PW2[3] = {92, 60.001, 0};
  EXPECT_EQ(FinTipDiskContactm2('L', PW2, E, mW, c), 4);
  // a plane just out of reach by less than the clamp tolerance still counts
  const double PW3[3] = {92.000004, 0, 0};
  EXPECT_EQ(FinTipDiskContactm2('L', PW3, E, mW, c), 3);
  EXPECT_NEAR(c.q, 0.0, 1e-9);
  const double PW4[3] = {92.0001, 0, 0};
  EXPECT_EQ(FinTipDiskContactm2('L', PW4, E, mW, c), 0);
}

// ---------------------------------------------------------------- rim crossing

TEST(RimCrossing, PlaneOfTheLinkAndItsTwoNeighbours) {
  const double xw[3] = {1, 0, 0}, yw[3] = {0, 0, 1}, zw[3] = {0, -1, 0};
  double out[4];
  char plane;
  // rim centre 60 below the link plane: it just touches z = 0 at the point
  // (100, 0, 0) (rim angle pi/2), whose side-corrected angle is -atan(12/100)
  const double c0[3] = {100, 0, -60.0 * (1 + 5e-9)};
  ASSERT_EQ(CircleZmPlaneCPnt(c0, aCyl, xw, yw, zw, out, plane), 1);
  EXPECT_EQ(plane, '0');
  EXPECT_NEAR(out[2], kPi / 2, 1e-12);
  EXPECT_NEAR(out[0], -std::atan(aFin / 100.0), 1e-6);
  EXPECT_NEAR(out[1], 100.0, 1e-6);
  // slightly lower: only the plane z = -aFin is crossed, with no correction
  const double c1[3] = {100, 0, -60.0 * (1 + 2e-8)};
  ASSERT_EQ(CircleZmPlaneCPnt(c1, aCyl, xw, yw, zw, out, plane), 1);
  EXPECT_EQ(plane, 'M');
  double P[3];
  for (int i = 0; i < 3; ++i) P[i] = c1[i] + aCyl * (std::cos(out[2]) * xw[i] + std::sin(out[2]) * yw[i]);
  EXPECT_NEAR(P[2], -aFin, 1e-9);
  EXPECT_NEAR(out[0], std::atan2(P[1], P[0]), 1e-12);
  // a rim parallel to the link plane inside the slab crosses none of the planes:
  // the estimate is taken at the rim point nearest to the joint axis
  const double xh[3] = {1, 0, 0}, yh[3] = {0, 1, 0}, zh[3] = {0, 0, 1};
  const double c2[3] = {100, 0, 5};
  EXPECT_EQ(CircleZmPlaneCPnt(c2, aCyl, xh, yh, zh, out, plane), 0);
  EXPECT_EQ(plane, 'N');
  EXPECT_NEAR(std::fabs(out[2]), kPi, 1e-9);
  EXPECT_NEAR(out[0], -std::atan(aFin / 40.0), 1e-9);
}

TEST(RimCrossing, WhichRimTheSlabReaches) {
  double E[3][3];
  MatIdentity(E);
  char z1, z2;
  // axis along the joint axis, spanning the slab: only the side can be met
  const double span[3] = {100, 0, -50};
  EXPECT_EQ(CylinderZmPlaneCross(aFin, aCyl, hCyl, span, E, z1, z2), 'M');
  EXPECT_EQ(z1, 'L');
  EXPECT_EQ(z2, 'R');
  // wholly above, wholly below
  const double above[3] = {100, 0, 20};
  EXPECT_EQ(CylinderZmPlaneCross(aFin, aCyl, hCyl, above, E, z1, z2), 'N');
  const double below[3] = {100, 0, -130};
  EXPECT_EQ(CylinderZmPlaneCross(aFin, aCyl, hCyl, below, E, z1, z2), 'N');
  // bottom face inside the slab, top above it
  const double inside[3] = {100, 0, 5};
  EXPECT_EQ(CylinderZmPlaneCross(aFin, aCyl, hCyl, inside, E, z1, z2), 'L');
  // top face inside the slab
  const double top[3] = {100, 0, -95};
  EXPECT_EQ(CylinderZmPlaneCross(aFin, aCyl, hCyl, top, E, z1, z2), 'U');
  // axis along +y with the bottom face towards the joint: both rims cross the
  // slab, the lower one is met at the smaller angle
  FacingY W(0, 50);
  EXPECT_EQ(CylinderZmPlaneCross(aFin, aCyl, hCyl, W.rwM, W.EwM, z1, z2), 'L');
  EXPECT_EQ(z1, 'M');
  EXPECT_EQ(z2, 'M');
}
