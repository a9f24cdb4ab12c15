// One manipulation step: its refusals, its time-step control on a deadlock, the
// status of a step over the fingers, and the per-finger prediction and correction.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/hand_choice.h"
#include "app/keyboard.h"
#include "hand/hand.h"
#include "manip/manip.h"
#include "record/store.h"
#include "numerics/vecmat.h"
#include "own_geometry.h"
#include "record_view.h"
#include "support.h"
#include "test_manip_scene.h"
#include "work/work.h"

namespace {

using namespace rg;
using namespace rgtest;

// Records a grasp of finger kf on the lower rim of a work whose bottom centre is rw.
void RecordGrasp(Sim& s, int kf, const RimScene& sc, const double rw[3]) {
  const ContactPrm prm{sc.Lf, sc.fif, kHalfPiC, 0.0, catalogue::aCyl, sc.thw};
  StoreCylinderManipData5(s, 0, kf, 0.0, {sc.q, prm, rw, rw, sc.Ew, sc.p, sc.N});
  s.sgnUML[kf] = 'L';
  s.GGTYPE[kf][0] = 'L';
  s.GGTYPE[kf][1] = 'C';
  s.sgnGRASPM[kf] = 'Y';
}

// Rotation by angle a about the unit axis u (Rodrigues).
void RotationAbout(const double u[3], double a, double R[3][3]) {
  const double c = std::cos(a), sn = std::sin(a);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) R[i][j] = (i == j ? c : 0.0) + (1.0 - c) * u[i] * u[j];
  R[0][1] -= sn * u[2];
  R[1][0] += sn * u[2];
  R[0][2] += sn * u[1];
  R[2][0] -= sn * u[1];
  R[1][2] -= sn * u[0];
  R[2][1] += sn * u[0];
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class StepTest : public StartedSimTest {};

TEST_F(StepTest, AStepRefusedOrStoppedBeforeItStartsChangesNothingAndPrintsNothing) {
  struct Case {
    const char* what;
    void (*change)(Sim& s);  // of two fingers grasped on rims; none: nothing grasped
    char want;
  };
  const Case cases[] = {
      {"nothing grasped", nullptr, 'R'},
      {"finger 2 on the cylinder side", [](Sim& s) { s.sgnUML[2] = 'M'; }, 'R'},
      {"finger 2 on an end disk", [](Sim& s) { s.GGTYPE[2][1] = 'D'; }, 'R'},
      {"finger 2's fingertip on the rim", [](Sim& s) { s.GGTYPE[2][0] = 'T'; }, 'R'},
      {"record full: row 799 stored with step 3995", [](Sim& s) {
         s.cntManip0 = 3995;
         s.cntMainip1 = kRows - 1;
       }, 'F'},
      {"record full, whatever the grasp", [](Sim& s) {
         s.sgnUML[2] = 'M';
         s.cntMainip1 = kRows - 1;
       }, 'F'},
      {"angular velocity not a number", [](Sim& s) { s.omww[2] = std::nan(""); }, 'D'},
      {"work straddling the palm disc", [](Sim& s) {
         for (int h = 0; h < 2; ++h) {
           VecSet(0.0, -20.0, -50.0, s.ManipRW2[h]);
           MatIdentity(s.ManipEW2[h]);
         }
       }, 'C'},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    auto sim = StartedSim();
    Sim& s = *sim;
    if (k.change != nullptr) {
      const RimScene sc = PlaceRim(s, 1, kBentQ, 30.0, 0.5, 0.4, 0.3);
      RecordGrasp(s, 1, sc, sc.rwP);
      RecordGrasp(s, 2, sc, sc.rwP);
      k.change(s);
    }
    const auto before = std::make_unique<Sim>(s);
    Capture cap(s);
    EXPECT_EQ(PRCircleManip4(s, s.vw, s.omww), k.want);
    PrintNotes(s);
    EXPECT_EQ(s.sgnMANIP, k.want);
    EXPECT_EQ(s.cntManip0, before->cntManip0);
    EXPECT_EQ(s.ManipTS, before->ManipTS);
    EXPECT_EQ(s.qqa2[1][1][4], before->qqa2[1][1][4]);
    EXPECT_EQ(s.ManipRW2[1][1], before->ManipRW2[1][1]);
    EXPECT_TRUE(cap.text().empty());
  }
  s().sgnUML[2] = 'U';  // a link on the upper rim is a rim contact too
  s().GGTYPE[2][0] = 'L';
  s().GGTYPE[2][1] = 'C';
  EXPECT_TRUE(GraspOnRim(s(), 2));
}

// A caller of the step alone (the planner, the benchmarks) gets the record the keys
// get: every stored row carries the command it was run with. Showing the new pose
// is the caller's: the step draws nothing.
TEST_F(StepTest, TheStepAloneRecordsItsCommandAndDrawsNothing) {
  Press(s(), "ssA");  // the default grasp
  int redraws = 0;
  s().redraw = [&redraws] { ++redraws; };
  const double vw[3] = {0.2, -0.1, 0.0}, omww[3] = {0.0, 0.005, 0.02};
  for (int n = 1; n <= 2 * kDecim; ++n) ASSERT_EQ(PRCircleManip4(s(), vw, omww), 'Y') << n;
  ASSERT_EQ(s().cntMainip1, 2);
  for (int row = 1; row <= 2; ++row)
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(s().ManipCmd[row][i], vw[i]) << row;
      EXPECT_EQ(s().ManipCmd[row][3 + i], omww[i]) << row;
    }
  EXPECT_EQ(redraws, 0);
}

