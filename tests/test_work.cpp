// Work pose, frames, selection and the work motion commands.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "app/keyboard.h"
#include "numerics/vecmat.h"
#include "support.h"
#include "work/work.h"

using namespace rg;

namespace {

void MidPoint(const double r[3], const double E[3][3], double m[3], double h = catalogue::hCyl) {
  for (int i = 0; i < 3; ++i) m[i] = r[i] + 0.5 * h * E[i][2];
}

}  // namespace

TEST(WorkFrames, EulerTurns) {
  double I[3][3], E[3][3], R[3][3];
  MatIdentity(I);
  WorkOrien1(M_PI / 4, 0, 0, I, E);
  Cx(M_PI / 4, R);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(E[i][j], R[i][j], 1e-15);
  EXPECT_NEAR(E[1][2], -0.7071, 1e-4);  // default cylinder axis (0, -0.7071, 0.7071)
  EXPECT_NEAR(E[2][2], 0.7071, 1e-4);

  WorkOrien2(0.1, 0, 0, I, E);
  Cx(-0.1, R);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(E[i][j], R[i][j], 1e-15);

  // WorkOrien2 undoes WorkOrien1 with the same angles
  double A[3][3], B[3][3];
  Cy(0.4, A);
  WorkOrien1(0.3, -0.2, 0.9, A, B);
  WorkOrien2(0.3, -0.2, 0.9, B, E);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(E[i][j], A[i][j], 1e-14);
}

// The angles read back from a frame turn the hand frame into that same frame, and
// are the angles it was made of wherever they are unique.
TEST(WorkFrames, AnglesOfAFrame) {
  const double h = M_PI / 2;
  const struct {
    double al, bet, gam;
    bool unique;
  } cases[] = {{0.7853981639, 0, 0, true},   {0.7853981639, 0, 0.3269, true},
               {-2.9, 1.2, 3.0, true},       {0.4, -1.5, -2.2, true},
               {0.0, 0.0, 0.0, true},        {0.6, h, 0.3, false},
               {-1.1, -h, 0.8, false}};
  double I[3][3];
  MatIdentity(I);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.al << " " << c.bet << " " << c.gam);
    double E[3][3], back[3][3], ang[3];
    WorkOrien1(c.al, c.bet, c.gam, I, E);
    WorkOrienAngles(E, ang);
    WorkOrien1(ang[0], ang[1], ang[2], I, back);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(back[i][j], E[i][j], 1e-12);
    if (!c.unique) continue;
    EXPECT_NEAR(ang[0], c.al, 1e-12);
    EXPECT_NEAR(ang[1], c.bet, 1e-12);
    EXPECT_NEAR(ang[2], c.gam, 1e-12);
  }
}

TEST(WorkFrames, PoseInAFingerFrame) {
  double Em[3][3], Ew[3][3], rwM[3], EwM[3][3];
  Cz(0.5, Em);
  Cx(0.2, Ew);
  const double rw[3] = {3, 4, 5};
  ITransWrkAtoM(rw, Em, rw, Ew, rwM, EwM);
  EXPECT_EQ(VecNorm(rwM), 0.0);
  const double rm[3] = {1, 0, 0};
  ITransWrkAtoM(rm, Em, rw, Ew, rwM, EwM);
  // mapping back gives the hand-frame pose
  double back[3];
  MatVec(Em, rwM, back);
  EXPECT_NEAR(back[0] + 1, 3, 1e-12);
  EXPECT_NEAR(back[2], 5, 1e-12);
  double EwBack[3][3];
  MatMul(Em, EwM, EwBack);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(EwBack[i][j], Ew[i][j], 1e-14);
}

