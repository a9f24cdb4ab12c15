// Whole manipulation runs on the default scenes: every finger grasped, then step
// after step until the motion stops. The physics of every step is checked from
// the record alone, independently of the solver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "app/keyboard.h"
#include "grasp/grasp.h"
#include "hand/hand.h"
#include "manip/manip.h"
#include "manip/report.h"
#include "numerics/vecmat.h"
#include "support.h"
#include "test_manip_scene.h"
#include "work/work.h"

namespace {

using namespace rg;

double Wrap(double a) { return std::remainder(a, 2.0 * M_PI); }

// A started simulation with hand `hand`, the work velocity keys `keys` applied and
// every finger grasped.
std::unique_ptr<Sim> Grasped(int hand, const std::string& keys = "") {
  auto s = rgtest::StartedSim();
  con::SetKeyMode(con::KeyMode::AutoAnswer);
  rgtest::Capture quiet;
  if (hand != 1) {
    selectHand(*s, static_cast<char>('0' + hand));
    RESETGRASP(*s);
  }
  for (char k : keys) setWorkVelocity(*s, k, s->EwG);
  for (int kf = 1; kf <= s->nF; ++kf) {
    double RC[3], NW[3];
    GRASP(*s, kf, s->qq0[kf], s->rwG, s->EwG, s->qf[kf], RC, NW, s->GGTYPE[kf]);
  }
  return s;
}

// The record's latest state of the work and of every finger.
struct Snapshot {
  double rw[3], Ew[3][3], q[kSlots][kSlots], RC[kSlots][3];
};

Snapshot Take(const Sim& s) {
  Snapshot p;
  VecCopy(s.ManipRW2[1], p.rw);
  MatCopy(s.ManipEW2[1], p.Ew);
  for (int kf = 1; kf <= s.nF; ++kf) {
    for (int j = 0; j < kSlots; ++j) p.q[kf][j] = s.qqa2[1][kf][j];
    VecCopy(s.ManipCPNTA2[1][kf], p.RC[kf]);
  }
  return p;
}

// Where p lies on finger kf's last link in pose q: along the axis x from joint nJ,
// around it from the link frame's z axis, and off the axis; ephi: growing angle at p.
struct LinkPlace {
  double L, phi, r, x[3], ephi[3], E[3][3];
};

LinkPlace OnLink(const Sim& s, int kf, const double* q, const double p[3]) {
  LinkPlace lp;
  double JAf[kSlots][3], EAf[kSlots][3][3], z[3], xz[3], d[3], radial[3];
  FingerPoseA(s, kf, s.nJ, q, JAf, EAf);
  MatCopy(EAf[s.nJ], lp.E);
  MatColumn(lp.E, 0, lp.x);
  MatColumn(lp.E, 2, z);
  VecCross(lp.x, z, xz);
  VecSub(p, JAf[s.nJ], d);
  lp.L = VecDot(d, lp.x);
  lp.phi = std::atan2(VecDot(d, xz), VecDot(d, z));
  lp.r = rgtest::DistFromLine(p, JAf[s.nJ], lp.x);
  for (int i = 0; i < 3; ++i) radial[i] = std::cos(lp.phi) * z[i] + std::sin(lp.phi) * xz[i];
  VecCross(lp.x, radial, lp.ephi);
  return lp;
}

// Where p lies on finger kf's rim: angle th from the work's x axis, distance r from
// the rim centre and h from the rim plane.
void OnRim(const Sim& s, int kf, const double rw[3], const double Ew[3][3], const double p[3],
           double* th, double* r, double* h) {
  double d[3], e[3][3];
  for (int i = 0; i < 3; ++i) d[i] = p[i] - rw[i] - (s.sgnUML[kf] == 'U' ? hCyl * Ew[i][2] : 0.0);
  MatTrans(Ew, e);
  *th = std::atan2(VecDot(d, e[1]), VecDot(d, e[0]));
  *h = VecDot(d, e[2]);
  *r = VecNorm(d);
}

struct RunStats {
  char status = 'Y';
  int steps = 0, checked = 0, reduced = 0;  // reduced: completed with a time step below 0.05
};

// Steps until the status is not 'Y' or the record is full, checking every completed step.
void RunAndCheck(Sim& s, RunStats& run) {
  rgtest::Capture console;
  const double rw0z = s.ManipRW[0][2];
  while (run.status == 'Y' && s.cntMainip1 < 799) {
    const Snapshot a = Take(s);
    const int M = s.cntManip0;
    const double TS = s.ManipTS;
    run.status = PRCircleManip4(s, s.vw, s.omw);
    ++run.steps;
    if (run.status == 'D' || run.status == 'R') {
      EXPECT_EQ(s.cntManip0, M);  // nothing recorded
      break;
    }
    SCOPED_TRACE(testing::Message() << "step " << M + 1);
    ASSERT_EQ(s.cntManip0, M + 1);
    const Snapshot b = Take(s);
    const double dt = s.dt;
    if (dt < 0.05) ++run.reduced;

    // the cylinder's mid-point moved by dt*vw, and it turned by dt*omww about its own axes
    for (int i = 0; i < 3; ++i)
      ASSERT_NEAR(b.rw[i] - a.rw[i] + 0.5 * hCyl * (b.Ew[i][2] - a.Ew[i][2]), dt * s.vw[i], 1e-9);
    double R[3][3], Rx[3][3], Ry[3][3], Rz[3][3], T[3][3], Rexp[3][3];
    MatTMul(a.Ew, b.Ew, R);
    Cx(dt * s.omww[0], Rx);
    Cy(dt * s.omww[1], Ry);
    Cz(dt * s.omww[2], Rz);
    MatMul(Rx, Ry, T);
    MatMul(T, Rz, Rexp);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) ASSERT_NEAR(R[i][j], Rexp[i][j], 1e-12);

    for (int kf = 1; kf <= s.nF; ++kf) {
      SCOPED_TRACE(testing::Message() << "finger " << kf);
      const double* RC = b.RC[kf];
      // the contact point lies on the moved rim and on the link surface in the new pose
      double th1, th2, r, h;
      OnRim(s, kf, b.rw, b.Ew, RC, &th2, &r, &h);
      ASSERT_NEAR(r, aCyl, 1e-5);
      ASSERT_NEAR(h, 0.0, 1e-5);
      const LinkPlace l2 = OnLink(s, kf, b.q[kf], RC);
      ASSERT_NEAR(l2.r, aFin, 1e-5);
      if (run.status != 'O') {
        ASSERT_GE(l2.L, -1e-9);
        ASSERT_LE(l2.L, lFin + 1e-9);
      }
      // no slip: the contact moved as far, and the same way, on the link as on the rim
      // (both traces seen in the tangent plane of the new contact)
      OnRim(s, kf, a.rw, a.Ew, a.RC[kf], &th1, &r, &h);
      const LinkPlace l1 = OnLink(s, kf, a.q[kf], a.RC[kf]);
      const double arcRim = aCyl * Wrap(th2 - th1);
      double slip[3];
      for (int i = 0; i < 3; ++i)
        slip[i] = (l2.L - l1.L) * l2.x[i] + aFin * Wrap(l2.phi - l1.phi) * l2.ephi[i] -
                  arcRim * (-std::sin(th2) * b.Ew[i][0] + std::cos(th2) * b.Ew[i][1]);
      ASSERT_LT(VecNorm(slip), 2e-6);
    }
    // every fifth step a new row, the time adding dt once per finger; the latest row shows
    // the latest angles (drawn), and the contact stays on its rim
    const int row = s.cntMainip1;
    ASSERT_EQ(row, (M + 1) / 5);
    ASSERT_NEAR(s.ManipTS - TS, s.nF * dt, 1e-12);
    ASSERT_TRUE((M + 1) % 5 != 0 || s.ManipT[row] == s.ManipTS);
    for (int kf = 1; kf <= s.nF; ++kf) {
      for (int j = 1; j <= 4; ++j) ASSERT_EQ(s.qqa[row][kf][j], b.q[kf][j]);
      ASSERT_EQ(s.Manip[row][kf].Lw, s.Manip[0][kf].Lw);
    }
    ++run.checked;
  }
  EXPECT_EQ(s.ManipRW[0][2], rw0z);  // row 0 keeps the grasp
  // no number in the record is other than finite
  const std::string csv = TrajectoryCsv(s);
  EXPECT_EQ(csv.find("nan"), std::string::npos);
  EXPECT_EQ(csv.find("inf"), std::string::npos);
}

