// The rolling-contact constraints of one finger, the link-rim distance and the
// Newton solver, on contacts built by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "manip/manip.h"
#include "numerics/vecmat.h"
#include "support.h"
#include "test_manip_scene.h"

namespace {

using namespace rg;
using rgtest::DistFromLine;
using rgtest::FixedAt;
using rgtest::PlaceRim;
using rgtest::RimScene;

// A bent finger of hand 1: joints 3 and 4 closed by 0.6 and 0.9 rad.
const double kQ[5] = {0, 0.05, 0.1, 0.6, 0.9};

class RimContactTest : public rgtest::StartedSimTest {};

// ---- link-rim distance

TEST_F(RimContactTest, DistanceFindsTheTouchingRimPointOnBothSurfaces) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 37.0, 0.8, 1.2, 0.4);
  PRStepFixed in = FixedAt(sc, 1);
  RimContact c;
  double ERR[4], ERRT;
  EXPECT_EQ(PRCirMotion2ERR4(s(), in, sc.q, c, ERR, &ERRT), 1);
  EXPECT_NEAR(c.D, 0.0, 1e-9);
  EXPECT_NEAR(c.Lf, 37.0, 1e-9);
  EXPECT_NEAR(c.fif, 0.8, 1e-9);
  EXPECT_NEAR(c.thw, 1.2, 1e-9);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(c.rwc[i], sc.p[i], 1e-8);
    EXPECT_NEAR(c.rfc[i], sc.p[i], 1e-8);
    EXPECT_NEAR(c.N[i], sc.N[i], 1e-9);
  }
}

TEST_F(RimContactTest, DistanceIsTheGapAlongTheNormalAndNegativeWhenCutting) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 50.0, -2.0, -0.5, 1.1);
  for (double gap : {3.0, -2.5}) {
    double rwP[3];
    VecAddScaled(sc.rwP, -gap, sc.N, rwP);  // the rim pulled away from (or into) the link
    double F[3][3], z[3], xz[3];
    MatColumn(s().EA[1][4], 2, z);
    VecCross(sc.x, z, xz);
    for (int i = 0; i < 3; ++i) {
      F[i][0] = z[i];
      F[i][1] = xz[i];
      F[i][2] = sc.x[i];
    }
    RimContact c;
    LinkCircleDistanceA2(s().JA[1][4], lFin, aFin, F, rwP, hCyl, aCyl, sc.Ew, 50.0, -2.0, -0.5,
                         c);
    EXPECT_NEAR(c.D, gap, 1e-9);
    // the rim point is on the rim, the link point on the link surface, the two
    // a distance D apart along the normal
    double d[3], rf[3];
    VecSub(c.rwc, rwP, d);
    EXPECT_NEAR(VecNorm(d), aCyl, 1e-9);
    double ez[3];
    MatColumn(sc.Ew, 2, ez);
    EXPECT_NEAR(VecDot(d, ez), 0.0, 1e-9);
    EXPECT_NEAR(DistFromLine(c.rfc, s().JA[1][4], sc.x), aFin, 1e-9);
    VecSub(c.rfc, c.rwc, rf);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(rf[i], c.D * c.N[i], 1e-9);
  }
}

// Link frame: axis along z. A rim in the plane x-z centred on the x axis at
// c1 = -a cos(alpha) crosses the axis at phi +- alpha, two equally near points.
void SymmetricRim(double phi, double alpha, double rwM[3], double EwM[3][3]) {
  const double a = aCyl;
  VecSet(-a * std::cos(alpha), 0.0, 0.0, rwM);
  // u = (cos phi, 0, -sin phi), v = (sin phi, 0, cos phi), normal -y
  const double u[3] = {std::cos(phi), 0.0, -std::sin(phi)};
  const double v[3] = {std::sin(phi), 0.0, std::cos(phi)};
  for (int i = 0; i < 3; ++i) {
    EwM[i][0] = u[i];
    EwM[i][1] = v[i];
  }
  double w[3];
  VecCross(u, v, w);
  for (int i = 0; i < 3; ++i) EwM[i][2] = w[i];
}