// A step keeps each finger's last link frame for the next step, which reads it only
// for the angles it was computed at: with them it finds what it finds without it, to
// the last bit; with the latest angles changed since (as a restored snapshot or a gait
// changes them) it computes the frame anew.
TEST_F(StepTest, AKeptLinkFrameIsReadOnlyForTheAnglesItWasComputedAt) {
  Press(s(), "ssA");
  for (int n = 0; n < 3; ++n) ASSERT_EQ(PRCircleManip4(s(), s().vw, s().omww), 'Y');
  auto stepped = [](const Sim& from, bool forget) {
    auto t = std::make_unique<Sim>(from);
    if (forget)
      for (auto& k : t->keptLink) k = Sim::KeptLinkFrame{};
    EXPECT_EQ(PRCircleManip4(*t, t->vw, t->omww), 'Y');
    return t;
  };
  auto same = [](const Sim& a, const Sim& b) {
    for (int kf = 1; kf <= a.nF(); ++kf) {
      for (int j = 1; j <= a.nJ(); ++j) EXPECT_EQ(a.qqa2[1][kf][j], b.qqa2[1][kf][j]) << kf;
      for (int i = 0; i < 3; ++i) EXPECT_EQ(a.ManipNWA2[1][kf][i], b.ManipNWA2[1][kf][i]) << kf;
    }
  };
  ASSERT_NE(s().keptLink[1].model, nullptr);
  same(*stepped(s(), false), *stepped(s(), true));
  // finger 1's latest angles moved without a step: the frame kept for the old ones is stale
  auto moved = std::make_unique<Sim>(s());
  moved->qqa2[1][1][2] += 2e-3;
  const auto withKept = stepped(*moved, false), fresh = stepped(*moved, true);
  same(*withKept, *fresh);
  EXPECT_GT(std::fabs(withKept->qqa2[1][1][2] - stepped(s(), false)->qqa2[1][1][2]), 1e-4);
}

