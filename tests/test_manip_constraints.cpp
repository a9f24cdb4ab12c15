// The rolling-contact constraints of one finger, the link-rim distance and the
// Newton solver, on contacts built by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "hand/hand.h"
#include "manip/manip.h"
#include "numerics/vecmat.h"
#include "support.h"
#include "test_manip_scene.h"

namespace {

using namespace rg;
using namespace rgtest;

const Model& Catalogue() { return *CatalogueModel(1); }
RimCircle Rim(const double c[3], const double E[3][3]) {
  RimCircle r;
  VecCopy(c, r.c);
  MatCopy(E, r.E);
  return r;
}

class RimContactTest : public StartedSimTest {};

// ---- the contact and its four errors on hand-built poses

// A contact built by hand, the rim then moved away from the link along the normal by
// gap (< 0: into it): the same contact parameters, the gap measured, no other error;
// with the trials' kinematics taking the built-in joint frames as permutations of the
// axes, and multiplying by them as by any rotation (a hand from a file).
TEST_F(RimContactTest, ErrorsVanishAtAnExactContactButForTheGapOnAndOffTheLink) {
  struct Case {
    int kf;
    double Lf, fif, thw, beta, gap;
    int solE;  // 2: the contact lies off the link
  };
  const Case cases[] = {
      {1, 37, 0.8, 1.2, 0.4, 0, 1},    {1, 50, -2, -0.5, 1.1, 3, 1},
      {1, 50, -2, -0.5, 1.1, -2.5, 1}, {2, 22, 2.5, -2.2, 0, 0, 1},
      {2, 22, 2.5, -2.2, -1.3, 0, 1},  {2, 22, 2.5, -2.2, 1.5707963, 0, 1},
      {2, -0.5, 2.5, -2.2, 0.2, 0, 2}, {2, catalogue::lFin + 0.5, 2.5, -2.2, 0.2, 0, 2}};
  for (const bool permutations : {true, false}) {
    for (const Case& k : cases) {
      SCOPED_TRACE(testing::Message() << k.kf << " " << k.Lf << " " << k.beta << " " << k.gap
                                      << (permutations ? "" : " frames multiplied"));
      const RimScene sc = PlaceRim(s(), k.kf, kBentQ, k.Lf, k.fif, k.thw, k.beta);
      PRStepFixed in = FixedAt(s(), sc, k.kf);
      for (int j = 1; j <= 4; ++j) {
        EXPECT_TRUE(in.turns.perm[j]) << j;
        in.turns.perm[j] = permutations;
      }
      VecAddScaled(sc.rwP, -k.gap, sc.N, in.rwP2);
      RimContact c;
      double ERR[4], ERRT;
      EXPECT_EQ(PRCirMotion2ERR4(s().model(), in, sc.q, c, ERR, &ERRT), k.solE);
      for (int i = 0; i < 4; ++i) EXPECT_NEAR(ERR[i], i == 0 ? k.gap : 0.0, 1e-9) << i;
      EXPECT_NEAR(c.D, k.gap, 1e-9);
      EXPECT_NEAR(c.Lf, k.Lf, 1e-9);
      EXPECT_NEAR(c.fif, k.fif, 1e-9);
      EXPECT_NEAR(c.thw, k.thw, 1e-9);
      for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(c.rwc[i], sc.p[i] - k.gap * sc.N[i], 1e-8);  // on the moved rim
        EXPECT_NEAR(c.rfc[i], sc.p[i], 1e-8);                    // on the link surface
        EXPECT_NEAR(c.N[i], sc.N[i], 1e-9);
      }
    }
  }
}

constexpr double kD = 1e-3;