TEST(WorkSelection, DefaultPosesAndCylinderGeometry) {
  auto s = rgtest::StartedSim();
  double top[3], mid[3];
  for (int i = 0; i < 3; ++i) top[i] = s->rwG[i] + catalogue::hCyl * s->EwG[i][2];
  EXPECT_NEAR(top[1], 69.29, 0.01);
  EXPECT_NEAR(top[2], 30.71, 0.01);
  MidPoint(s->rwG, s->EwG, mid);
  EXPECT_NEAR(mid[1], 104.64, 0.01);
  EXPECT_NEAR(mid[2], -4.64, 0.01);

  // a moved work, then the sphere: every pose copy is the sphere default
  MoveWork(*s, 'X');
  selectWork(*s, '1');
  EXPECT_EQ(s->WORK1, '1');
  for (const double* r : {s->RWW, s->rwG0, s->rwG}) {
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[1], 100);
    EXPECT_EQ(r[2], 5);
  }
  EXPECT_EQ(s->EWW[0][0], 1);
  EXPECT_EQ(s->EwG[1][1], 1);
  EXPECT_EQ(s->EwG0[2][1], 0);
  selectWork(*s, '2');
  EXPECT_EQ(s->rwG[1], 140);
  EXPECT_NEAR(s->EwG[1][2], -0.7071, 1e-4);
  // keys other than the two work types change nothing
  selectWork(*s, '7');
  EXPECT_EQ(s->WORK1, '2');
}

TEST(WorkMotion, MovesAndTurnsAboutTheMidPoint) {
  auto s = rgtest::StartedSim();
  MoveWork(*s, 'X');
  MoveWork(*s, 'y');
  EXPECT_EQ(s->rwG0[0], 1.0);
  EXPECT_EQ(s->rwG0[1], 139.0);
  EXPECT_EQ(s->rwG[0], 1.0);
  EXPECT_EQ(s->RWW[1], 139.0);
  double m0[3], m1[3];
  MidPoint(s->rwG0, s->EwG0, m0);
  const double al = s->al0;
  MoveWork(*s, 'P');
  MidPoint(s->rwG0, s->EwG0, m1);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(m1[i], m0[i], 1e-12);
  EXPECT_NE(s->rwG0[1], 139.0);  // the base point moved
  EXPECT_NEAR(s->al0 - al, 0.031415926536, 1e-15);
  // the turn is about the work's own x axis by the step angle
  double ezOld[3] = {0, -std::sqrt(0.5), std::sqrt(0.5)};
  double ezNew[3];
  MatColumn(s->EwG0, 2, ezNew);
  EXPECT_NEAR(std::acos(VecDot(ezOld, ezNew)), 0.031415926536, 1e-6);
  EXPECT_NEAR(s->EwG0[0][0], 1.0, 1e-15);

  // the sphere turns about its centre
  selectWork(*s, '1');
  MoveWork(*s, 'R');
  EXPECT_EQ(s->rwG0[1], 100.0);
  // unknown keys move nothing but still reset the grasp state
  s->sgnMANIP = 'D';
  MoveWork(*s, 'k');
  EXPECT_EQ(s->sgnMANIP, 'Y');
}