TEST(LinkCircleDistance, EqualRootsGoToTheOneNearerThePreviousRimAngle) {
  double rwM[3], EwM[3][3];
  SymmetricRim(0.3, 0.9, rwM, EwM);  // equally near points at 1.2 and -0.6
  RimContact c;
  LinkCircleDistance2m(lFin, aFin, rwM, aCyl, EwM, 0, 0, 1.0, c);
  EXPECT_NEAR(c.thw, 1.2, 1e-7);
  LinkCircleDistance2m(lFin, aFin, rwM, aCyl, EwM, 0, 0, -1.0, c);
  EXPECT_NEAR(c.thw, -0.6, 1e-7);
  EXPECT_NEAR(c.D, -aFin, 1e-6);  // the rim passes through the link axis
}

TEST(LinkCircleDistance, TieBreakUsesThePlainDifferenceWithoutWrapping) {
  // equally near points at 2.9 and -3.1 (= 3.1832 on the circle)
  const double phi = 0.5 * (2.9 + (k2Pi - 3.1)), alpha = phi - 2.9;
  double rwM[3], EwM[3][3];
  SymmetricRim(phi, alpha, rwM, EwM);
  RimContact c;
  LinkCircleDistance2m(lFin, aFin, rwM, aCyl, EwM, 0, 0, 3.1, c);
  EXPECT_NEAR(c.thw, 2.9, 1e-7);  // |2.9-3.1| = 0.2 beats |-3.1-3.1| = 6.2
  LinkCircleDistance2m(lFin, aFin, rwM, aCyl, EwM, 0, 0, -3.0, c);
  EXPECT_NEAR(c.thw, -3.1, 1e-7);
}

TEST(LinkCircleDistance, ChoosesTheNearestOfSeveralStationaryPoints) {
  // rims in general position: the chosen point is the rim's nearest point to the
  // axis found by a dense scan of the circle
  unsigned seed = 12345;
  auto rnd = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return ((seed >> 8) & 0xFFFF) / 65535.0;
  };
  int checked = 0;
  for (int trial = 0; trial < 200; ++trial) {
    double E[3][3], A[3][3], B[3][3];
    Cz(k2Pi * rnd(), A);
    Cx(kPi * rnd(), B);
    MatMul(A, B, E);
    Cz(k2Pi * rnd(), A);
    MatMul(E, A, B);
    const double rwM[3] = {-90 + 180 * rnd(), -90 + 180 * rnd(), -50 + 200 * rnd()};
    RimContact c;
    LinkCircleDistance2m(lFin, aFin, rwM, aCyl, B, 0, 0, 0.0, c);
    double best = 1e300;
    for (int k = 0; k < 20000; ++k) {
      const double th = -kPi + k2Pi * k / 20000.0;
      double P[3];
      for (int i = 0; i < 3; ++i)
        P[i] = rwM[i] + aCyl * (std::cos(th) * B[i][0] + std::sin(th) * B[i][1]);
      best = std::fmin(best, std::hypot(P[0], P[1]));
    }
    // the chosen point lies on the rim and is (within the scan's resolution) the nearest
    double d[3];
    VecSub(c.rwc, rwM, d);
    ASSERT_NEAR(VecNorm(d), aCyl, 1e-9);
    ASSERT_LE(std::hypot(c.rwc[0], c.rwc[1]), best + 1e-3) << "trial " << trial;
    ASSERT_NEAR(c.D, std::hypot(c.rwc[0], c.rwc[1]) - aFin, 1e-9);
    ++checked;
  }
  EXPECT_EQ(checked, 200);
}

TEST(LinkCircleDistance, FindsANearestPointJustBelowPi) {
  // rim in the plane x-z, centre 70 from the axis: its point nearest the axis lies
  // at the rim angle phi, 10 from the axis (the rim cuts 2 into the link)
  for (double phi : {3.12, 3.05, 3.14159, -3.14, -1.0}) {
    double rwM[3], EwM[3][3];
    SymmetricRim(phi, 0.0, rwM, EwM);
    rwM[0] = -70.0;
    for (double thw1 : {0.0, phi}) {
      RimContact c;
      LinkCircleDistance2m(lFin, aFin, rwM, aCyl, EwM, 0, 0, thw1, c);
      EXPECT_NEAR(std::remainder(c.thw - phi, k2Pi), 0.0, 1e-9) << phi << " from " << thw1;
      EXPECT_NEAR(c.D, -2.0, 1e-9);
      EXPECT_GT(c.thw, -kPi - 1e-12);
      EXPECT_LE(c.thw, kPi + 1e-12);
    }
  }
}