TEST_F(RimContactTest, EachErrorMeasuresItsOwnMismatchAndAnglesWrapAcrossPi) {
  struct Case {
    const char* what;
    double fif, thw, beta;
    void (*change)(PRStepFixed&);
    double err[4];  // gap, slip along the link, slip around it, spin
    bool rebuild = false;  // the finger before the step changed: rebuild what depends on it
  };
  const Case cases[] = {
      {"contact moved along the link on the finger only",
       0.5,
       0.9,
       0.6,
       [](PRStepFixed& in) { in.Lf1 += kD; },
       {0, kD, 0, 0}},
      {"contact moved around the link on the finger only",
       0.5,
       0.9,
       0.6,
       [](PRStepFixed& in) { in.fif1 += kD; },
       {0, 0, catalogue::aFin * kD, 0}},
      {"contact moved on the rim only, whose tangent is at beta to the link",
       0.5,
       0.9,
       0.6,
       [](PRStepFixed& in) { in.thw1 += kD; },
       {0, -catalogue::aCyl * kD * std::cos(0.6), -catalogue::aCyl * kD * std::sin(0.6), 0}},
      {"last joint turned since the step began; its axis makes -cos(fif) with N",
       0.5,
       0.9,
       0.6,
       [](PRStepFixed& in) { in.q1[4] -= kD; },
       {0, 0, 0, -kD * std::cos(0.5)},
       true},
      {"the prediction does not count: a turn since the first PR motion is no spin",
       0.5,
       0.9,
       0.6,
       [](PRStepFixed& in) { in.q12[4] -= kD; },
       {0, 0, 0, 0}},
      {"finger angle 3.1 -> -3.1 rolls -0.0832 rad, not 6.2",
       -3.1,
       0.4,
       0.5,
       [](PRStepFixed& in) { in.fif1 = 3.1; },
       {0, 0, catalogue::aFin * (6.2 - k2Pi), 0}},
      {"rim angle 3.1 -> -3.1",
       0.3,
       -3.1,
       0.0,
       [](PRStepFixed& in) { in.thw1 = 3.1; },
       {0, -catalogue::aCyl * (6.2 - k2Pi), 0, 0}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const RimScene sc = PlaceRim(s(), 1, kBentQ, 40.0, k.fif, k.thw, k.beta);
    PRStepFixed in = FixedAt(s(), sc, 1);
    k.change(in);
    if (k.rebuild) PRStepBefore(s().model(), in, sc.Ew);
    RimContact c;
    double ERR[4], ERRT;
    PRCirMotion2ERR4(s().model(), in, sc.q, c, ERR, &ERRT);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(ERR[i], k.err[i], 1e-8) << i;
  }
}

// ---- link-rim distance: which stationary point is the contact

// Link frame, axis along z: a rim in the x-z plane centred at x = -catalogue::aCyl cos(alpha)
// crosses the axis at rim angles phi +- alpha, two equally near points.
void SymmetricRim(double phi, double alpha, double rwM[3], double EwM[3][3]) {
  VecSet(-catalogue::aCyl * std::cos(alpha), 0.0, 0.0, rwM);
  const double u[3] = {std::cos(phi), 0.0, -std::sin(phi)};
  const double v[3] = {std::sin(phi), 0.0, std::cos(phi)};
  double w[3];
  VecCross(u, v, w);
  for (int i = 0; i < 3; ++i) {
    EwM[i][0] = u[i];
    EwM[i][1] = v[i];
    EwM[i][2] = w[i];
  }
}

TEST(LinkCircleDistance, EqualRootsGoToTheOneNearerThePreviousRimAngleWithoutWrapping) {
  // roots 2.9 and -3.1 (3.1832 on the circle): from 3.1, |2.9-3.1| = 0.2 beats |-3.1-3.1|
  const double phiT = 0.5 * (2.9 + (k2Pi - 3.1));
  struct Case {
    double phi, alpha, thw1, want;
  };
  for (const Case k : {Case{0.3, 0.9, 1.0, 1.2}, Case{0.3, 0.9, -1.0, -0.6},
                       Case{phiT, phiT - 2.9, 3.1, 2.9}, Case{phiT, phiT - 2.9, -3.0, -3.1}}) {
    SCOPED_TRACE(k.thw1);
    double rwM[3], EwM[3][3];
    SymmetricRim(k.phi, k.alpha, rwM, EwM);
    RimContact c;
    LinkCircleDistance2m(Catalogue(), Rim(rwM, EwM), k.thw1, c);
    EXPECT_NEAR(c.thw, k.want, 1e-7);
    EXPECT_NEAR(c.D, -catalogue::aFin, 1e-6);  // the rim passes through the link axis
  }
}

TEST(LinkCircleDistance, ChoosesTheRimPointNearestTheAxis) {
  // rims in general position against a scan of the circle
  unsigned seed = 12345;
  auto rnd = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return ((seed >> 8) & 0xFFFF) / 65535.0;
  };
  for (int trial = 0; trial < 60; ++trial) {
    SCOPED_TRACE(trial);
    double E[3][3], A[3][3], B[3][3];
    Cz(k2Pi * rnd(), A);
    Cx(kPi * rnd(), B);
    MatMul(A, B, E);
    Cz(k2Pi * rnd(), A);
    MatMul(E, A, B);
    const double rwM[3] = {-90 + 180 * rnd(), -90 + 180 * rnd(), -50 + 200 * rnd()};
    RimContact c;
    LinkCircleDistance2m(Catalogue(), Rim(rwM, B), 0.0, c);
    double best = 1e300;
    for (int k = 0; k < 3600; ++k) {
      const double th = k2Pi * k / 3600.0;
      double P[3];
      for (int i = 0; i < 3; ++i)
        P[i] = rwM[i] + catalogue::aCyl * (std::cos(th) * B[i][0] + std::sin(th) * B[i][1]);
      best = std::fmin(best, std::hypot(P[0], P[1]));
    }
    ASSERT_LE(std::hypot(c.rwc[0], c.rwc[1]), best + 1e-3);
    // and exactly so: the rim tangent there is normal to the offset from the axis
    const double ct = std::cos(c.thw), st = std::sin(c.thw);
    ASSERT_NEAR(c.rwc[0] * (ct * B[0][1] - st * B[0][0]) + c.rwc[1] * (ct * B[1][1] - st * B[1][0]),
                0.0, 1e-10);
    ASSERT_NEAR(c.D, std::hypot(c.rwc[0], c.rwc[1]) - catalogue::aFin, 1e-9);
  }
}