TEST_F(StepTest, DeadlockShrinksTheTimeStepBySqrt10DownToErr5ThenStops) {
  // finger 1 rests on a rim that is then out of its reach: no attempt can succeed
  const RimScene sc = PlaceRim(s(), 1, kBentQ, 30.0, 0.5, 0.4, 0.3);
  double rw[3];
  VecAddScaled(sc.rwP, -1000.0, sc.N, rw);
  RecordGrasp(s(), 1, sc, rw);
  RecordGrasp(s(), 2, sc, rw);
  Capture cap(s());
  EXPECT_EQ(PRCircleManip4(s(), s().vw, s().omww), 'D');
  PrintNotes(s());
  const std::string& t = cap.text();
  // the attempts: 0.05, 0.0158, 0.005, ..., 5e-6
  std::vector<double> dts;
  const std::string key = "\n■CM4:CirMotion24()解: kf=1 dt=";
  for (size_t at = t.find(key); at != std::string::npos; at = t.find(key, at + 1))
    dts.push_back(std::strtod(t.c_str() + at + key.size(), nullptr));
  ASSERT_EQ(dts.size(), 9u);
  for (size_t n = 0; n < dts.size(); ++n)
    EXPECT_NEAR(dts[n], 0.05 * std::pow(10.0, -0.5 * n), 1e-4 * dts[n]) << n;
  EXPECT_EQ(Count(t, "→ dtを小さくして再計算"), 8);
  EXPECT_NE(t.find(" sgnC[kf]=D 行き詰まり\n  dt= 5.0000e-06<err5 → 運動停止"), std::string::npos);
  // each deadlock is acknowledged twice with 'e' (besides the solver's own notices)
  EXPECT_EQ(Count(t, "\n△CirM24():----kf=1 sgnN=D 行き詰まり"), 9);
  EXPECT_EQ(Count(t, "\nInput getch()=e"), 18 + Count(t, "\n▲Jacob4()"));
  // nothing was stored: the finger keeps its state, the step is not counted
  EXPECT_EQ(s().sgnMANIP, 'D');
  EXPECT_EQ(s().sgnC[1], 'D');
  EXPECT_EQ(s().cntManip0, 0);
  EXPECT_EQ(s().ManipTS, 0.0);
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(s().qqa2[1][1][j], kBentQ[j]);
  // the next call starts again from 0.05
  cap.clear();
  PRCircleManip4(s(), s().vw, s().omww);
  PrintNotes(s());
  ASSERT_NE(t.find(key), std::string::npos);
  EXPECT_EQ(t.find(key + " 5.0000e-02"), t.find(key));
}

// A one-finger hand resting on a rim whose work is tilted about the rim's tangent at
// the contact: the contact stays where it was, but for one sense of the tilt the
// link lies inside the work's side. The step at rest finds the finger's pose
// unchanged; only the interference of the contacting link can stop it.
TEST_F(StepTest, AContactingLinkInsideTheWorkStopsTheStepWithItsFinger) {
  for (const double tilt : {0.3, -0.3}) {
    SCOPED_TRACE(tilt);
    auto sim = StartedSim();
    Sim& s = *sim;
    auto oneFinger = std::make_shared<Model>(s.model());
    oneFinger->nF = 1;
    SelectHandModel(s, oneFinger);
    const RimScene sc = PlaceRim(s, 1, kBentQ, 40.0, 0.5, 0.4, 0.3);
    // turn the work by `tilt` about the rim tangent t = N x (work z) at the contact
    double t[3], ez[3], R[3][3], d[3], rw[3];
    MatColumn(sc.Ew, 2, ez);
    VecCross(ez, sc.N, t);
    VecUnit(t, t);
    RotationAbout(t, tilt, R);
    RimScene tilted = sc;
    MatMul(R, sc.Ew, tilted.Ew);
    VecSub(sc.rwP, sc.p, d);
    MatVec(R, d, rw);
    VecAdd(sc.p, rw, rw);
    RecordGrasp(s, 1, tilted, rw);
    for (double* v : {s.vw, s.omww}) VecSet(0, 0, 0, v);
    s.COLLkf = 0;
    const char want = tilt > 0 ? 'C' : 'Y';
    ASSERT_EQ(PRCircleManip4(s, s.vw, s.omww), want);
    EXPECT_EQ(s.cntManip0, 1);  // a collision step is recorded, as any other
    EXPECT_EQ(s.COLLkf, want == 'C' ? 1 : 0);
    for (int j = 1; j <= 4; ++j) EXPECT_NEAR(s.qqa2[1][1][j], kBentQ[j], 1e-9);
  }
}

