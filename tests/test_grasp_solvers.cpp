// Contact solvers on hand-built scenes in the last joint's frame: the joint axis is
// z, the link sweeps the plane z = 0 and at angle q points along (cos q, sin q, 0).
// Expected angles are derived by plane geometry in the comments; every accepted
// contact is also checked against both bodies without the solver.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "grasp/grasp.h"
#include "grasp/grasp_util.h"
#include "core/catalogue.h"
#include "numerics/vecmat.h"
#include "test_grasp_check.h"

using namespace rg;

namespace {

namespace cat = rg::catalogue;
const Model& kBuiltIn = *CatalogueModel(1);  // the built-in dimensions

// A work pose in the last joint's frame: bottom-face centre, x and z axes (y = z x x).
struct Work {
  double rwM[3], EwM[3][3], xw[3], yw[3], zw[3];
  WorkM M;
  Work(double x, double y, double z, const double ax[3], const double az[3]) {
    VecSet(x, y, z, rwM);
    VecCopy(ax, xw);
    VecCopy(az, zw);
    VecCross(zw, xw, yw);
    const double* col[3] = {xw, yw, zw};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EwM[i][j] = col[j][i];
    VecCopy(rwM, M.rwM);
    MatCopy(EwM, M.EwM);
  }
  // the rim of the lower face (centre rwM) or of the upper one
  RimM Rim(char ul = 'L', const Model& m = kBuiltIn) const { return RimOf(m, M, ul); }
};

// A rim centred at c with the axes xw, yw, zw.
RimM RimAt(const double c[3], const double xw[3], const double yw[3], const double zw[3]) {
  RimM r;
  VecCopy(c, r.C);
  VecCopy(xw, r.xw);
  VecCopy(yw, r.yw);
  VecCopy(zw, r.zw);
  return r;
}

const double kX[3] = {1, 0, 0}, kY[3] = {0, 1, 0}, kZ[3] = {0, 0, 1}, kMinusY[3] = {0, -1, 0};

// Axis along the joint axis through (x, y), bottom face at height z.
Work Upright(double x, double y, double z = -50) { return Work(x, y, z, kX, kZ); }
// Axis +y, lower face the plane y = yc facing the joint; rim angle 0 is (xc + aCyl, yc, 0).
Work FacingY(double xc, double yc) { return Work(xc, yc, 0, kX, kY); }

rgtest::Link LinkAt(double q, const Model& m = kBuiltIn) {
  rgtest::Link L{};
  VecSet(std::cos(q), std::sin(q), 0, L.x);
  VecCopy(kZ, L.z);
  VecScale(m.lFin, L.x, L.T);
  L.l = m.lFin;
  L.a = m.aFin;
  return L;
}

double Clearance(double q, const Work& W) {
  return rgtest::AxisClearance(LinkAt(q), rgtest::WorkCyl(W.rwM, W.EwM));
}

using Codes = std::pair<int, int>;  // (solF, solW)
Codes CodesOf(const ContactM& c) { return {c.solF, c.solW}; }

// A sound contact whose parameters place it on both bodies; on the work: Lw up the
// axis, then Ltw out at rim angle thw.
void ExpectSound(const ContactM& c, const Work& W, const char GT[2]) {
  const ContactPrm& p = c.prm;
  rgtest::ExpectSoundContact(LinkAt(c.q), rgtest::WorkCyl(W.rwM, W.EwM), GT, c.RCm, c.NWm, &p);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(c.NFm[i], -c.NWm[i], 1e-12);
    const double out = std::cos(p.thw) * W.xw[i] + std::sin(p.thw) * W.yw[i];
    EXPECT_NEAR(W.rwM[i] + p.Lw * W.zw[i] + p.Ltw * out, c.RCm[i], 1e-6) << "work parameters " << i;
  }
}

