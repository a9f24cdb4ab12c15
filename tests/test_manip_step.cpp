// One manipulation step: its refusals, its time-step control on a deadlock, the
// status of a step over the fingers, and the per-finger prediction.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "hand/hand.h"
#include "manip/manip.h"
#include "numerics/vecmat.h"
#include "support.h"
#include "test_manip_scene.h"

namespace {

using namespace rg;
using rgtest::PlaceRim;
using rgtest::RimScene;

const double kQ[5] = {0, 0.05, 0.1, 0.6, 0.9};

// Records a grasp of finger kf on the lower rim of a work whose bottom centre is
// the scene's rim centre (as the grasp driver's step 0 would).
void RecordGrasp(Sim& s, int kf, const RimScene& sc, const double rw[3]) {
  for (int k = 0; k < 2; ++k) {
    for (int j = 0; j <= 4; ++j) s.qqa2[k][kf][j] = sc.q[j];
    s.ManipPrm2[k][kf] = ContactPrm{sc.Lf, sc.fif, kHalfPiC, 0.0, aCyl, sc.thw};
    VecCopy(sc.p, s.ManipCPNTA2[k][kf]);
    VecCopy(sc.N, s.ManipNWA2[k][kf]);
    VecCopy(rw, s.ManipRW2[k]);
    MatCopy(sc.Ew, s.ManipEW2[k]);
  }
  s.sgnUML[kf] = 'L';
  s.GGTYPE[kf][0] = 'L';
  s.GGTYPE[kf][1] = 'C';
  s.sgnGRASPM[kf] = 'Y';
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class StepTest : public rgtest::StartedSimTest {};

// ---- refusals

TEST_F(StepTest, AGraspOffTheRimsIsRefusedAndNothingMoves) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 30.0, 0.5, 0.4, 0.3);
  RecordGrasp(s(), 1, sc, sc.rwP);
  RecordGrasp(s(), 2, sc, sc.rwP);
  const auto before = std::make_unique<Sim>(s());
  struct Case {
    char uml;
    char type[2];
  };
  for (Case c : {Case{'M', {'L', 'L'}}, Case{'U', {'T', 'D'}}, Case{'L', {'T', 'D'}}}) {
    s().sgnUML[2] = c.uml;
    s().GGTYPE[2][0] = c.type[0];
    s().GGTYPE[2][1] = c.type[1];
    rgtest::Capture cap;
    EXPECT_EQ(PRCircleManip4(s(), s().vw, s().omw), 'R');
    EXPECT_EQ(s().sgnMANIP, 'R');
    EXPECT_EQ(s().cntManip0, before->cntManip0);
    EXPECT_EQ(s().ManipTS, before->ManipTS);
    EXPECT_EQ(s().qqa2[1][1][4], before->qqa2[1][1][4]);
    EXPECT_EQ(s().ManipRW2[1][2], before->ManipRW2[1][2]);
    EXPECT_TRUE(cap.text().empty());
  }
  EXPECT_FALSE(GraspOnRim(s(), 2));
  s().sgnUML[2] = 'U';
  s().GGTYPE[2][0] = 'L';
  s().GGTYPE[2][1] = 'C';
  EXPECT_TRUE(GraspOnRim(s(), 2));
}

TEST_F(StepTest, NoGraspOrAFullRecordIsRefusedWithoutComputing) {
  rgtest::Capture cap;
  EXPECT_EQ(PRCircleManip4(s(), s().vw, s().omw), 'R');  // nothing grasped yet
  EXPECT_EQ(s().cntManip0, 0);

  const RimScene sc = PlaceRim(s(), 1, kQ, 30.0, 0.5, 0.4, 0.3);
  RecordGrasp(s(), 1, sc, sc.rwP);
  RecordGrasp(s(), 2, sc, sc.rwP);
  s().cntManip0 = 3999;  // step 4000 would need row 800
  EXPECT_EQ(PRCircleManip4(s(), s().vw, s().omw), 'F');
  EXPECT_EQ(s().sgnMANIP, 'F');
  EXPECT_EQ(s().cntManip0, 3999);
  EXPECT_EQ(s().ManipTS, 0.0);
  EXPECT_TRUE(cap.text().empty());
}

TEST_F(StepTest, AVelocityThatIsNotANumberEndsInDeadlockWithoutTouchingTheRecord) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 30.0, 0.5, 0.4, 0.3);
  RecordGrasp(s(), 1, sc, sc.rwP);
  RecordGrasp(s(), 2, sc, sc.rwP);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double vw[3] = {0, nan, 0};
  EXPECT_EQ(PRCircleManip4(s(), vw, s().omw), 'D');
  EXPECT_EQ(s().cntManip0, 0);
  EXPECT_EQ(s().ManipTS, 0.0);
  EXPECT_EQ(s().ManipRW2[1][1], sc.rwP[1]);
}

// ---- time-step control