// A rim point followed from any angle and certified as the nearest one (without the
// scan) is the nearest by the sampled circle; rims near edge-on included. Both the
// certified and the undecided case occur.
TEST(LinkCircleDistance, CertifiedFollowedPointsAreTheNearest) {
  unsigned seed = 777;
  auto rnd = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return ((seed >> 8) & 0xFFFF) / 65535.0;
  };
  int certified = 0, undecided = 0;
  for (int trial = 0; trial < 400; ++trial) {
    SCOPED_TRACE(trial);
    double E[3][3], A[3][3], B[3][3];
    Cz(k2Pi * rnd(), A);
    Cx(trial % 4 == 0 ? kPi / 2 + 1e-4 * (rnd() - 0.5) : kPi * rnd(), B);  // some edge-on
    MatMul(A, B, E);
    Cz(k2Pi * rnd(), A);
    MatMul(E, A, B);
    const double rwM[3] = {-90 + 180 * rnd(), -90 + 180 * rnd(), -50 + 200 * rnd()};
    const double from = k2Pi * rnd() - kPi;
    RimContact c;
    LinkCircleDistance2m(Catalogue(), Rim(rwM, B), from, c, &from);
    if (!RimContactCertified(c)) {
      ++undecided;
      continue;
    }
    ++certified;
    double best = 1e300;
    for (int k = 0; k < 7200; ++k) {
      const double th = k2Pi * k / 7200.0;
      double P[3];
      for (int i = 0; i < 3; ++i)
        P[i] = rwM[i] + catalogue::aCyl * (std::cos(th) * B[i][0] + std::sin(th) * B[i][1]);
      best = std::fmin(best, std::hypot(P[0], P[1]));
    }
    ASSERT_LE(std::hypot(c.rwc[0], c.rwc[1]), best + 1e-6);
  }
  EXPECT_GT(certified, 100);
  EXPECT_GT(undecided, 20);
}

TEST(LinkCircleDistance, FindsTheNearestPointJustBelowPiAndOnAFarRim) {
  // centre at distance `off` from the axis: the nearest point is at rim angle phi; a
  // rim thousands away has no root below the search bound and still gets its nearest
  for (double off : {70.0, 5000.0})
    for (double phi : {3.12, 3.05, 3.14159, -3.14, -1.0})
      for (double thw1 : {0.0, phi}) {
        SCOPED_TRACE(testing::Message() << off << " " << phi << " from " << thw1);
        double rwM[3], EwM[3][3];
        SymmetricRim(phi, 0.0, rwM, EwM);
        rwM[0] = -off;
        RimContact c;
        LinkCircleDistance2m(Catalogue(), Rim(rwM, EwM), thw1, c);
        EXPECT_NEAR(std::remainder(c.thw - phi, k2Pi), 0.0, 1e-9);
        EXPECT_NEAR(c.D, off - catalogue::aCyl - catalogue::aFin, 1e-9);
        EXPECT_GT(c.thw, -kPi - 1e-12);
        EXPECT_LE(c.thw, kPi + 1e-12);
      }
}

TEST(LinkCircleDistance, RimCentredOnTheAxisKeepsThePreviousRimAngle) {
  // every rim point is equally far from the axis: no root, and the contact must not jump
  const double rwM[3] = {0, 0, 30};
  double EwM[3][3];
  MatIdentity(EwM);
  RimContact c;
  LinkCircleDistance2m(Catalogue(), Rim(rwM, EwM), 0.7, c);
  EXPECT_DOUBLE_EQ(c.thw, 0.7);
  EXPECT_NEAR(c.D, catalogue::aCyl - catalogue::aFin, 1e-12);
  EXPECT_NEAR(c.Lf, 30.0, 1e-12);
  EXPECT_NEAR(std::atan2(c.rwc[1], c.rwc[0]), 0.7, 1e-12);
  EXPECT_TRUE(std::isfinite(c.fif) && std::isfinite(c.N[0]) && std::isfinite(c.rfc[2]));
}

// ---- Jacobian and Newton solver