// Runs the solver of contact type GT (tip on rim started from the link-on-rim result,
// as the dispatcher does); 1 for an accepted contact.
int Solve(const char GT[2], const Work& W, ContactM& c, NewtonCount* n = nullptr,
          const Model& m = kBuiltIn) {
  const std::string t(GT, 2);
  if (t == "LL") return FinLinkCylinderContactm2(m, 0.785, W.M, c);
  if (t == "TL") return FinTipCylinderContactm2(m, 0.785, W.M, c);
  if (t == "TD") return FinTipDiskContactm2(m, 'L', W.rwM, W.EwM, kMinusY, c) == 3;
  const int link = LinkCircleContactm2(m, W.Rim('L', m), c, n);
  if (t == "LC") return link;
  const double pm0[2] = {c.q, c.prm.thw};
  return TipCircleContactm2(m, W.Rim('L', m), pm0, c, n);
}

}  // namespace

TEST(HandBuiltScenes, EachSolverFindsTheContactDerivedByHand) {
  for (const rgtest::HandScene& k : rgtest::kHandScenes) {
    SCOPED_TRACE(k.type);
    const Work W = k.upright ? Upright(k.x, k.y) : FacingY(k.x, k.y);
    ContactM c;
    NewtonCount n;
    ASSERT_EQ(Solve(k.type, W, c, &n), 1);
    EXPECT_NEAR(c.q, k.q, k.tol);
    EXPECT_EQ(CodesOf(c), Codes(k.solF, k.solW));
    EXPECT_LE(n.cntG, 100);
    ExpectSound(c, W, k.type);
  }
}

// ------------------------------------------------------------------ link on side

TEST(LinkOnSide, RejectionCodes) {
  // Lf = sqrt(x^2 + y^2 - 72^2) is the foot on the link, Lw the foot's height on the axis
  struct Case {
    const char* why;
    double x, y, z;
    Codes codes;
    double Lf, Lw;
  } cases[] = {
      {"foot beyond the link end", 60, 100, -50, {3, 1}, std::sqrt(13600.0 - 5184), 50},
      {"bottom face above the link plane", 50, 80, 10, {1, -1}, std::sqrt(8900.0 - 5184), -10},
      {"top face below the link plane", 50, 80, -150, {1, 3}, std::sqrt(8900.0 - 5184), 150},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.why);
    const Work W = Upright(k.x, k.y, k.z);
    ContactM c;
    EXPECT_EQ(FinLinkCylinderContactm2(kBuiltIn, 0.785, W.M, c), 0);
    EXPECT_EQ(CodesOf(c), k.codes);
    EXPECT_NEAR(c.prm.Lf, k.Lf, 1e-7);
    EXPECT_NEAR(c.prm.Lw, k.Lw, 1e-7);
  }
  // Axis through (50, -80): the link is inside the work from q = -pi/2 on; its only
  // tangency is where it leaves the work, past the angle at which it meets the axis.
  const Work leaving = Upright(50, -80);
  ContactM c;
  EXPECT_EQ(FinLinkCylinderContactm2(kBuiltIn, 0.0, leaving.M, c), 0);
  EXPECT_EQ(CodesOf(c), Codes(0, 0));
  EXPECT_EQ(c.q, 0.0);
  // work axis in the link plane: never a contact, whatever its offset
  for (double y : {0.0, 72.0, 300.0}) {
    const Work W(10, y, 0, kZ, kX);
    EXPECT_EQ(FinLinkCylinderContactm2(kBuiltIn, 0.5, W.M, c), 0);
    EXPECT_EQ(CodesOf(c), Codes(3, 3));
  }
}

TEST(LinkOnSide, FirstRootChoice) {
  // the smallest kept angle above -pi/2 wins; equal angles go to the first
  const double q1[3] = {0.3, 0.2, 0.25}, q3[3] = {0.4, 0.1, 0.1};
  const bool all[3] = {true, true, true}, k2[3] = {true, false, true};
  EXPECT_EQ(FirstRootAbove(q1, all, 3), 1);
  EXPECT_EQ(FirstRootAbove(q1, k2, 3), 2);
  EXPECT_EQ(FirstRootAbove(q3, all, 3), 1);
  // roots exactly at -pi/2 never qualify
  const double q4[2] = {-kHalfPiC, -kHalfPiC}, q5[2] = {-kHalfPiC, 2.5};
  EXPECT_EQ(FirstRootAbove(q4, all, 2), -1);
  EXPECT_EQ(FirstRootAbove(q5, all, 2), 1);
  EXPECT_EQ(FirstRootAbove(q5, all, 0), -1);
}