struct Scene {
  int hand;          // 1: two fingers, 2: three fingers
  const char* keys;  // work velocity keys: "xQ" translates and turns about a second axis
  bool reduces;      // some steps are completed only after a smaller time step
};

class DefaultRun : public ::testing::TestWithParam<Scene> {};

TEST_P(DefaultRun, RollsEveryStepWithoutSlipUntilTheMotionStops) {
  const Scene sc = GetParam();
  auto s = Grasped(sc.hand, sc.keys);
  for (int kf = 1; kf <= s->nF; ++kf) {
    ASSERT_EQ(s->sgnGRASPM[kf], 'Y');
    ASSERT_TRUE(GraspOnRim(*s, kf));
  }
  RunStats r;
  RunAndCheck(*s, r);
  EXPECT_TRUE(r.status == 'C' || r.status == 'O' || r.status == 'D' ||
              (r.status == 'Y' && s->cntMainip1 >= 799))
      << r.status;
  EXPECT_GT(r.checked, 50);
  EXPECT_EQ(r.reduced > 0, sc.reduces);
  std::printf("[ manip    ] hand %d keys '%s': %d steps (%d with a reduced time step), ends '%c'\n",
              sc.hand, sc.keys, r.steps, r.reduced, r.status);
}

INSTANTIATE_TEST_SUITE_P(Hands, DefaultRun,
                         ::testing::Values(Scene{1, "", false}, Scene{2, "", true},
                                           Scene{1, "xQ", true}));