TEST_F(RimContactTest, JacobianColumnsAreTheErrorRatesOfEachJoint) {
  const RimScene sc = PlaceRim(s(), 1, kBentQ, 35.0, 0.4, 0.3, 0.9);
  PRStepFixed in = FixedAt(s(), sc, 1);
  in.Lf1 += 0.01;  // away from the solution so that the descent test has work to do
  const RollingJacobian J = PRCirMotion2Jacobian4(s().model(), in, sc.q, &s().notes);
  ASSERT_EQ(J.verdict, 'Y');
  const auto& JB4 = J.JB;
  const double h = 1e-5;
  for (int j = 1; j <= 4; ++j) {
    double qp[kSlots], qm[kSlots], Ep[4], Em[4], T;
    RimContact c;
    for (int k = 0; k < kSlots; ++k) qp[k] = qm[k] = sc.q[k];
    qp[j] += h;
    qm[j] -= h;
    PRCirMotion2ERR4(s().model(), in, qp, c, Ep, &T);
    PRCirMotion2ERR4(s().model(), in, qm, c, Em, &T);
    for (int i = 0; i < 4; ++i)
      EXPECT_NEAR(JB4[i][j - 1], (Ep[i] - Em[i]) / (2 * h), 1e-4 * (1 + std::fabs(JB4[i][j - 1])))
          << "row " << i << " joint " << j;
  }
}

// The solver from the first PR motion's angles (dq == nullptr) or from a history that
// extrapolates to q + dq, where q is the hand-built contact: the last step, of the same
// time step as this one, came from q - dq.
TEST_F(RimContactTest, NewtonAcceptsRestoresOrFlagsTheContactAndStopsAtTheIterationLimit) {
  const double small[5] = {0, 0.004, -0.003, 0.002, 0.005}, large[5] = {0, 0, 0, 0.06, -0.05};
  auto solve = [this](const RimScene& sc, const double* dq, PRStepResult& out, PRNewtonStats& st,
                      int maxIter) {
    s().cntManip0 = dq == nullptr ? 0 : 7;
    s().dt = s().ManipDt2 = 0.05;
    for (int j = 0; j <= 4 && dq != nullptr; ++j) {
      s().qqa2[0][1][j] = sc.q[j] - dq[j];
      s().qqa2[1][1][j] = sc.q[j];
    }
    return PRCirMotion2Newton4(s(), FixedAt(s(), sc, 1), out, &st, maxIter);
  };
  struct Case {
    double Lf;
    const double* dq;
    char want;
  };
  for (const Case k : {Case{35, nullptr, 'Y'}, Case{catalogue::lFin + 0.3, nullptr, 'O'},
                       Case{35, small, 'Y'}, Case{35, large, 'Y'}}) {
    SCOPED_TRACE(testing::Message() << k.Lf << (k.dq == large ? " large" : " small"));
    const RimScene sc = PlaceRim(s(), 1, kBentQ, k.Lf, 0.4, 0.3, 0.9);
    PRStepResult out;
    PRNewtonStats st;
    ASSERT_EQ(solve(sc, k.dq, out, st, kNewtonMaxIter), k.want);
    if (k.dq == nullptr) {
      EXPECT_EQ(st.jacobians, 0);  // accepted as it stands
    } else {
      // a fresh Jacobian after every accepted trial; a trial that does not lower the
      // error enough is cut tenfold
      EXPECT_EQ(st.trials, st.jacobians + st.reductions);
      EXPECT_EQ(st.cnt1, st.trials + st.jacobians);
      EXPECT_LE(st.maxStep, 0.01 + 1e-15);          // no joint moves more than 0.01 rad per trial
      EXPECT_GE(st.trials, k.dq == large ? 6 : 1);  // 0.06 rad to go at 0.01 per trial
    }
    // the result touches the rim at the hand-built pose
    for (int j = 1; j <= 4; ++j) EXPECT_NEAR(out.q2[j], sc.q[j], 1e-6) << j;
    double d[3];
    VecSub(out.RC2, sc.rwP, d);
    EXPECT_NEAR(VecNorm(d), catalogue::aCyl, 1e-9);
    const FingerPose P2 = Findirect_kineR(s().model(), s().mount(1), out.q2);
    EXPECT_NEAR(DistFromLine(out.RC2, P2.JA[4], sc.x), catalogue::aFin, 1e-5);
    EXPECT_NEAR(out.Lf2, k.Lf, 1e-5);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out.NW2[i], sc.N[i], 1e-6);
  }
  // the large disturbance cut short by the limit on trials plus Jacobian updates
  PRStepResult out;
  PRNewtonStats st;
  EXPECT_EQ(solve(PlaceRim(s(), 1, kBentQ, 35, 0.4, 0.3, 0.9), large, out, st, 3), 'D');
  EXPECT_EQ(st.cnt1, 3);
}

}  // namespace