// ------------------------------------------------------------- fingertip on side

TEST(TipOnSide, RejectionsAndTheAngleNearZero) {
  ContactM c;
  const Work high = Upright(120, 80, 10);  // bottom face above the link plane
  EXPECT_EQ(FinTipCylinderContactm2(kBuiltIn, 0.0, high.M, c), 0);
  EXPECT_EQ(CodesOf(c), Codes(2, -1));
  EXPECT_NEAR(c.prm.Lw, -10.0, 1e-7);
  // the circle of tip centres (radius 80) never comes within 72 of an axis 200 away
  const Work far = Upright(200, 0);
  EXPECT_EQ(FinTipCylinderContactm2(kBuiltIn, 0.0, far.M, c), 0);
  EXPECT_EQ(CodesOf(c), Codes(3, 3));

  // Axis through (30, 70): the first tip tangency is on the rear half of the sphere,
  // where the link itself is inside the work; the link's side is met earlier.
  const Work nearBase = Upright(30, 70);
  EXPECT_EQ(FinTipCylinderContactm2(kBuiltIn, 0.0, nearBase.M, c), 0);
  EXPECT_EQ(c.solF, -1);
  EXPECT_GT(c.prm.psif, kHalfPiC);
  EXPECT_LT(Clearance(c.q, nearBase), cat::aFin);
  ContactM l;
  ASSERT_EQ(FinLinkCylinderContactm2(kBuiltIn, 0.0, nearBase.M, l), 1);
  EXPECT_LT(l.q, c.q);
  ExpectSound(l, nearBase, "LL");

  // the axis 72 from the tip centre at q = 5e-7: an angle within 1e-6 of 0 is 0
  const double q = 5e-7;
  const Work W = Upright(cat::lFin * std::cos(q) + 72 * std::cos(1.0),
                         cat::lFin * std::sin(q) + 72 * std::sin(1.0));
  ASSERT_EQ(FinTipCylinderContactm2(kBuiltIn, 0.0, W.M, c), 1);
  EXPECT_EQ(c.q, 0.0);
}

// ----------------------------------------------------------------- link on rim

TEST(LinkOnRim, RefusedContacts) {
  // Rim centre (10, 50, 0): the corner (70, 50, 0) needs a foot at sqrt(70^2 + 50^2 - 144) > lFin.
  ContactM c;
  const Work beyond = FacingY(10, 50);
  EXPECT_EQ(LinkCircleContactm2(kBuiltIn, beyond.Rim(), c), 0);
  EXPECT_EQ(CodesOf(c), Codes(3, 2));
  EXPECT_NEAR(c.prm.Lf, std::sqrt(7400.0 - 144.0), 1e-5);
  // Rim centre (-100, 50, 0): from its crossing (-40, 50, 0) the link touches that
  // rim point from below the face plane and runs inside the side surface.
  const Work side = FacingY(-100, 50);
  EXPECT_EQ(LinkCircleContactm2(kBuiltIn, side.Rim(), c), 0);
  EXPECT_EQ(CodesOf(c), Codes(1, 5));
  EXPECT_LT(Clearance(c.q, side), cat::aFin - 1.0);
  // The point (-60, 50, 0) of the rim centred at (0, 50, 0), touched with the link
  // axis over the disk: the equations hold, the normal-cone test puts it in the disk.
  const Work V = FacingY(0, 50);
  const double pm0[2] = {std::atan2(50.0, -60.0) - std::asin(cat::aFin / std::hypot(60, 50)), kPi};
  ASSERT_EQ(LinkCircleCNewtonm2(kBuiltIn, V.Rim(), pm0, c), 1);
  EXPECT_LT(Clearance(c.q, V), 0.0);
  EXPECT_EQ(grasp_detail::RimConeCode(kBuiltIn, c.NWm, c.RCm, V.rwM, kMinusY), 4);
}