TEST(ManipStatus, FirstFingerSetsItAndLaterFailuresAreNeverLost) {
  struct Case {
    char before;
    const char* fingers;  // each finger's letter in turn
    char want;
  };
  const Case cases[] = {{'Y', "YY", 'Y'},  {'Y', "CY", 'C'},  {'Y', "YC", 'C'}, {'Y', "OC", 'O'},
                        {'Y', "YCY", 'C'}, {'Y', "YYO", 'O'}, {'D', "Y", 'Y'}};
  for (const Case& k : cases) {
    char st = k.before;
    for (int kf = 1; k.fingers[kf - 1] != '\0'; ++kf)
      st = MergeManipStatus(st, kf, k.fingers[kf - 1]);
    EXPECT_EQ(st, k.want) << k.before << " then " << k.fingers;
  }
}

// ---- first PR motion: joint rates nu for the work's velocity

TEST_F(StepTest, JointRatesCarryTheContactWithTheWorkAndMatchItsSpin) {
  const RimScene sc = PlaceRim(s(), 1, kBentQ, 30.0, 0.5, 0.4, 0.3);
  const double rw1[3] = {5, 120, -30}, vw[3] = {1, -1, 0}, omw[3] = {0.0, -0.01414, 0.01414};
  WorkMotion wm;
  VecCopy(rw1, wm.centre);
  VecCopy(vw, wm.vw);
  VecCopy(omw, wm.omw);
  const JointRates rates =
      PRCirMotion1VN2(s().model(), s().mount(1), sc.q, sc.p, sc.N, wm, &s().notes);
  ASSERT_TRUE(rates.ok);
  EXPECT_GE(std::fabs(rates.det), 0.1);
  const double* nu = rates.nu;
  // the link's material point at the contact and its frame, after the joints moved by e*nu
  const double e = 1e-6;
  double local[3], d[3], E0[3][3], q2[kSlots] = {0};
  const FingerPose P1 = Findirect_kineR(s().model(), s().mount(1), sc.q);
  MatCopy(P1.EA[4], E0);
  VecSub(sc.p, P1.JA[4], d);
  MatTVec(E0, d, local);
  for (int j = 1; j <= 4; ++j) q2[j] = sc.q[j] + e * nu[j];
  const FingerPose P2 = Findirect_kineR(s().model(), s().mount(1), q2);
  MatVec(P2.EA[4], local, d);
  // it moves with the work's material point at the contact
  double r[3], w[3];
  VecSub(sc.p, rw1, r);
  VecCross(omw, r, w);
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR((P2.JA[4][i] + d[i] - sc.p[i]) / e, vw[i] + w[i], 1e-4);
  // the link turns about the normal as the work does: axial part of R - R^T
  double E0T[3][3], R[3][3];
  MatTrans(E0, E0T);
  MatMul(P2.EA[4], E0T, R);
  const double spin[3] = {0.5 * (R[2][1] - R[1][2]), 0.5 * (R[0][2] - R[2][0]),
                          0.5 * (R[1][0] - R[0][1])};
  EXPECT_NEAR(VecDot(spin, sc.N) / e, VecDot(omw, sc.N), 1e-7);
}

TEST_F(StepTest, ASingularContactMatrixGivesNoPrediction) {
  const RimScene sc = PlaceRim(s(), 1, kBentQ, 30.0, 0.5, 0.4, 0.3);
  const double vw[3] = {1, 0, 0}, omw[3] = {0, 0, 0.02};
  const double noNormal[3] = {0, 0, 0};  // no spin row: the 4 x 4 matrix is singular
  WorkMotion wm;
  VecCopy(sc.rwP, wm.centre);
  VecCopy(vw, wm.vw);
  VecCopy(omw, wm.omw);
  const JointRates rates =
      PRCirMotion1VN2(s().model(), s().mount(1), sc.q, sc.p, noNormal, wm, &s().notes);
  EXPECT_FALSE(rates.ok);
  EXPECT_LT(std::fabs(rates.det), 0.1);
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(rates.nu[j], 0.0);  // no motion predicted
}

