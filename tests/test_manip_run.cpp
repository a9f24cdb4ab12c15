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

// A started simulation with hand `hand` whose fingers are all grasped; the work
// velocity keys `keys` (mode 'V') are applied first.
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

// The latest state of one finger and of the work, as the record holds it.
struct Snapshot {
  double rw[3], Ew[3][3];
  double q[kSlots][kSlots];
  double RC[kSlots][3];
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

// Centre of finger kf's rim for a work pose.
void RimCentre(const Sim& s, int kf, const double rw[3], const double Ew[3][3], double c[3]) {
  for (int i = 0; i < 3; ++i) c[i] = rw[i] + (s.sgnUML[kf] == 'U' ? hCyl * Ew[i][2] : 0.0);
}

// Where a point lies on the last link of finger kf in pose q: along the link
// axis from joint nJ, around it from the link frame's z axis, and off the axis;
// also the link axis and the direction of growing angle at the point.
struct LinkPlace {
  double L, phi, r;
  double x[3], ephi[3];
};

LinkPlace OnLink(const Sim& s, int kf, const double* q, const double p[3]) {
  LinkPlace lp;
  double JAf[kSlots][3], EAf[kSlots][3][3], z[3], xz[3], d[3], radial[3];
  FingerPoseA(s, kf, s.nJ, q, JAf, EAf);
  MatColumn(EAf[s.nJ], 0, lp.x);
  MatColumn(EAf[s.nJ], 2, z);
  VecCross(lp.x, z, xz);
  VecSub(p, JAf[s.nJ], d);
  lp.L = VecDot(d, lp.x);
  lp.phi = std::atan2(VecDot(d, xz), VecDot(d, z));
  lp.r = rgtest::DistFromLine(p, JAf[s.nJ], lp.x);
  for (int i = 0; i < 3; ++i) radial[i] = std::cos(lp.phi) * z[i] + std::sin(lp.phi) * xz[i];
  VecCross(lp.x, radial, lp.ephi);
  return lp;
}

// Where a point lies on finger kf's rim: its angle from the work's x axis,
// its distance from the rim centre and from the rim plane.
void OnRim(const Sim& s, int kf, const double rw[3], const double Ew[3][3], const double p[3],
           double* th, double* r, double* h) {
  double c[3], d[3], ez[3];
  RimCentre(s, kf, rw, Ew, c);
  VecSub(p, c, d);
  MatColumn(Ew, 2, ez);
  *th = std::atan2(d[0] * Ew[0][1] + d[1] * Ew[1][1] + d[2] * Ew[2][1],
                   d[0] * Ew[0][0] + d[1] * Ew[1][0] + d[2] * Ew[2][0]);
  *h = VecDot(d, ez);
  *r = VecNorm(d);
}

struct RunResult {
  int steps = 0;
  char status = 'Y';
  int checkedSteps = 0;
  int reducedSteps = 0;  // steps completed with a time step below 0.05
};

// Steps until the status is not 'Y' or the record is full, checking every stored step.
void RunAndCheck(Sim& s, const std::string& name, RunResult& res) {
  rgtest::Capture console;
  while (res.status == 'Y' && s.cntMainip1 < 799) {
    const Snapshot before = Take(s);
    const int M = s.cntManip0;
    res.status = PRCircleManip4(s, s.vw, s.omw);
    ++res.steps;
    if (res.status == 'D' || res.status == 'R') {
      EXPECT_EQ(s.cntManip0, M) << name;  // nothing recorded
      break;
    }
    EXPECT_EQ(s.cntManip0, M + 1) << name;
    const Snapshot after = Take(s);
    const double dt = s.dt;
    if (dt < 0.05) ++res.reducedSteps;

    // the cylinder's mid-point moved by dt*vw, and it turned by dt*omww about its own axes
    for (int i = 0; i < 3; ++i) {
      const double m1 = before.rw[i] + 0.5 * hCyl * before.Ew[i][2];
      const double m2 = after.rw[i] + 0.5 * hCyl * after.Ew[i][2];
      ASSERT_NEAR(m2 - m1, dt * s.vw[i], 1e-9) << name << " step " << M + 1;
    }
    double R[3][3], Rx[3][3], Ry[3][3], Rz[3][3], T[3][3], Rexp[3][3];
    MatTMul(before.Ew, after.Ew, R);  // turn in the work frame
    Cx(dt * s.omww[0], Rx);
    Cy(dt * s.omww[1], Ry);
    Cz(dt * s.omww[2], Rz);
    MatMul(Rx, Ry, T);
    MatMul(T, Rz, Rexp);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) ASSERT_NEAR(R[i][j], Rexp[i][j], 1e-12) << name;

    for (int kf = 1; kf <= s.nF; ++kf) {
      const double* RC = after.RC[kf];
      for (int i = 0; i < 3; ++i) ASSERT_TRUE(std::isfinite(RC[i])) << name;
      // the contact point lies on the moved rim ...
      double th2, rr, hh;
      OnRim(s, kf, after.rw, after.Ew, RC, &th2, &rr, &hh);
      ASSERT_NEAR(rr, aCyl, 1e-5) << name << " step " << M + 1 << " finger " << kf;
      ASSERT_NEAR(hh, 0.0, 1e-5) << name << " step " << M + 1 << " finger " << kf;
      // ... and on the surface of the finger's last link in its new pose
      const LinkPlace l2 = OnLink(s, kf, after.q[kf], RC);
      ASSERT_NEAR(l2.r, aFin, 1e-5) << name << " step " << M + 1 << " finger " << kf;
      if (res.status != 'O') {
        ASSERT_GE(l2.L, -1e-9) << name;
        ASSERT_LE(l2.L, lFin + 1e-9) << name;
      }
      // rolling without slip: the contact moved as far, and the same way, on the link
      // as on the rim (both traces seen in the tangent plane of the new contact)
      double th1;
      OnRim(s, kf, before.rw, before.Ew, before.RC[kf], &th1, &rr, &hh);
      const LinkPlace l1 = OnLink(s, kf, before.q[kf], before.RC[kf]);
      const double arcRim = aCyl * Wrap(th2 - th1);
      const double st = std::sin(th2), ct = std::cos(th2);
      double dRim[3], dLink[3];
      for (int i = 0; i < 3; ++i) {
        dRim[i] = arcRim * (-st * after.Ew[i][0] + ct * after.Ew[i][1]);
        dLink[i] = (l2.L - l1.L) * l2.x[i] + aFin * Wrap(l2.phi - l1.phi) * l2.ephi[i];
      }
      ASSERT_NEAR(VecNorm(dLink), std::fabs(arcRim), 2e-6) << name << " step " << M + 1;
      double slip[3];
      VecSub(dLink, dRim, slip);
      ASSERT_LT(VecNorm(slip), 2e-6) << name << " step " << M + 1 << " finger " << kf;
    }
    ++res.checkedSteps;
  }
  // no number in the record is other than finite
  const std::string csv = TrajectoryCsv(s);
  EXPECT_EQ(csv.find("nan"), std::string::npos) << name;
  EXPECT_EQ(csv.find("inf"), std::string::npos) << name;
}