TEST_F(StepTest, DeadlockShrinksTheTimeStepBySqrt10DownToErr5ThenStops) {
  // finger 1 rests on a rim that is then out of its reach: no attempt can succeed
  const RimScene sc = PlaceRim(s(), 1, kQ, 30.0, 0.5, 0.4, 0.3);
  double rw[3];
  VecAddScaled(sc.rwP, -1000.0, sc.N, rw);
  RecordGrasp(s(), 1, sc, rw);
  RecordGrasp(s(), 2, sc, rw);
  rgtest::Capture cap;
  EXPECT_EQ(PRCircleManip4(s(), s().vw, s().omw), 'D');
  const std::string& t = cap.text();

  // the attempts: 0.05, 0.0158, 0.005, ..., 5e-6
  std::vector<double> dts;
  const std::string key = "\n■CM4:CirMotion24()解: kf=1 dt=";
  for (size_t at = t.find(key); at != std::string::npos; at = t.find(key, at + 1))
    dts.push_back(std::strtod(t.c_str() + at + key.size(), nullptr));
  ASSERT_EQ(dts.size(), 9u);
  double expect = 0.05;
  for (double dt : dts) {
    EXPECT_NEAR(dt, expect, 1e-4 * expect);
    expect /= std::sqrt(10.0);
  }
  EXPECT_NEAR(dts.back(), 5.0e-6, 1e-10);
  EXPECT_EQ(Count(t, "→ dtを小さくして再計算"), 8);
  EXPECT_EQ(Count(t, "<err5 → 運動停止"), 1);
  EXPECT_EQ(Count(t, "\n△CirM24():----kf=1 sgnN=D 行き詰まり"), 9);
  // each deadlock is acknowledged twice on the console with 'e' (besides the
  // solver's own linearisation notices)
  EXPECT_EQ(Count(t, "\nInput getch()=e"), 18 + Count(t, "\n▲Jacob4()"));
  EXPECT_NE(t.find(" sgnC[kf]=D 行き詰まり\n  dt= 5.0000e-06<err5 → 運動停止"), std::string::npos);

  // nothing was stored: the finger keeps its state, the step is not counted
  EXPECT_EQ(s().sgnMANIP, 'D');
  EXPECT_EQ(s().sgnC[1], 'D');
  EXPECT_EQ(s().cntManip0, 0);
  EXPECT_EQ(s().ManipTS, 0.0);
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(s().qqa2[1][1][j], kQ[j]);

  // the next call starts again from 0.05
  cap.clear();
  PRCircleManip4(s(), s().vw, s().omw);
  EXPECT_NE(t.find("kf=1 dt= 5.0000e-02"), std::string::npos);
}

// ---- status of a step over its fingers

TEST(ManipStatus, FirstFingerSetsItAndLaterFailuresAreNeverLost) {
  // two fingers
  EXPECT_EQ(MergeManipStatus(MergeManipStatus('Y', 1, 'Y'), 2, 'Y'), 'Y');
  EXPECT_EQ(MergeManipStatus(MergeManipStatus('Y', 1, 'C'), 2, 'Y'), 'C');
  EXPECT_EQ(MergeManipStatus(MergeManipStatus('Y', 1, 'Y'), 2, 'C'), 'C');
  EXPECT_EQ(MergeManipStatus(MergeManipStatus('Y', 1, 'O'), 2, 'C'), 'O');
  // three fingers: a collision of the middle finger alone is reported
  char st = MergeManipStatus('Y', 1, 'Y');
  st = MergeManipStatus(st, 2, 'C');
  EXPECT_EQ(MergeManipStatus(st, 3, 'Y'), 'C');
  st = MergeManipStatus('Y', 1, 'Y');
  st = MergeManipStatus(st, 2, 'Y');
  EXPECT_EQ(MergeManipStatus(st, 3, 'O'), 'O');
  // a new attempt after a deadlock starts over with finger 1's result
  EXPECT_EQ(MergeManipStatus('D', 1, 'Y'), 'Y');
}

// ---- first PR motion

class PredictionTest : public StepTest {};

// The material point of the last link that sits at p, after the joints moved by e*nu.
void CarriedPoint(Sim& s, int kf, const double q[5], const double nu[kSlots], double e,
                  const double p[3], double out[3], double R[3][3]) {
  Findirect_kineR(s, kf, s.nJ, q);
  double local[3], d[3], E0[3][3];
  MatCopy(s.EA[kf][4], E0);
  VecSub(p, s.JA[kf][4], d);
  MatTVec(E0, d, local);
  double q2[kSlots] = {0};
  for (int j = 1; j <= 4; ++j) q2[j] = q[j] + e * nu[j];
  Findirect_kineR(s, kf, s.nJ, q2);
  MatVec(s.EA[kf][4], local, d);
  VecAdd(s.JA[kf][4], d, out);
  double E0T[3][3];
  MatTrans(E0, E0T);
  MatMul(s.EA[kf][4], E0T, R);  // rotation of the link over the move
}