TEST(LinkCircleDistance, RimCentredOnTheAxisKeepsThePreviousRimAngle) {
  // every rim point is equally far from the axis; the contact must not jump
  const double rwM[3] = {0, 0, 30};
  double EwM[3][3];
  MatIdentity(EwM);
  RimContact c;
  LinkCircleDistance2m(lFin, aFin, rwM, aCyl, EwM, 0, 0, 0.7, c);
  EXPECT_DOUBLE_EQ(c.thw, 0.7);
  EXPECT_NEAR(c.D, aCyl - aFin, 1e-12);
  EXPECT_NEAR(c.Lf, 30.0, 1e-12);
  EXPECT_NEAR(c.rwc[0], aCyl * std::cos(0.7), 1e-12);
  EXPECT_NEAR(c.rwc[1], aCyl * std::sin(0.7), 1e-12);
  EXPECT_TRUE(std::isfinite(c.fif) && std::isfinite(c.N[0]) && std::isfinite(c.rfc[2]));
}

// ---- the four constraint errors

TEST_F(RimContactTest, ErrorsVanishAtAnExactRollingContact) {
  for (double beta : {0.0, 0.7, -1.3, 1.5707963}) {
    const RimScene sc = PlaceRim(s(), 2, kQ, 22.0, 2.5, -2.2, beta);
    PRStepFixed in = FixedAt(sc, 2);
    RimContact c;
    double ERR[4], ERRT;
    PRCirMotion2ERR4(s(), in, sc.q, c, ERR, &ERRT);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(ERR[i], 0.0, 1e-9) << "beta " << beta << " i " << i;
    EXPECT_LT(ERRT, 1e-8);
    EXPECT_EQ(ERRT, std::fabs(ERR[0]) + std::fabs(ERR[1]) + std::fabs(ERR[2]) + std::fabs(ERR[3]));
  }
}

TEST_F(RimContactTest, EachErrorMeasuresItsOwnMismatch) {
  const double beta = 0.6, d = 1e-3;
  const RimScene sc = PlaceRim(s(), 1, kQ, 40.0, 0.5, 0.9, beta);
  RimContact c;
  double ERR[4], ERRT;

  // gap: the rim pulled away along the normal
  PRStepFixed in = FixedAt(sc, 1);
  VecAddScaled(sc.rwP, -d, sc.N, in.rwP2);
  PRCirMotion2ERR4(s(), in, sc.q, c, ERR, &ERRT);
  EXPECT_NEAR(ERR[0], d, 1e-10);
  EXPECT_NEAR(ERR[1], 0.0, 1e-9);
  EXPECT_NEAR(ERR[2], 0.0, 1e-9);

  // the contact moved along the link on the finger only: slip along the axis
  in = FixedAt(sc, 1);
  in.Lf1 += d;
  PRCirMotion2ERR4(s(), in, sc.q, c, ERR, &ERRT);
  EXPECT_NEAR(ERR[1], d, 1e-10);
  EXPECT_NEAR(ERR[2], 0.0, 1e-10);

  // the contact moved around the link on the finger only: slip of arc aFin*d
  in = FixedAt(sc, 1);
  in.fif1 += d;
  PRCirMotion2ERR4(s(), in, sc.q, c, ERR, &ERRT);
  EXPECT_NEAR(ERR[1], 0.0, 1e-10);
  EXPECT_NEAR(ERR[2], aFin * d, 1e-10);

  // the contact moved on the rim only: arc aCyl*d along the rim tangent, which
  // runs at beta from the link axis
  in = FixedAt(sc, 1);
  in.thw1 += d;
  PRCirMotion2ERR4(s(), in, sc.q, c, ERR, &ERRT);
  EXPECT_NEAR(ERR[1], -aCyl * d * std::cos(beta), 1e-9);
  EXPECT_NEAR(ERR[2], -aCyl * d * std::sin(beta), 1e-9);
  EXPECT_NEAR(ERR[3], 0.0, 1e-12);

  // spin: the last joint turned by d since the first PR motion; its axis is the
  // link frame's z axis, which makes -cos(fif) with the normal
  in = FixedAt(sc, 1);
  in.q12[4] -= d;
  PRCirMotion2ERR4(s(), in, sc.q, c, ERR, &ERRT);
  EXPECT_NEAR(ERR[3], -d * std::cos(0.5), 1e-12);
  EXPECT_NEAR(ERR[0], 0.0, 1e-9);
}