// The first PR motion's joint rates are those of the exact rolling motion: the roots of
// the step's equations for the work moved by -h and by +h, solved to kRootTol, differ by
// 2h times them, up to the roots' own error over h and the central difference's
// h^2 q'''/6, in which each derivative of the motion brings a factor 1/sigma, the
// finger's conditioning (velocities of order one). The cylinder turns about its
// mid-point, so turns across its axis tell a wrong turn centre apart (by 0.01 rad/s and
// more here).
TEST(FirstMotion, JointRatesAreThoseOfTheExactRollingMotion) {
  struct Case {
    const char* keys;  // hand, work and grasp
    double vw[3], omww[3];
  };
  const Case cases[] = {
      {"H1GssA", {1, -1, 0.5}, {0.02, -0.01, 0.01}},
      {"H2GsssA", {0, 0.5, -1}, {0, 0.02, 0}},
      {"H3GssA", {-1, 0, 0.5}, {-0.02, 0.01, 0}},
      {"H4GsssA", {0.5, 1, 0}, {0.01, 0.02, -0.02}},
      {"H3W1GssA", {0, 1, -0.5}, {0.02, 0, 0.01}},  // the sphere, about its centre
  };
  const double h = 1e-4;
  for (const Case& k : cases) {
    auto sim = StartedSim();
    Sim& s = *sim;
    own::Press(s, k.keys);
    ASSERT_EQ(s.sgnCALGEnd, 'Y') << k.keys;
    const WorkPose from = own::LatestWork(s);
    double omw[3];
    MatVec(from.E, k.omww, omw);
    for (int kf = 1; kf <= s.nF(); ++kf) {
      SCOPED_TRACE(testing::Message() << k.keys << " finger " << kf);
      PRStepFixed in[2];
      PRStepResult root[2];
      for (int side = 0; side < 2; ++side) {
        const WorkPose to = MoveWorkStep(s.model(), s.WORK1, k.vw, k.omww, side ? h : -h, from);
        in[side] = PRStepInputs(s, kf, from, to);
        ASSERT_TRUE(PRCirMotion2Root(s.model(), in[side], in[side].q1, root[side]));
        ASSERT_LT(root[side].err, kRootTol);
      }
      const JointRates nu = PRStepPredict(s, from, k.vw, omw, in[1]);
      ASSERT_TRUE(nu.ok);
      const double sigma = RollingConditioning(s, kf, in[1].q1, in[1].RC1, in[1].NW1);
      double fastest = 0.0;
      for (int j = 1; j <= 4; ++j) fastest = std::fmax(fastest, std::fabs(nu.nu[j]));
      const double tol = kRootTol / (sigma * h) + (h / sigma) * (h / sigma) * fastest;
      for (int j = 1; j <= 4; ++j)
        EXPECT_NEAR(nu.nu[j], (root[1].q2[j] - root[0].q2[j]) / (2 * h), tol) << "joint " << j;
    }
  }
}

// ---- second PR motion: the exact correction; a deadlock keeps the state before the step

TEST_F(StepTest, SecondMotionAcceptsAStartInContactFlagsOneOffTheLinkAndKeepsADeadlock) {
  struct Case {
    double Lf, away;  // away: the rim moved off the link along the normal
    char want;
  };
  for (const Case k :
       {Case{40, 0, 'Y'}, Case{catalogue::lFin + 0.2, 0, 'O'}, Case{30, 1000, 'D'}}) {
    SCOPED_TRACE(k.want);
    const RimScene sc = PlaceRim(s(), 1, kBentQ, k.Lf, 0.5, 0.4, 0.3);
    PRStepFixed in = FixedAt(s(), sc, 1);
    VecAddScaled(sc.rwP, -k.away, sc.N, in.rwP2);
    s().cntManip0 = 0;
    s().sgnMANIP = 'Y';
    PRStepResult out;
    Capture cap(s());
    EXPECT_EQ(PRCirMotion24(s(), in, out), k.want);
    PrintNotes(s());
    EXPECT_EQ(s().sgnMANIP, 'Y');  // a finger's solve reports; the step sets the status
    EXPECT_EQ(Count(cap.text(), std::string("\n△CirM24():----kf=1 sgnN=") + k.want + " 行き詰まり"),
              k.want == 'Y' ? 0 : 1);
    EXPECT_EQ(cap.text().empty(), k.want == 'Y');
    for (int j = 1; j <= 4; ++j) EXPECT_NEAR(out.q2[j], kBentQ[j], 1e-12);
    EXPECT_NEAR(out.Lf2, sc.Lf, 1e-8);
    EXPECT_NEAR(out.fif2, sc.fif, 1e-8);
    EXPECT_NEAR(out.thw2, sc.thw, 1e-8);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(out.RC2[i], sc.p[i], 1e-8);
      EXPECT_NEAR(out.NW2[i], sc.N[i], 1e-8);
    }
  }
}