// ------------------------------------------------------------ fingertip on rim

namespace {

// A lower rim whose angle-0 point is P = lFin u(q) + aFin (cos a, sin a, 0).
Work RimOnTip(double q, double a) {
  return FacingY(cat::lFin * std::cos(q) + cat::aFin * std::cos(a) - cat::aCyl,
                 cat::lFin * std::sin(q) + cat::aFin * std::sin(a));
}

}  // namespace

TEST(TipOnRim, RearHemisphereIsRefusedAlthoughTheEquationsHold) {
  // the start pm0 + (0.1, 0.1) is the exact contact, so no iteration moves it
  const double q = 0.3, pm0[2] = {q - 0.1, -0.1};
  for (double off : {-0.01, 0.01}) {
    SCOPED_TRACE(off);
    const Work W = RimOnTip(q, q + kPi / 2 + off);
    ContactM c;
    NewtonCount n;
    EXPECT_EQ(FinTipCircleNewtonm2(kBuiltIn, W.Rim(), pm0, c, &n), off < 0 ? 1 : 0);
    EXPECT_EQ(n.cntG, 0);
    EXPECT_NEAR(c.prm.psif, kPi / 2 + off, 1e-9);
    EXPECT_EQ(CodesOf(c), off < 0 ? Codes(2, 2) : Codes(-1, 2));
  }
}

TEST(TipOnRim, TipThatCutsIntoTheDiskOrTheSideIsRefused) {
  struct Case {
    const char* why;
    double q, a;
    int solW;
  } cases[] = {
      // n = (0.6, 0.8): tip centre 7.2 inside the rim radius, 9.6 < aFin before the face
      {"over the disk", 0.5, std::atan2(0.8, 0.6), 4},
      // n = -(0.8, 0.6): centre 7.2 beyond the face plane, only 69.6 from the axis
      {"from the side surface", 2.5, std::atan2(-0.6, -0.8), 5},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.why);
    const Work W = RimOnTip(k.q, k.a);
    const double pm0[2] = {k.q - 0.1, -0.1};
    ContactM c;
    EXPECT_EQ(TipCircleContactm2(kBuiltIn, W.Rim(), pm0, c), 0);
    EXPECT_EQ(CodesOf(c), Codes(2, k.solW));
    EXPECT_LT(rgtest::DistToCyl(rgtest::WorkCyl(W.rwM, W.EwM), LinkAt(c.q).T), cat::aFin);
  }
}

TEST(RimIterations, UnreachableOrBrokenRimsEndWithinTheCapAndWithoutNumbers) {
  // a rim parallel to the link plane 200 above it: no point is aFin from the link axis
  const Work far(0, 100, 200, kX, kZ);
  const double pm0[2] = {1.0, 0.3};
  ContactM c;
  NewtonCount n;
  EXPECT_EQ(LinkCircleCNewtonm2(kBuiltIn, far.Rim(), pm0, c, &n), 0);
  EXPECT_EQ(CodesOf(c), Codes(0, 0));
  EXPECT_LE(n.cntG, 100);
  EXPECT_LE(n.nErr, 100 * (3 + 206) + 2);
  EXPECT_FALSE(std::isnan(c.q));
  // a rim centre with a NaN
  const Work broken(std::numeric_limits<double>::quiet_NaN(), 0, 0, kX, kZ);
  EXPECT_EQ(TipCircleContactm2(kBuiltIn, broken.Rim('U'), pm0, c, &n), 0);
  EXPECT_EQ(c.solF, 0);
  EXPECT_LE(n.cntG, 100);
}

// ----------------------------------------------------------------- tip on disk

