// Hand catalogue and finger kinematics of the four hands.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "app/hand_choice.h"
#include "core/model.h"
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

// A frame is a rotation: orthonormal columns, determinant +1.
void ExpectRotation(const double E[3][3]) {
  double EtE[3][3];
  MatTMul(E, E, EtE);
  ExpectMatEq(EtE, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 1e-12);
  double x[3], y[3], z[3], xy[3];
  MatColumn(E, 0, x);
  MatColumn(E, 1, y);
  MatColumn(E, 2, z);
  VecCross(x, y, xy);
  EXPECT_NEAR(VecDot(xy, z), 1.0, 1e-12);
}

// The angle (0..2 pi) of a point in the palm's plane about the palm's normal (the
// hand's Y axis), from its Z axis towards its X axis.
double PalmAngle(const double p[3]) {
  const double a = std::atan2(p[0], p[2]);
  return a < -1e-9 ? a + 2.0 * M_PI : a;
}

}  // namespace

// A hand's name says its joints and fingers ("RQPP 3-Finger"), and its joint letters
// say where each joint turns in the finger frame (z along the finger, y the palm's
// normal, x across): 'R' about z, 'Q' about y, 'P' about x. Every hand's model
// agrees, and its frames between joints are rotations.
TEST(HandCatalogue, NamesJointLettersAndJointAxesAgree) {
  for (int h = 1; h <= 4; ++h) {
    SCOPED_TRACE(h);
    const Model& m = *CatalogueModel(h);
    EXPECT_TRUE(CountsFit(m));
    const std::string letters(m.jointType + 1, m.jointType + 1 + m.nJ);
    EXPECT_EQ(m.name, letters + " " + std::to_string(m.nF) + "-Finger");
    double E[3][3];  // joint j's frame at zero angles, in the finger frame
    MatIdentity(E);
    for (int j = 1; j <= m.nJ; ++j) {
      SCOPED_TRACE(j);
      ExpectRotation(m.Cs[j]);
      double En[3][3];
      MatMul(E, m.Cs[j], En);
      MatCopy(En, E);
      const int axis = std::string("PQR").find(m.jointType[j]);
      ASSERT_GE(axis, 0);
      EXPECT_NEAR(std::fabs(E[axis][2]), 1.0, 1e-12);  // the joint's z axis
    }
  }
}

// Where the fingers sit: on the rim of the palm (the disc of radius rPalm about the
// hand's Y axis), evenly spaced around it from finger 1 on the Z axis, at the same
// places with either work; each finger's frame is a rotation that keeps the palm's
// normal as its y axis. Every finger starts at the same angles, within the joint
// limits of the hand files (+-3.1416), and the simulation takes up the model's
// mounts and angles for the selected work.
TEST(HandCatalogue, FingersSitEvenlyOnThePalmRimAndStartAlike) {
  auto s = std::make_unique<Sim>();
  for (int h = 1; h <= 4; ++h) {
    const Model& m = *CatalogueModel(h);
    for (const char work : {'1', '2'}) {
      SCOPED_TRACE(testing::Message() << "hand " << h << " work " << work);
      SelectHandTables(*s, h, work);
      for (int kf = 1; kf <= m.nF; ++kf) {
        SCOPED_TRACE(kf);
        const FingerMount& f = m.Mount(kf, work);
        EXPECT_NEAR(std::hypot(f.base[0], f.base[2]), m.rPalm, 1e-9);
        EXPECT_EQ(f.base[1], 0.0);
        EXPECT_NEAR(PalmAngle(f.base), 2.0 * M_PI * (kf - 1) / m.nF, 1e-9);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(f.base[i], m.mountSphere[kf].base[i]);
        ExpectRotation(f.frame);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(f.frame[i][1], i == 1 ? 1.0 : 0.0);
        for (int j = 1; j <= m.nJ; ++j) {
          EXPECT_EQ(m.qInit[kf][j], m.qInit[1][j]);
          EXPECT_LE(std::fabs(m.qInit[kf][j]), 3.1416);
          EXPECT_EQ(s->qq0[kf][j], m.qInit[kf][j]);
        }
        // the finger's base pose is its mount
        const FingerPose P = Findirect_kineR(s->model(), s->mount(kf), s->qq0[kf]);
        for (int i = 0; i < 3; ++i) {
          EXPECT_EQ(P.JA[0][i], f.base[i]);
          for (int c = 0; c < 3; ++c) EXPECT_EQ(P.EAs[0][i][c], f.frame[i][c]);
        }
      }
    }
  }
}