// Near a finger's fold (where its base reaches its contact's tangent plane) the step's
// equations have a second root close by, on the returning branch: the base across that
// plane, which no rolling motion reaches. Hand 2 rolled by 'V Q' to step 111, about
// 0.03 rad short of finger 2's fold; a step of 1.2e-4 has both roots, the mirror one
// along the true one's change, a few times as far. With the finger's last step as long
// as this one and changed as far as the mirror root, Newton starts on it: the solve
// must refuse it as a deadlock and keep the finger where it was.
TEST(MirrorRoot, ASolveThatFindsTheMirrorRootIsADeadlock) {
  auto sim = StartedSim();
  Sim& s = *sim;
  own::Press(s, "H2VQGsssA");
  while (s.sgnMANIP == 'Y' && s.cntManip0 < 111) own::Press(s, "s");
  ASSERT_EQ(s.cntManip0, 111);
  const int kf = 2;
  const WorkPose from = own::LatestWork(s);
  double omw[3];
  MatVec(from.E, s.omww, omw);
  s.dt = 1.2e-4;
  PRStepFixed in =
      PRStepInputs(s, kf, from, MoveWorkStep(s.model(), s.WORK1, s.vw, s.omww, s.dt, from));
  PRStepPredict(s, from, s.vw, omw, in);
  // the root the rolling motion reaches, from the prediction; the mirror one further on
  PRStepResult root, mirror;
  ASSERT_TRUE(PRCirMotion2Root(s.model(), in, in.q12, root));
  double further[kSlots];
  for (int j = 0; j < kSlots; ++j) further[j] = in.q1[j] + 5.0 * (root.q2[j] - in.q1[j]);
  ASSERT_TRUE(PRCirMotion2Root(s.model(), in, further, mirror));
  ASSERT_LT(mirror.err, kRootTol);
  // which side of the contact's tangent plane the base is on, by the tests' own geometry
  auto side = [&](const double* q, const double RC[3]) {
    const own::Links f = own::FingerLinks(own::HandLayout(2), true, kf, q);
    const own::V3 p{RC[0], RC[1], RC[2]};
    return own::BaseSide(f, p, own::Unit(own::Sub(own::PlaceOnLink(f, p).foot, p)));
  };
  const double before = side(in.q1, in.RC1);
  ASSERT_GT(before * side(root.q2, root.RC2), 0.0);
  ASSERT_LT(before * side(mirror.q2, mirror.RC2), 0.0);

  // the last step's change carried on, without the prediction, lands on the mirror root
  s.ManipDt2 = s.dt;
  for (int j = 1; j <= 4; ++j) s.qqa2[0][kf][j] = in.q1[j] - (mirror.q2[j] - in.q1[j]);
  in.predicted = false;
  double start[kSlots];
  NewtonStart(s, in, start);
  for (int j = 1; j <= 4; ++j) ASSERT_NEAR(start[j], mirror.q2[j], 1e-12) << j;
  s.notes.clear();
  PRStepResult out;
  EXPECT_EQ(PRCirMotion24(s, in, out), 'D');
  for (int j = 1; j <= 4; ++j) EXPECT_EQ(out.q2[j], in.q1[j]) << j;
  ASSERT_FALSE(s.notes.empty());  // the finger's note, as any deadlock's
  EXPECT_EQ(s.notes.back().kind, Note::FingerStuck);
  EXPECT_EQ(s.notes.back().i, kf);
  EXPECT_EQ(s.notes.back().c, 'D');
}

}  // namespace