TEST(TipOnDisk, RootChoiceAndEdgesOfTheDiskAndOfTheReach) {
  // Face with outward normal -(cos a, sin a, 0) at distance D, its centre moved
  // sideways by s. With D = aFin + lFin cos(b) the tip centre reaches the lifted plane
  // at q = a - b and a + b (the smaller one >= 0 counts), lFin sin(b) from the face axis.
  struct Case {
    const char* why;
    double a, D, s;
    int ret;
    double q, Ltw;
  } cases[] = {
      {"roots 0.2 and 0.3", 0.25, cat::aFin + cat::lFin * std::cos(0.05), 0, 3, 0.2,
       cat::lFin * std::sin(0.05)},
      {"roots -0.1 and 0.4", 0.15, cat::aFin + cat::lFin * std::cos(0.25), 0, 3, 0.4,
       cat::lFin * std::sin(0.25)},
      {"both roots negative", -0.5, cat::aFin + cat::lFin * std::cos(0.1), 0, 0, 1000, cat::aCyl},
      {"contact exactly aCyl from the face centre", 0, 92, 60, 3, 0, 60},
      {"just beyond the rim", 0, 92, 60.001, 4, 0, 60.001},
      {"out of reach by less than the clamp tolerance", 0, 92.000004, 0, 3, 0, 4e-6},
      {"out of reach", 0, 92.0001, 0, 0, 1000, cat::aCyl},
      {"joint behind the face plane", 0, -10, 0, 0, 1000, cat::aCyl},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.why);
    const double ca = std::cos(k.a), sa = std::sin(k.a), mW[3] = {-ca, -sa, 0}, zw[3] = {ca, sa, 0};
    const Work W(k.D * ca - k.s * sa, k.D * sa + k.s * ca, 0, kZ, zw);
    ContactM c;
    EXPECT_EQ(FinTipDiskContactm2(kBuiltIn, 'L', W.rwM, W.EwM, mW, c), k.ret);
    EXPECT_EQ(c.solW, k.ret);
    EXPECT_NEAR(c.q, k.q, 1e-9);
    EXPECT_NEAR(c.prm.Ltw, k.Ltw, 1e-7);
  }
  // a face parallel to the link plane gives no single angle, and no NaN
  const Work P(50, 0, -cat::aFin, kX, kZ);
  ContactM c;
  EXPECT_EQ(FinTipDiskContactm2(kBuiltIn, 'U', P.rwM, P.EwM, kZ, c), 0);
  EXPECT_FALSE(std::isnan(c.q));
}

// ---------------------------------------------------------------- rim crossing

TEST(RimCrossing, PlaneOfTheLinkAndItsTwoNeighbours) {
  const double yw[3] = {0, 0, 1}, zw[3] = {0, -1, 0};
  double out[4];
  char plane;
  // rim centre 60 below the link plane: it just touches z = 0 at (100, 0, 0) (rim
  // angle pi/2), where the link's side arrives at -atan(12/100)
  const double c0[3] = {100, 0, -60.0 * (1 + 5e-9)};
  ASSERT_EQ(CircleZmPlaneCPnt(kBuiltIn, RimAt(c0, kX, yw, zw), out, plane), 1);
  EXPECT_EQ(plane, '0');
  EXPECT_NEAR(out[2], kPi / 2, 1e-12);
  EXPECT_NEAR(out[0], -std::atan(cat::aFin / 100.0), 1e-6);
  EXPECT_NEAR(out[1], 100.0, 1e-6);
  // slightly lower: only z = -aFin is crossed, on the x axis (q = 0, no side correction)
  const double c1[3] = {100, 0, -60.0 * (1 + 2e-8)};
  ASSERT_EQ(CircleZmPlaneCPnt(kBuiltIn, RimAt(c1, kX, yw, zw), out, plane), 1);
  EXPECT_EQ(plane, 'M');
  EXPECT_NEAR(c1[2] + cat::aCyl * std::sin(out[2]), -cat::aFin, 1e-9);
  EXPECT_NEAR(out[0], 0.0, 1e-12);
  // a rim parallel to the link plane inside the slab crosses none of them: the
  // estimate is taken at its point nearest to the joint axis, (40, 0, 5)
  const double c2[3] = {100, 0, 5};
  EXPECT_EQ(CircleZmPlaneCPnt(kBuiltIn, RimAt(c2, kX, kY, kZ), out, plane), 0);
  EXPECT_EQ(plane, 'N');
  EXPECT_NEAR(std::fabs(out[2]), kPi, 1e-9);
  EXPECT_NEAR(out[0], -std::atan(cat::aFin / 40.0), 1e-9);
}