// Axial vector of the small rotation taking frame A to frame B.
void Turn(const double A[3][3], const double B[3][3], double w[3]) {
  double At[3][3], R[3][3];
  MatTrans(A, At);
  MatMul(B, At, R);
  VecSet(0.5 * (R[2][1] - R[1][2]), 0.5 * (R[0][2] - R[2][0]), 0.5 * (R[1][0] - R[0][1]), w);
}

TEST(ManipRecord, FingersDoNotSpinAgainstTheWorkAboutTheContactNormal) {
  auto s = Grasped(1);
  MatVec(s->EwG, s->omww, s->omw);  // the work's angular velocity in the hand frame
  rgtest::Capture quiet;
  for (int step = 1; step <= 100; ++step) {
    SCOPED_TRACE(step);
    const Snapshot a = Take(*s);
    ASSERT_EQ(PRCircleManip4(*s, s->vw, s->omw), 'Y');
    const Snapshot b = Take(*s);
    double ww[3], wf[3];
    Turn(a.Ew, b.Ew, ww);
    for (int kf = 1; kf <= 2; ++kf) {
      Turn(OnLink(*s, kf, a.q[kf], a.RC[kf]).E, OnLink(*s, kf, b.q[kf], b.RC[kf]).E, wf);
      const double* N = s->ManipNWA2[1][kf];
      // the work turns by about 6e-4 rad about the normal in a step; the link with it
      ASSERT_GT(std::fabs(VecDot(ww, N)), 5e-4);
      ASSERT_LT(std::fabs(VecDot(wf, N) - VecDot(ww, N)), 1e-5) << kf;
    }
  }
}

TEST(ManipRecord, AWorkAtRestKeepsTheFingersInPlace) {
  auto s = Grasped(1);
  for (double* v : {s->vw, s->omww, s->omw}) VecSet(0, 0, 0, v);
  const Snapshot a = Take(*s);
  rgtest::Capture quiet;
  ASSERT_EQ(PRCircleManip4(*s, s->vw, s->omw), 'Y');
  const Snapshot b = Take(*s);
  for (int kf = 1; kf <= 2; ++kf) {
    for (int j = 1; j <= 4; ++j) EXPECT_NEAR(b.q[kf][j], a.q[kf][j], 1e-7);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(b.RC[kf][i], a.RC[kf][i], 1e-5);
  }
}

}  // namespace