TEST_F(RimContactTest, SpinIsExactlyZeroAtTheFirstPrMotionAngles) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 40.0, 0.5, 0.9, 0.2);
  PRStepFixed in = FixedAt(sc, 1);
  in.Lf1 += 5;  // other errors present
  RimContact c;
  double ERR[4], ERRT;
  PRCirMotion2ERR4(s(), in, in.q12, c, ERR, &ERRT);
  EXPECT_EQ(ERR[3], 0.0);
}

TEST_F(RimContactTest, AngleDifferencesWrapAcrossPi) {
  // the finger angle went from 3.1 to -3.1: a roll of -0.0832 rad, not 6.2
  const RimScene sc = PlaceRim(s(), 1, kQ, 40.0, -3.1, 0.4, 0.5);
  PRStepFixed in = FixedAt(sc, 1);
  in.fif1 = 3.1;
  RimContact c;
  double ERR[4], ERRT;
  PRCirMotion2ERR4(s(), in, sc.q, c, ERR, &ERRT);
  EXPECT_NEAR(c.fif, -3.1, 1e-9);
  EXPECT_NEAR(ERR[2], aFin * (6.2 - 6.2831853072), 1e-8);

  // the rim angle likewise
  const RimScene sr = PlaceRim(s(), 1, kQ, 40.0, 0.3, -3.1, 0.0);
  in = FixedAt(sr, 1);
  in.thw1 = 3.1;
  PRCirMotion2ERR4(s(), in, sr.q, c, ERR, &ERRT);
  EXPECT_NEAR(ERR[1], -aCyl * (6.2 - 6.2831853072), 1e-7);
}

TEST_F(RimContactTest, ContactBeyondTheLinkIsFlagged) {
  for (double Lf : {-0.5, lFin + 0.5}) {
    const RimScene sc = PlaceRim(s(), 1, kQ, Lf, 0.5, 0.9, 0.2);
    PRStepFixed in = FixedAt(sc, 1);
    RimContact c;
    double ERR[4], ERRT;
    EXPECT_EQ(PRCirMotion2ERR4(s(), in, sc.q, c, ERR, &ERRT), 2);
    EXPECT_LT(ERRT, 1e-8);
  }
}

// ---- Jacobian and Newton solver

TEST_F(RimContactTest, JacobianColumnsAreTheErrorRatesOfEachJoint) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 35.0, 0.4, 0.3, 0.9);
  PRStepFixed in = FixedAt(sc, 1);
  in.Lf1 += 0.01;  // away from the solution so that the descent test has work to do
  double JB4[4][4], IJB4[4][4], dq00, det;
  ASSERT_EQ(PRCirMotion2Jacobian4(s(), in, sc.q, JB4, IJB4, &dq00, &det), 'Y');
  EXPECT_EQ(dq00, 1e-9);
  EXPECT_EQ(s().sgnC[1], 'Y');
  const double h = 1e-5;
  for (int j = 1; j <= 4; ++j) {
    double qp[kSlots], qm[kSlots], Ep[4], Em[4], T;
    RimContact c;
    for (int k = 0; k < kSlots; ++k) qp[k] = qm[k] = sc.q[k];
    qp[j] += h;
    qm[j] -= h;
    PRCirMotion2ERR4(s(), in, qp, c, Ep, &T);
    PRCirMotion2ERR4(s(), in, qm, c, Em, &T);
    for (int i = 0; i < 4; ++i)
      EXPECT_NEAR(JB4[i][j - 1], (Ep[i] - Em[i]) / (2 * h), 1e-4 * (1 + std::fabs(JB4[i][j - 1])))
          << "row " << i << " joint " << j;
  }
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double e = 0;
      for (int k = 0; k < 4; ++k) e += IJB4[i][k] * JB4[k][j];
      EXPECT_NEAR(e, i == j ? 1.0 : 0.0, 1e-9);
    }
  EXPECT_GT(std::fabs(det), 1e-4);
}

TEST_F(RimContactTest, NewtonAcceptsAStartAlreadyInContactWithoutAJacobian) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 35.0, 0.4, 0.3, 0.9);
  PRStepFixed in = FixedAt(sc, 1);
  s().cntManip0 = 0;  // starts from the first PR motion's angles
  PRStepResult out;
  PRNewtonStats st;
  EXPECT_EQ(PRCirMotion2Newton4(s(), in, out, &st), 'Y');
  EXPECT_EQ(st.jacobians, 0);
  EXPECT_EQ(st.trials, 0);
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(out.q2[j], sc.q[j]);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(out.RC2[i], sc.p[i], 1e-8);
    EXPECT_NEAR(out.NW2[i], sc.N[i], 1e-9);
  }
}