// The chain against the model's lengths, for every hand: at any angles joints
// 1..nJ-1 sit at the finger's base and each of the two links is lFin long; the last
// two joints turn about parallel axes, so the fingertip lies 2 lFin |cos(q_nJ / 2)|
// from the base. In the initial pose every finger reaches in front of the palm
// (positive Y), and closing its last joint carries its tip towards the palm's axis:
// the fingers face each other.
TEST(FingerKinematics, LinkLengthsAndTheInitialPoseOfEveryHand) {
  auto s = std::make_unique<Sim>();
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> angle(-3.0, 3.0);
  for (int h = 1; h <= 4; ++h) {
    for (const char work : {'1', '2'}) {
      SCOPED_TRACE(testing::Message() << "hand " << h << " work " << work);
      SelectHandTables(*s, h, work);
      const Model& m = s->model();
      const int n = m.nJ;
      for (int kf = 1; kf <= m.nF; ++kf) {
        SCOPED_TRACE(kf);
        for (int trial = 0; trial <= 5; ++trial) {
          double q[kSlots] = {};
          for (int j = 1; j <= n; ++j) q[j] = trial == 0 ? s->qq0[kf][j] : angle(rng);
          const FingerPose P = Findirect_kineR(s->model(), s->mount(kf), q);
          double d[3];
          for (int j = 1; j < n; ++j) {
            VecSub(P.JA[j], P.JA[0], d);
            EXPECT_NEAR(VecNorm(d), 0.0, 1e-9) << "joint " << j;
          }
          VecSub(P.JA[n], P.JA[n - 1], d);
          EXPECT_NEAR(VecNorm(d), m.lFin, 1e-9);
          VecSub(P.JA[n + 1], P.JA[n], d);
          EXPECT_NEAR(VecNorm(d), m.lFin, 1e-9);
          VecSub(P.JA[n + 1], P.JA[0], d);
          EXPECT_NEAR(VecNorm(d), 2.0 * m.lFin * std::fabs(std::cos(q[n] / 2.0)), 1e-9);
          if (trial > 0) continue;
          EXPECT_GT(P.JA[n][1], 0.0);
          EXPECT_GT(P.JA[n + 1][1], 0.0);
          // the tip's velocity as the last joint closes, towards the palm's axis
          double z[3], r[3], v[3];
          MatColumn(P.EAs[n], 2, z);
          VecSub(P.JA[n + 1], P.JA[n], r);
          VecCross(z, r, v);
          EXPECT_GT(-(v[0] * P.JA[0][0] + v[2] * P.JA[0][2]), 0.0);
        }
      }
    }
  }
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

// The works' sizes: refused outside their ranges with a line naming the size, kept
// when another hand (built-in or from a file) is chosen, and the catalogue's sizes
// keep the shared catalogue model.
TEST(WorkSizes, RangesAndChoosingAnotherHand) {
  struct Case {
    rg::WorkSizes w;
    const char* refusal;  // "" when taken
  };
  const double nan = std::nan("");
  const Case cases[] = {{{70, 60, 100}, ""},
                        {{20, 80, 100}, ""},
                        {{19.99, 60, 100}, "sphere radius 19.99 is outside 20..80"},
                        {{70, 80.5, 100}, "cylinder radius 80.5 is outside 20..80"},
                        {{70, 60, 19}, "cylinder height 19 is outside 20..100"},
                        {{70, 60, 101}, "cylinder height 101 is outside 20..100"},
                        {{nan, 60, 100}, "sphere radius nan is outside 20..80"},
                        {{70, 60, HUGE_VAL}, "cylinder height inf is outside 20..100"}};
  for (const Case& c : cases) {
    auto sp = rgtest::StartedSim();
    std::string why;
    EXPECT_EQ(rg::SetWorkSizes(*sp, c.w, &why), *c.refusal == '\0') << c.refusal;
    EXPECT_EQ(why, c.refusal);
    if (*c.refusal) {
      EXPECT_EQ(sp->handModel, rg::CatalogueModel(1)) << "a refusal changed the model";
    }
  }
  auto sp = rgtest::StartedSim();
  rg::Sim& s = *sp;
  std::string why;
  ASSERT_TRUE(rg::SetWorkSizes(s, {55, 50, 80}, &why));
  for (const char* keys : {"H2", "H4"}) {
    rgtest::Press(s, keys);
    EXPECT_EQ(s.model().aSph, 55.0) << keys;
    EXPECT_EQ(s.model().aCyl, 50.0) << keys;
    EXPECT_EQ(s.model().hCyl, 80.0) << keys;
    EXPECT_EQ(s.model().nF, 3) << keys;
  }
  ASSERT_TRUE(rg::UseHandFile(s, rgtest::SourcePath("hands/hand1.urdf").string(), &why)) << why;
  EXPECT_EQ(s.model().aCyl, 50.0);
  ASSERT_TRUE(rg::SetWorkSizes(s, rg::WorkSizes{}, &why));
  rgtest::Press(s, "H3");
  EXPECT_EQ(s.handModel, rg::CatalogueModel(3)) << "the built-in sizes keep the shared model";
}