struct Scene {
  int hand;
  const char* keys;  // work velocity keys
};

class DefaultRun : public ::testing::TestWithParam<Scene> {};

TEST_P(DefaultRun, RollsEveryStepWithoutSlipUntilTheMotionStops) {
  const Scene sc = GetParam();
  auto s = Grasped(sc.hand, sc.keys);
  for (int kf = 1; kf <= s->nF; ++kf) ASSERT_EQ(s->sgnGRASPM[kf], 'Y');
  const std::string name = "hand " + std::to_string(sc.hand) + " keys '" + sc.keys + "'";
  bool onRims = true;
  for (int kf = 1; kf <= s->nF; ++kf) onRims = onRims && GraspOnRim(*s, kf);

  RunResult r;
  RunAndCheck(*s, name, r);
  if (!onRims) {
    EXPECT_EQ(r.status, 'R');
    return;
  }
  EXPECT_TRUE(r.status == 'C' || r.status == 'O' || r.status == 'D' ||
              (r.status == 'Y' && s->cntMainip1 >= 799))
      << r.status;
  EXPECT_GT(r.checkedSteps, 50) << name;
  if (std::string(sc.keys) == "Y") {
    EXPECT_GT(r.reducedSteps, 0);  // deadlocks overcome by a smaller time step
  }
  RecordProperty("steps", r.steps);
  RecordProperty("end", std::string(1, r.status));
  std::printf("[ manip    ] %s: %d steps (%d with a reduced time step), ends with '%c'\n",
              name.c_str(), r.steps, r.reducedSteps, r.status);
}

INSTANTIATE_TEST_SUITE_P(Hands, DefaultRun,
                         ::testing::Values(Scene{1, ""}, Scene{2, ""}, Scene{3, ""},
                                           Scene{4, ""}, Scene{1, "Y"}, Scene{1, "xQ"}));

// Axial vector of the rotation R (its small-angle rotation vector).
void Axial(const double R[3][3], double w[3]) {
  w[0] = 0.5 * (R[2][1] - R[1][2]);
  w[1] = 0.5 * (R[0][2] - R[2][0]);
  w[2] = 0.5 * (R[1][0] - R[0][1]);
}