TEST(RimCrossing, WhichRimTheSlabReaches) {
  // bottom face at height z; where each rim lies: 'R' above the slab |z| <= aFin,
  // 'L' below it, 'M' in it
  struct Case {
    const char* why;
    double z;
    char ul;
    const char* rims;
  } cases[] = {
      {"spanning the slab: side only", -50, 'M', "LR"},
      {"wholly above", 20, 'N', "RR"},
      {"wholly below", -130, 'N', "LL"},
      {"bottom face in the slab", 5, 'L', "MR"},
      {"top face in the slab", -95, 'U', "LM"},
  };
  char z1, z2;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.why);
    const Work W = Upright(100, 0, k.z);
    EXPECT_EQ(CylinderZmPlaneCross(kBuiltIn, W.M, z1, z2), k.ul);
    EXPECT_EQ(std::string() + z1 + z2, k.rims);
  }
  // both rims cross the slab: the lower one is met at the smaller angle
  const Work W = FacingY(0, 50);
  EXPECT_EQ(CylinderZmPlaneCross(kBuiltIn, W.M, z1, z2), 'L');
  EXPECT_EQ(std::string() + z1 + z2, "MM");
}

// ------------------------------------------------------ other hand dimensions

namespace {

// The built-in model with other link and work dimensions, as a hand file may give.
Model Resized(double lFin, double aFin, double aCyl, double hCyl, double aSph) {
  Model m = kBuiltIn;
  m.lFin = lFin;
  m.aFin = aFin;
  m.aCyl = aCyl;
  m.hCyl = hCyl;
  m.aSph = aSph;
  return m;
}

// A sphere contact checked by the test's own distances: RC on the sphere, aFin from
// the link axis (at a foot on the link) or from the tip centre, the two normals
// opposite, and the sampled link axis nowhere nearer than aFin + aSph to the centre.
void ExpectSoundSphereContact(const Model& m, const ContactM& c, const double centre[3],
                              char finger) {
  const rgtest::Link L = LinkAt(c.q, m);
  double d[3], foot[3];
  VecSub(c.RCm, centre, d);
  EXPECT_NEAR(VecNorm(d), m.aSph, 1e-9) << "not on the sphere";
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(d[i] / m.aSph, c.NWm[i], 1e-9) << "work normal " << i;
  const double t = VecDot(c.RCm, L.x);
  if (finger == 'L') {
    EXPECT_TRUE(t >= 0.0 && t <= m.lFin) << "off the link: " << t;
    VecScale(t, L.x, foot);
  } else {
    VecCopy(L.T, foot);
  }
  VecSub(c.RCm, foot, d);
  EXPECT_NEAR(VecNorm(d), m.aFin, 1e-9) << "not on the finger surface";
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(d[i] / m.aFin, -c.NWm[i], 1e-9) << "finger normal " << i;
  for (int i = 0; i <= 1000; ++i) {
    double p[3];
    VecScale(m.lFin * i / 1000, L.x, p);
    VecSub(p, centre, d);
    EXPECT_GE(VecNorm(d), m.aFin + m.aSph - 1e-9) << "link cuts into the sphere at " << i;
  }
}

}  // namespace