// A finger whose history extrapolates to q + dq; the exact contact is at q.
PRStepFixed StartAway(Sim& s, const RimScene& sc, int kf, const double dq[5]) {
  PRStepFixed in = FixedAt(sc, kf);
  s.cntManip0 = 7;
  for (int j = 0; j <= 4; ++j) s.qqa2[0][kf][j] = s.qqa2[1][kf][j] = sc.q[j] + dq[j];
  return in;
}

TEST_F(RimContactTest, NewtonRestoresTheContactFromADisturbedStart) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 35.0, 0.4, 0.3, 0.9);
  const double dq[5] = {0, 0.004, -0.003, 0.002, 0.005};
  PRStepFixed in = StartAway(s(), sc, 1, dq);
  PRStepResult out;
  PRNewtonStats st;
  ASSERT_EQ(PRCirMotion2Newton4(s(), in, out, &st), 'Y');
  EXPECT_GE(st.jacobians, 1);
  // a direction is repeated while it helps and cut tenfold when it does not; only
  // after twelve cuts does a new Jacobian replace it
  EXPECT_GT(st.reductions, 0);
  EXPECT_EQ(st.reductions, kNewtonMaxReduce * (st.jacobians - 1));
  EXPECT_EQ(st.cnt1, st.trials + st.jacobians - 1);
  // the result touches the rim with the same contact parameters: the hand-built pose
  for (int j = 1; j <= 4; ++j) EXPECT_NEAR(out.q2[j], sc.q[j], 1e-6) << j;
  double d[3];
  VecSub(out.RC2, sc.rwP, d);
  EXPECT_NEAR(VecNorm(d), aCyl, 1e-9);
  EXPECT_NEAR(DistFromLine(out.RC2, s().JA[1][4], sc.x), aFin, 1e-6);
  EXPECT_NEAR(out.Lf2, 35.0, 1e-5);
}

TEST_F(RimContactTest, NewtonStepsAreLimitedAndTheIterationLimitEndsInDeadlock) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 35.0, 0.4, 0.3, 0.9);
  const double dq[5] = {0, 0.0, 0.0, 0.06, -0.05};
  PRStepFixed in = StartAway(s(), sc, 1, dq);
  PRStepResult out;
  PRNewtonStats st;
  ASSERT_EQ(PRCirMotion2Newton4(s(), in, out, &st), 'Y');
  EXPECT_LE(st.maxStep, 0.01 + 1e-15);  // no joint moves more than 0.01 rad per trial
  EXPECT_GE(st.trials, 6);              // 0.06 rad to go at 0.01 per trial

  // the same solve cut short by the limit on trials plus Jacobian updates
  in = StartAway(s(), sc, 1, dq);
  EXPECT_EQ(PRCirMotion2Newton4(s(), in, out, &st, 3), 'D');
  EXPECT_EQ(st.cnt1, 3);
  EXPECT_EQ(kNewtonMaxIter, 10000);
}

TEST_F(RimContactTest, NewtonGivesUpOnAnUnreachableRim) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 35.0, 0.4, 0.3, 0.9);
  PRStepFixed in = FixedAt(sc, 1);
  VecAddScaled(sc.rwP, -1000.0, sc.N, in.rwP2);  // far beyond the finger's reach
  s().cntManip0 = 0;
  PRStepResult out;
  PRNewtonStats st;
  EXPECT_EQ(PRCirMotion2Newton4(s(), in, out, &st), 'D');
  EXPECT_LE(st.cnt1, kNewtonMaxIter);
}

TEST_F(RimContactTest, NewtonReportsAContactOffTheLinkWithCompleteOutputs) {
  const RimScene sc = PlaceRim(s(), 1, kQ, lFin + 0.3, 0.4, 0.3, 0.9);
  PRStepFixed in = FixedAt(sc, 1);
  s().cntManip0 = 0;
  PRStepResult out;
  EXPECT_EQ(PRCirMotion2Newton4(s(), in, out), 'O');
  EXPECT_NEAR(out.Lf2, lFin + 0.3, 1e-8);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(out.RC2[i], sc.p[i], 1e-8);
    EXPECT_NEAR(out.NW2[i], sc.N[i], 1e-9);
  }
}

}  // namespace