TEST(ManipRecord, FingersDoNotSpinAgainstTheWorkAboutTheContactNormal) {
  auto s = Grasped(1);
  MatVec(s->EwG, s->omww, s->omw);  // the work's angular velocity in the hand frame
  rgtest::Capture quiet;
  for (int step = 0; step < 100; ++step) {
    double Ew1[3][3], EA1[kSlots][3][3];
    MatCopy(s->ManipEW2[1], Ew1);
    for (int kf = 1; kf <= 2; ++kf) {
      double J[kSlots][3], E[kSlots][3][3];
      FingerPoseA(*s, kf, 4, s->qqa2[1][kf], J, E);
      MatCopy(E[4], EA1[kf]);
    }
    ASSERT_EQ(PRCircleManip4(*s, s->vw, s->omw), 'Y');
    double Rw[3][3], T[3][3], ww[3];
    MatTrans(Ew1, T);
    MatMul(s->ManipEW2[1], T, Rw);  // turn of the work in the hand frame
    Axial(Rw, ww);
    for (int kf = 1; kf <= 2; ++kf) {
      double J[kSlots][3], E[kSlots][3][3], Rf[3][3], Rrel[3][3], wrel[3];
      FingerPoseA(*s, kf, 4, s->qqa2[1][kf], J, E);
      MatTrans(EA1[kf], T);
      MatMul(E[4], T, Rf);  // turn of the last link
      MatTrans(Rw, T);
      MatMul(Rf, T, Rrel);
      Axial(Rrel, wrel);
      const double* N = s->ManipNWA2[1][kf];
      // the work turns by about 6e-4 rad about the normal in a step; the link with it
      ASSERT_GT(std::fabs(VecDot(ww, N)), 5e-4);
      ASSERT_LT(std::fabs(VecDot(wrel, N)), 1e-5) << "step " << step + 1 << " finger " << kf;
    }
  }
}

TEST(ManipRecord, StepsAreStoredEveryFifthStepWithTheirTime) {
  auto s = Grasped(1);
  const ContactPrm grasp1 = s->Manip[0][1];
  double rw0[3];
  VecCopy(s->ManipRW[0], rw0);
  rgtest::Capture quiet;
  for (int step = 1; step <= 4; ++step) {
    ASSERT_EQ(PRCircleManip4(*s, s->vw, s->omw), 'Y');
    EXPECT_EQ(s->cntMainip1, 0);
    // row 0 keeps the grasp, except the joint angles of the drawing trajectory
    EXPECT_EQ(s->Manip[0][1].Lf, grasp1.Lf);
    EXPECT_EQ(s->ManipRW[0][2], rw0[2]);
    for (int kf = 1; kf <= 2; ++kf)
      for (int j = 1; j <= 4; ++j) EXPECT_EQ(s->qqa[0][kf][j], s->qqa2[1][kf][j]);
  }
  ASSERT_EQ(PRCircleManip4(*s, s->vw, s->omw), 'Y');
  EXPECT_EQ(s->cntManip0, 5);
  EXPECT_EQ(s->cntMainip1, 1);
  for (int kf = 1; kf <= 2; ++kf) {
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(s->ManipQ[1][kf][j], s->qqa2[1][kf][j]);
    EXPECT_EQ(s->Manip[1][kf].thw, s->ManipPrm2[1][kf].thw);
    EXPECT_EQ(s->Manip[1][kf].psif, kHalfPiC);
    EXPECT_EQ(s->Manip[1][kf].Lw, s->Manip[0][kf].Lw);  // the contact stays on its rim
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s->ManipCPNTA[1][kf][i], s->ManipCPNTA2[1][kf][i]);
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(s->ManipRW[1][i], s->ManipRW2[1][i]);
  // five steps of dt = 0.05, counted once per finger
  EXPECT_NEAR(s->ManipT[1], 5 * 2 * 0.05, 1e-12);
  EXPECT_EQ(s->ManipT[1], s->ManipTS);
}

TEST(ManipRecord, AWorkMovedIntoThePalmStopsTheStepBeforeAnyFingerMoves) {
  auto s = Grasped(1);
  // the record's work pose straddling the palm disc at the origin
  for (int k = 0; k < 2; ++k) {
    VecSet(0.0, -20.0, -50.0, s->ManipRW2[k]);
    MatIdentity(s->ManipEW2[k]);
  }
  const double q4 = s->qqa2[1][1][4];
  rgtest::Capture quiet;
  EXPECT_EQ(PRCircleManip4(*s, s->vw, s->omw), 'C');
  EXPECT_EQ(s->sgnMANIP, 'C');
  EXPECT_EQ(s->cntManip0, 0);
  EXPECT_EQ(s->ManipTS, 0.0);
  EXPECT_EQ(s->qqa2[1][1][4], q4);
}

TEST(ManipRecord, AWorkAtRestKeepsTheFingersInPlace) {
  auto s = Grasped(1);
  VecSet(0, 0, 0, s->vw);
  VecSet(0, 0, 0, s->omww);
  VecSet(0, 0, 0, s->omw);
  const Snapshot before = Take(*s);
  rgtest::Capture quiet;
  ASSERT_EQ(PRCircleManip4(*s, s->vw, s->omw), 'Y');
  for (int kf = 1; kf <= 2; ++kf) {
    for (int j = 1; j <= 4; ++j) EXPECT_NEAR(s->qqa2[1][kf][j], before.q[kf][j], 1e-7);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(s->ManipCPNTA2[1][kf][i], before.RC[kf][i], 1e-5);
  }
}

}  // namespace