TEST(OtherDimensions, EverySolverTouchesWithTheModelsLinkAndWork) {
  // Scenes built from each model's dimensions (l = lFin, a = aFin, R = aCyl, d = a + R),
  // with the contact angle from plane geometry; a solver that used the built-in
  // dimensions instead would put the contact off the finger's or the work's surface.
  const Model models[] = {Resized(110, 8, cat::aCyl, cat::hCyl, cat::aSph),
                          Resized(cat::lFin, 16, cat::aCyl, cat::hCyl, cat::aSph),
                          Resized(cat::lFin, cat::aFin, 45, 130, 55)};
  for (const Model& m : models) {
    const double l = m.lFin, a = m.aFin, R = m.aCyl, d = a + R, D = a + m.aSph;
    SCOPED_TRACE("lFin " + std::to_string(l) + " aFin " + std::to_string(a) + " aCyl " +
                 std::to_string(R));
    // link on the side: the axis, r from the joint, lies d from the link line
    const double rL = std::hypot(l / 2, d), rT = std::hypot(1.3 * l, d);
    // tip on a rim: the corner P = l u(qT) + a n with n = (-cos b, sin b, 0); the work
    // normal -n points out of the face and the side, and since qT + b > pi/2 (u.n > 0)
    // P is beyond the link's reach (|P|^2 - a^2 > l^2)
    const double qT = 0.5, b = 1.2;
    const double P[2] = {l * std::cos(qT) - a * std::cos(b), l * std::sin(qT) + a * std::sin(b)};
    const double phi = 0.6;
    const double sTD = a + 0.35 * l;  // tip on a face: the face plane y = sTD
    struct Scene {
      const char* type;
      Work W;
      double q;
    } scenes[] = {
        {"LL", Upright(rL * std::cos(1.0), rL * std::sin(1.0), -m.hCyl / 2),
         1.0 - std::asin(d / rL)},
        {"TL", Upright(rT * std::cos(phi), rT * std::sin(phi), -m.hCyl / 2),
         phi - std::acos((l * l + rT * rT - d * d) / (2 * l * rT))},
        {"LC", FacingY(0, l / 2), std::atan2(l / 2, R) - std::asin(a / std::hypot(R, l / 2))},
        {"TC", FacingY(P[0] - R, P[1]), qT},
        {"TD", FacingY(l * std::cos(std::asin(0.35)) - R / 4, sTD), std::asin(0.35)},
    };
    for (const Scene& k : scenes) {
      SCOPED_TRACE(k.type);
      ContactM c;
      if (std::string(k.type) == "TC") {
        // started 0.02 from the contact in both unknowns (the solver adds 0.1 to its
        // start): from the link-rim result, 0.1 away, a thin tip can slip to the
        // tangency on the far side of the rim
        const double pm0[2] = {qT + 0.02 - 0.1, 0.02 - 0.1};
        ASSERT_EQ(TipCircleContactm2(m, k.W.Rim('L', m), pm0, c), 1);
      } else {
        ASSERT_EQ(Solve(k.type, k.W, c, nullptr, m), 1);
      }
      EXPECT_NEAR(c.q, k.q, 1e-6);
      rgtest::ExpectSoundContact(LinkAt(c.q, m), rgtest::WorkCyl(k.W.rwM, k.W.EwM, m), k.type,
                                 c.RCm, c.NWm, &c.prm);
    }

    // the swept first touch of the side scene: the link axis point it names is aFin
    // from the work
    SweptTouch st;
    ASSERT_TRUE(SweepFirstTouch(m, scenes[0].W.M, st));
    double p[3];
    VecScale(st.t, LinkAt(st.q, m).x, p);
    EXPECT_NEAR(rgtest::DistToCyl(rgtest::WorkCyl(scenes[0].W.rwM, scenes[0].W.EwM, m), p), a,
                1e-6);
    EXPECT_NEAR(st.q, scenes[0].q, 1e-6);

    // the sphere: the link's side (centre distance D from the link line) and the tip
    for (const char finger : {'L', 'T'}) {
      SCOPED_TRACE(finger);
      const double r = finger == 'L' ? std::hypot(l / 2, D) : std::hypot(1.3 * l, D);
      const Work S(r * std::cos(1.0), r * std::sin(1.0), 0, kX, kZ);
      ContactM c;
      const int found = finger == 'L' ? FinLinkSphereContactm(m, 0.0, S.M, c)
                                      : FinTipSphereContactm(m, 0.0, S.M, c);
      ASSERT_EQ(found, 1);
      const double q = finger == 'L' ? 1.0 - std::asin(D / r)
                                     : 1.0 - std::acos((l * l + r * r - D * D) / (2 * l * r));
      EXPECT_NEAR(c.q, q, 1e-9);
      ExpectSoundSphereContact(m, c, S.rwM, finger);
    }
  }
}
