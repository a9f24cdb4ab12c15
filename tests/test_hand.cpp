// Hand catalogue and finger kinematics of the four hands.
#include <gtest/gtest.h>

#include <cmath>

#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "support.h"

using namespace rg;

namespace {

void ExpectVecNear(const double* a, double x, double y, double z, double tol = 1e-9) {
  EXPECT_NEAR(a[0], x, tol);
  EXPECT_NEAR(a[1], y, tol);
  EXPECT_NEAR(a[2], z, tol);
}

void ExpectMatEq(const double A[3][3], std::initializer_list<double> rows, double tol = 1e-12) {
  auto it = rows.begin();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(A[i][j], *it++, tol) << i << "," << j;
}

void SelectHandTables(Sim& s, int hand, char work) {
  s.HAND1 = hand;
  s.WORK1 = work;  // where the fingers sit follows the work
  BasicFinParameter(s, hand);
  FinJ1Pose(s);
}

}  // namespace

TEST(HandCatalogue, TablesOfEveryHand) {
  auto s = std::make_unique<Sim>();
  for (int h = 1; h <= 4; ++h) {
    SelectHandTables(*s, h, '2');
    EXPECT_EQ(s->nF(), (h == 2 || h == 4) ? 3 : 2);
    EXPECT_EQ(s->nJ(), 4);
    EXPECT_EQ(s->model().jointType[1], h <= 2 ? 'R' : 'P');
    EXPECT_EQ(s->model().jointType[2], 'Q');
    EXPECT_EQ(s->model().jointType[5], 'P');
    for (int kf = 1; kf <= s->nF(); ++kf) {
      EXPECT_DOUBLE_EQ(s->qq0[kf][1], 0.01);
      EXPECT_DOUBLE_EQ(s->qq0[kf][2], h <= 2 ? 0.01 : 0.05);
      EXPECT_DOUBLE_EQ(s->qq0[kf][3], 0.7853981639);
      EXPECT_DOUBLE_EQ(s->qq0[kf][4], 0.7853981639);
    }
    // fixed rotations between joint frames
    ExpectMatEq(s->model().Cs[3], {1, 0, 0, 0, 0, -1, 0, 1, 0});
    ExpectMatEq(s->model().Cs[4], {1, 0, 0, 0, 1, 0, 0, 0, 1});
    if (h <= 2) {
      ExpectMatEq(s->model().Cs[1], {1, 0, 0, 0, 1, 0, 0, 0, 1});
      ExpectMatEq(s->model().Cs[2], {0, 1, 0, 0, 0, 1, 1, 0, 0});
    } else {
      ExpectMatEq(s->model().Cs[1], {0, 0, -1, 0, 1, 0, 1, 0, 0});
      ExpectMatEq(s->model().Cs[2], {1, 0, 0, 0, 0, 1, 0, -1, 0});
    }
  }
}

TEST(HandCatalogue, FingerBasesOnThePalm) {
  auto s = std::make_unique<Sim>();
  SelectHandTables(*s, 2, '1');
  ExpectVecNear(s->mount(2).base, 35 * std::sin(2.0943951024), 0, 35 * std::cos(2.0943951024));
  EXPECT_NEAR(s->mount(2).base[0], 30.31, 0.01);
  EXPECT_NEAR(s->mount(2).base[2], -17.5, 1e-6);
  double Cy2[3][3];
  Cy(2.0943951024, Cy2);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_DOUBLE_EQ(s->mount(2).frame[i][j], Cy2[i][j]);
  // with the cylinder work fingers 2 and 3 point down, finger 1 up; positions unchanged
  SelectHandTables(*s, 2, '2');
  EXPECT_NEAR(s->mount(2).base[0], 30.31, 0.01);
  ExpectMatEq(s->mount(1).frame, {1, 0, 0, 0, 1, 0, 0, 0, 1});
  ExpectMatEq(s->mount(2).frame, {-1, 0, 0, 0, 1, 0, 0, 0, -1});
  ExpectMatEq(s->mount(3).frame, {-1, 0, 0, 0, 1, 0, 0, 0, -1});
  // hand 4 always
  SelectHandTables(*s, 4, '1');
  ExpectMatEq(s->mount(3).frame, {-1, 0, 0, 0, 1, 0, 0, 0, -1});
}

TEST(FingerKinematics, StraightFingerOfHand1) {
  auto s = std::make_unique<Sim>();
  SelectHandTables(*s, 1, '2');
  const double q0[7] = {0, 0, 0, 0, 0, 0, 0};
  const FingerPose P = Findirect_kineR(s->model(), s->mount(1), q0);
  ExpectVecNear(P.JA[0], 0, 0, 35);
  ExpectVecNear(P.JA[3], 0, 0, 35);
  ExpectVecNear(P.JA[4], 0, 0, 115);
  ExpectVecNear(P.JA[5], 0, 0, 195);
  ExpectVecNear(Findirect_kineR(s->model(), s->mount(2), q0).JA[5], 0, 0, -195, 1e-6);
  // link axes: x axes of EA[3] and EA[4] run along the finger
  EXPECT_NEAR(P.EA[3][2][0], 1.0, 1e-12);
  EXPECT_NEAR(P.EA[4][2][0], 1.0, 1e-12);
}

TEST(FingerKinematics, BentAndTwistedFingers) {
  auto s = std::make_unique<Sim>();
  SelectHandTables(*s, 1, '2');
  // bending the third joint by pi/2 turns both links about -X: the tip goes to +Y
  const double qb[7] = {0, 0, 0, M_PI / 2, 0, 0, 0};
  const FingerPose Pb = Findirect_kineR(s->model(), s->mount(1), qb);
  ExpectVecNear(Pb.JA[5], 0, 160, 35);
  ExpectVecNear(Pb.JA[4], 0, 80, 35);
  // the first joint turns about the finger's own axis: positions stay, frames turn about +Z
  const double qt[7] = {0, M_PI / 2, 0, 0, 0, 0, 0};
  const FingerPose Pt = Findirect_kineR(s->model(), s->mount(1), qt);
  ExpectVecNear(Pt.JA[5], 0, 0, 195);
  double z0[3];
  MatColumn(Pt.EA[1], 2, z0);
  ExpectVecNear(z0, 0, 0, 1);
  EXPECT_NEAR(Pt.EA[1][1][0], 1.0, 1e-12);  // x axis turned onto +Y
  // the joint axes are the z columns of the joint frames, and links stay lFin long
  const double qg[7] = {0, 0.3, -0.2, 0.9, 0.4, 0, 0};
  const FingerPose Pg = Findirect_kineR(s->model(), s->mount(1), qg);
  double d[3];
  VecSub(Pg.JA[5], Pg.JA[4], d);
  EXPECT_NEAR(VecNorm(d), catalogue::lFin, 1e-9);
  VecSub(Pg.JA[4], Pg.JA[3], d);
  EXPECT_NEAR(VecNorm(d), catalogue::lFin, 1e-9);
  // each joint frame turned by its angle about its z axis is the link frame
  for (int j = 1; j <= 4; ++j) {
    double R[3][3];
    MatTMul(Pg.EAs[j], Pg.EA[j], R);
    ExpectMatEq(R, {std::cos(qg[j]), -std::sin(qg[j]), 0, std::sin(qg[j]), std::cos(qg[j]), 0, 0, 0, 1},
                1e-12);
  }
}