TEST_F(PredictionTest, JointRatesCarryTheContactWithTheWorkAndMatchItsSpin) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 30.0, 0.5, 0.4, 0.3);
  const double rw1[3] = {5, 120, -30};
  const double vw[3] = {1, -1, 0};
  const double omw[3] = {0.0, -0.01414, 0.01414};
  double nu[kSlots] = {0}, det = 0;
  ASSERT_EQ(PRCirMotion1VN2(s(), 1, sc.q, rw1, sc.p, sc.N, vw, omw, nu, &det), 1);
  EXPECT_GE(std::fabs(det), 0.1);

  // velocity of the work's material point at the contact
  double r[3], w[3], vwc[3];
  VecSub(sc.p, rw1, r);
  VecCross(omw, r, w);
  VecAdd(vw, w, vwc);

  const double e = 1e-6;
  double moved[3], R[3][3];
  CarriedPoint(s(), 1, sc.q, nu, e, sc.p, moved, R);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR((moved[i] - sc.p[i]) / e, vwc[i], 1e-4);
  // the link's rotation about the normal: the axial part of the skew matrix R - R^T
  const double spin[3] = {0.5 * (R[2][1] - R[1][2]), 0.5 * (R[0][2] - R[2][0]),
                          0.5 * (R[1][0] - R[0][1])};
  EXPECT_NEAR(VecDot(spin, sc.N) / e, VecDot(omw, sc.N), 1e-7);
}

TEST_F(PredictionTest, AWorkAtRestGivesNoJointMotion) {
  const RimScene sc = PlaceRim(s(), 2, kQ, 60.0, -1.0, 2.0, 0.8);
  const double zero[3] = {0, 0, 0};
  double nu[kSlots] = {0, 9, 9, 9, 9, 9, 9}, det = 0;
  ASSERT_EQ(PRCirMotion1VN2(s(), 2, sc.q, sc.rwP, sc.p, sc.N, zero, zero, nu, &det), 1);
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(nu[j], 0.0);
}

TEST_F(PredictionTest, ASingularContactMatrixGivesNoPrediction) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 30.0, 0.5, 0.4, 0.3);
  const double vw[3] = {1, 0, 0}, omw[3] = {0, 0, 0.02};
  const double noNormal[3] = {0, 0, 0};  // no spin row: the 4 x 4 matrix is singular
  double nu[kSlots] = {0, 9, 9, 9, 9, 9, 9}, det = 1;
  rgtest::Capture cap;
  EXPECT_EQ(PRCirMotion1VN2(s(), 1, sc.q, sc.rwP, sc.p, noNormal, vw, omw, nu, &det), 0);
  EXPECT_LT(std::fabs(det), 0.1);
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(nu[j], 9.0);  // not written
}

// ---- second PR motion

TEST_F(PredictionTest, SecondMotionDeadlockRestoresTheStateBeforeTheStep) {
  const RimScene sc = PlaceRim(s(), 1, kQ, 30.0, 0.5, 0.4, 0.3);
  PRStepFixed in = rgtest::FixedAt(sc, 1);
  VecAddScaled(sc.rwP, -1000.0, sc.N, in.rwP2);
  s().cntManip0 = 0;
  s().sgnMANIP = 'Y';
  PRStepResult out;
  rgtest::Capture cap;
  EXPECT_EQ(PRCirMotion24(s(), in, out), 'D');
  EXPECT_EQ(s().sgnC[1], 'D');
  EXPECT_EQ(s().sgnMANIP, 'D');
  EXPECT_EQ(Count(cap.text(), "\n△CirM24():----kf=1 sgnN=D 行き詰まり"), 1);
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(out.q2[j], kQ[j]);
  EXPECT_EQ(out.Lf2, sc.Lf);
  EXPECT_EQ(out.fif2, sc.fif);
  EXPECT_EQ(out.thw2, sc.thw);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(out.NW2[i], sc.N[i]);
}

TEST_F(PredictionTest, SecondMotionAcceptsAStartInContactButNotOneOffTheLink) {
  for (double Lf : {40.0, lFin + 0.2}) {
    const RimScene sc = PlaceRim(s(), 1, kQ, Lf, 0.5, 0.4, 0.3);
    PRStepFixed in = rgtest::FixedAt(sc, 1);
    s().cntManip0 = 0;
    s().sgnMANIP = 'Y';
    PRStepResult out;
    rgtest::Capture cap;
    const char want = Lf > lFin ? 'O' : 'Y';
    EXPECT_EQ(PRCirMotion24(s(), in, out), want);
    EXPECT_EQ(s().sgnC[1], want);
    EXPECT_EQ(s().sgnMANIP, want);
    EXPECT_EQ(cap.text().empty(), want == 'Y');
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(out.RC2[i], sc.p[i], 1e-8);
      EXPECT_NEAR(out.NW2[i], sc.N[i], 1e-8);
    }
  }
}

}  // namespace