// A step's commanded linear velocity is that of the point the work turns about (the
// cylinder's mid-point at the model's height): a turn alone leaves the point in
// place, a move alone carries it by dt * v.
TEST(WorkMotion, TheTurnCentreIsThePointWhoseVelocityIsCommanded) {
  const double v[3] = {1.0, -2.0, 0.5}, om[3] = {0.3, -0.2, 0.4};
  const double none[3] = {0.0, 0.0, 0.0}, dt = 0.05;
  const double I[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  WorkPose p1;
  VecSet(3.0, 140.0, -40.0, p1.r);
  WorkOrien1(0.7, -0.4, 1.1, I, p1.E);
  Model tall = *CatalogueModel(1);
  tall.hCyl = 170.0;
  const Model* models[] = {CatalogueModel(1).get(), &tall};
  for (const Model* m : models)
    for (char work : {'1', '2'}) {
      SCOPED_TRACE(testing::Message() << work << " height " << m->hCyl);
      double c1[3], c2[3], mid[3];
      WorkTurnCentre(*m, work, p1.r, p1.E, c1);
      MidPoint(p1.r, p1.E, mid, m->hCyl);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(c1[i], work == '2' ? mid[i] : p1.r[i], 1e-12);
      WorkPose p2 = MoveWorkStep(*m, work, none, om, dt, p1);
      WorkTurnCentre(*m, work, p2.r, p2.E, c2);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(c2[i], c1[i], 1e-12);
      double d[3];
      VecSub(p2.r, p1.r, d);
      EXPECT_GT(VecNorm(d), work == '2' ? 0.5 : -1.0);  // the cylinder's base point swings
      p2 = MoveWorkStep(*m, work, v, none, dt, p1);
      WorkTurnCentre(*m, work, p2.r, p2.E, c2);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(c2[i] - c1[i], dt * v[i], 1e-12);
    }
}

TEST(WorkMotion, VelocityLabelAndBounds) {
  auto s = rgtest::StartedSim();
  EXPECT_STREQ(s->WorkVel, " vw=[ 0, 0, 0]  omw=0.02*[ 0, 0, 1]\n");
  EXPECT_EQ(std::strlen(s->WorkVel), 36u);
  // omw is the work's angular velocity in the hand frame, EwG * omww: along the
  // cylinder's axis from the start, and a key that changes nothing leaves it alone
  EXPECT_NEAR(s->omw[0], 0.0, 1e-15);
  EXPECT_NEAR(s->omw[1], -0.01414, 1e-5);
  EXPECT_NEAR(s->omw[2], 0.01414, 1e-5);
  const double before[3] = {s->omw[0], s->omw[1], s->omw[2]};
  setWorkVelocity(*s, 'R', s->EwG);  // clamped
  EXPECT_EQ(s->omww[2], 0.02);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(s->omw[i], before[i]);
  // turning the work in mode 'M' turns the hand-frame velocity with it
  MoveWork(*s, 'P');
  double want[3];
  MatVec(s->EwG, s->omww, want);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(s->omw[i], want[i], 1e-15);
  EXPECT_GT(std::fabs(s->omw[1] - before[1]), 1e-4);

  setWorkVelocity(*s, 'X', s->EwG);
  setWorkVelocity(*s, 'X', s->EwG);
  EXPECT_EQ(s->vw[0], 1.0);
  EXPECT_EQ(s->WorkVel[5], ' ');
  EXPECT_EQ(s->WorkVel[6], '1');
  setWorkVelocity(*s, 'x', s->EwG);
  EXPECT_EQ(s->WorkVel[6], '0');
  setWorkVelocity(*s, 'x', s->EwG);
  setWorkVelocity(*s, 'x', s->EwG);
  EXPECT_EQ(s->vw[0], -1.0);
  EXPECT_EQ(s->WorkVel[5], '-');
  EXPECT_EQ(s->WorkVel[6], '1');

  setWorkVelocity(*s, 'r', s->EwG);
  EXPECT_EQ(s->WorkVel[33], '0');
  setWorkVelocity(*s, 'r', s->EwG);
  EXPECT_NEAR(s->omww[2], -0.02, 1e-15);
  EXPECT_EQ(s->WorkVel[32], '-');
  EXPECT_EQ(s->WorkVel[33], '1');
  setWorkVelocity(*s, 'Q', s->EwG);
  EXPECT_EQ(s->WorkVel[29], ' ');
  EXPECT_EQ(s->WorkVel[30], '1');
  EXPECT_STREQ(s->WorkVel, " vw=[-1, 0, 0]  omw=0.02*[ 0, 1,-1]\n");
}

TEST(WorkMotion, TimeStepOfTheCylinder) {
  WorkPose p1;
  Cx(0.7, p1.E);
  VecSet(1, 2, 3, p1.r);
  const double zero[3] = {0, 0, 0};
  const Model& m = *CatalogueModel(1);
  WorkPose p2 = MoveWorkStep(m, '2', zero, zero, 0.05, p1);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(p2.r[i], p1.r[i], 1e-12);
  const double v[3] = {1, -1, 0}, om[3] = {0.02, 0, 0.02};
  p2 = MoveWorkStep(m, '2', v, om, 0.5, p1);
  const double(&E1)[3][3] = p1.E;
  const double(&E2)[3][3] = p2.E;
  double m1[3], m2[3];
  MidPoint(p1.r, E1, m1);
  MidPoint(p2.r, E2, m2);
  EXPECT_NEAR(m2[0] - m1[0], 0.5, 1e-12);
  EXPECT_NEAR(m2[1] - m1[1], -0.5, 1e-12);
  EXPECT_NEAR(m2[2] - m1[2], 0.0, 1e-12);
  double R[3][3];
  MatTMul(E1, E2, R);  // relative turn in the work frame
  EXPECT_NEAR(R[0][0], std::cos(0.01), 1e-12);
}
