// The keyboard command machine as a user drives it: mode keys, their resume
// rules, and the sub-commands of the setting modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>

#include "app/keyboard.h"
#include "app/overlay_text.h"
#include "app/script.h"
#include "app/window_view.h"
#include "record/report.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "support.h"

using namespace rg;

namespace {

struct Driven {
  std::unique_ptr<Sim> s = rgtest::StartedSim();
  int redraws = 0;
  Driven() {
    s->redraw = [this] { ++redraws; };
  }
  bool keys(const std::string& k) { return rgtest::Press(*s, k); }
};

}  // namespace

TEST(ModeMachine, SettingModesClearTheResumeMode) {
  for (char m : std::string("HWMVJ")) {
    Driven d;
    d.keys("I");
    EXPECT_EQ(d.s->sgnCALold, 'G');
    d.keys(std::string(1, m));
    EXPECT_EQ(d.s->sgnCAL, m);
    EXPECT_EQ(d.s->sgnCALold, 'N');
  }
}

TEST(ModeMachine, ViewModeRemembersOnlyComputationModes) {
  Driven d;
  d.keys("I");
  EXPECT_EQ(d.s->sgnCAL, 'I');
  EXPECT_EQ(d.s->sgnCALold, 'G');
  d.keys("A");  // sgnCALold is 'G', so 'A' starts a new run and leaves it
  EXPECT_EQ(d.s->sgnCAL, 'A');
  EXPECT_EQ(d.s->sgnCALold, 'G');
  d.keys("I");
  EXPECT_EQ(d.s->sgnCALold, 'A');
  d.keys("V");
  d.keys("I");  // from 'V': unchanged
  EXPECT_EQ(d.s->sgnCALold, 'N');
}

TEST(ModeMachine, GraspRunRestartsOrResumes) {
  Driven d;
  // first 'G' after start-up: sgnCALold is the zero character, so a full reset
  d.s->nFIN = 1;
  d.s->sgnCALGEnd = 'Y';
  d.keys("G");
  EXPECT_EQ(d.s->nFIN, 0);
  EXPECT_EQ(d.s->sgnCALGEnd, 'N');
  EXPECT_EQ(d.s->sgnCALGChk, 'Y');
  // 'I' then 'G' resumes without a reset
  d.s->nFIN = 1;
  d.keys("IG");
  EXPECT_EQ(d.s->sgnCAL, 'G');
  EXPECT_EQ(d.s->nFIN, 1);
  EXPECT_EQ(d.s->sgnCALold, 'G');
  d.keys("G");  // still only resumes: sgnCALold stays 'G'
  EXPECT_EQ(d.s->nFIN, 1);
  d.keys("HG");  // 'H' clears the resume mode; 'G' starts anew
  EXPECT_EQ(d.s->nFIN, 0);
}

TEST(ModeMachine, ManipulationRunStoresTheWorkPoseAsStepZero) {
  Driven d;
  d.s->ManipRW[0][1] = -1;
  d.s->nFIN = 2;
  d.keys("A");
  EXPECT_EQ(d.s->ManipRW[0][1], 140.0);
  EXPECT_EQ(d.s->ManipEW[0][1][1], d.s->EwG[1][1]);
  EXPECT_EQ(d.s->nFIN, 0);
  d.s->ManipRW[0][1] = -1;
  d.keys("IA");  // resume: nothing stored
  EXPECT_EQ(d.s->ManipRW[0][1], -1.0);
}

TEST(ModeMachine, ReplayStartsAtZeroOrResumes) {
  Driven d;
  d.s->cntMainip1 = 3;  // a record of four rows
  d.s->cntRecord = 4;
  d.keys("D");
  EXPECT_EQ(d.s->sgnCAL, 'D');
  EXPECT_EQ(d.s->sgnCALold, 'G');
  EXPECT_EQ(d.s->cntRepeat, 0);
  d.keys("ss");
  EXPECT_EQ(d.s->cntRepeat, 2);
  d.keys("ID");  // resume at the same step
  EXPECT_EQ(d.s->cntRepeat, 2);
  EXPECT_EQ(d.s->sgnCAL, 'D');
  d.keys("sss");
  EXPECT_EQ(d.s->cntRepeat, 3);  // stops at the last stored step
  d.keys("D");  // 'D' in mode 'D': a new replay, the mode left recorded
  EXPECT_EQ(d.s->cntRepeat, 0);
  EXPECT_EQ(d.s->sgnCALold, 'D');
  // 'D' from 'I' entered from 'G': new replay, 'I' recorded as the mode left
  Driven e;
  e.keys("ID");
  EXPECT_EQ(e.s->sgnCALold, 'I');
  EXPECT_EQ(e.s->cntRepeat, 0);
}

TEST(ModeMachine, EscapeEndsOnlyTheViewMode) {
  Driven d;
  EXPECT_FALSE(d.keys("\x1b"));  // mode 'G'
  d.keys("H");
  d.s->sgnMANIP = 'D';
  EXPECT_FALSE(d.keys("\x1b"));  // in 'H' it re-selects the hand and resets the grasp
  EXPECT_EQ(d.s->HAND1, 1);
  EXPECT_EQ(d.s->sgnMANIP, 'Y');
  EXPECT_TRUE(d.keys("I\x1b"));
}

TEST(ModeMachine, EveryKeyEndsWithARedraw) {
  Driven d;
  d.keys("Gx");
  EXPECT_EQ(d.redraws, 2);
  d.redraws = 0;
  d.keys("H");
  d.redraws = 0;
  d.keys("2");  // the hand path draws once
  EXPECT_EQ(d.redraws, 1);
}

TEST(HandSelection, AnyKeyReselectsAndResetsTheWork) {
  Driven d;
  d.keys("MXXM");
  EXPECT_EQ(d.s->rwG0[0], 2.0);
  d.keys("H3");
  EXPECT_EQ(d.s->HAND1, 3);
  EXPECT_EQ(d.s->nF(), 2);
  EXPECT_DOUBLE_EQ(d.s->qq0[1][2], 0.05);
  EXPECT_EQ(d.s->rwG0[0], 0.0);  // the moved work is back at its default
  EXPECT_EQ(d.s->RWW[0], 0.0);
  d.keys("2");
  EXPECT_EQ(d.s->HAND1, 2);
  EXPECT_EQ(d.s->nF(), 3);
  // a third finger, bent up
  EXPECT_GT(Findirect_kineR(d.s->model(), d.s->mount(3), d.s->qq0[3]).JA[5][1], 0.0);
  d.keys("z");
  EXPECT_EQ(d.s->HAND1, 2);
  EXPECT_EQ(d.s->nFIN, 0);
}

TEST(JointAngles, DigitsSelectAndPlusMinusStep) {
  Driven d;
  const double q23 = d.s->qq0[2][3];
  d.keys("J23p");
  EXPECT_NEAR(d.s->qq0[2][3], q23 + 0.05, 1e-15);
  EXPECT_EQ(d.s->qf[2][3], d.s->qq0[2][3]);
  EXPECT_EQ(d.s->qqa[0][2][3], d.s->qq0[2][3]);
  d.keys("p");
  EXPECT_NEAR(d.s->qq0[2][3], q23 + 0.10, 1e-15);
  d.keys("m");
  EXPECT_NEAR(d.s->qq0[2][3], q23 + 0.05, 1e-15);
  EXPECT_EQ(d.s->sgnCALGEnd, 'N');
}

TEST(JointAngles, IncompleteOrOutOfRangeSelectionsChangeNothing) {
  Driven d;
  const double before = d.s->qq0[1][1];
  d.keys("Jp");  // "00": finger 0
  d.keys("J2p");  // joint digit cleared to the zero character
  EXPECT_EQ(d.s->sgnFJ[0], '2');
  EXPECT_EQ(d.s->sgnFJ[1], '\0');
  d.keys("J31p");  // finger 3 on a two-finger hand
  EXPECT_EQ(d.s->qq0[1][1], before);
  for (int kf = 1; kf <= 2; ++kf)
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(d.s->qq0[kf][j], rgtest::StartedSim()->qq0[kf][j]);
  d.keys("J123");  // third digit restarts: finger 3, no joint
  EXPECT_EQ(d.s->sgnFJ[0], '3');
  EXPECT_EQ(d.s->sgnFJ[1], '\0');
  EXPECT_EQ(d.s->cntQ, 0);
}

TEST(JointAngles, CountsAndFingerCounter) {
  Driven d;
  d.s->nFIN = 2;
  d.keys("J1");
  EXPECT_EQ(d.s->cntQ, 0);
  EXPECT_EQ(d.s->nFIN, 2);  // a digit keeps it
  d.keys("2p");
  EXPECT_EQ(d.s->nFIN, 0);
  d.s->nFIN = 2;
  d.keys("k");  // an ignored key counts and clears the finger counter
  EXPECT_EQ(d.s->cntQ, 3);
  EXPECT_EQ(d.s->nFIN, 0);
  d.keys("3");  // after p and k, the next digit starts a new selection
  EXPECT_EQ(d.s->cntQ, 0);
  EXPECT_EQ(d.s->sgnFJ[0], '3');
}

TEST(WorkModes, MoveKeysAndRedrawKeys) {
  Driven d;
  d.keys("MY");
  EXPECT_EQ(d.s->rwG0[1], 141.0);
  EXPECT_EQ(d.s->rwG[1], 141.0);
  EXPECT_EQ(d.s->RWW[1], 141.0);
  EXPECT_EQ(d.s->sgnCalColl, 'y');
  d.keys("01k");
  EXPECT_EQ(d.s->rwG0[1], 141.0);
  d.keys("W1");
  EXPECT_EQ(d.s->WORK1, '1');
  EXPECT_EQ(d.s->rwG[1], 100.0);
  d.keys("9");  // not a work type
  EXPECT_EQ(d.s->WORK1, '1');
}

TEST(WorkModes, VelocityKeysOnlyInModeV) {
  Driven d;
  d.keys("VXz");
  EXPECT_EQ(d.s->vw[0], 1.0);
  EXPECT_EQ(d.s->vw[2], -1.0);
  EXPECT_EQ(d.s->sgnCALS, 'S');
  EXPECT_NEAR(d.s->omw[1], -0.01414, 1e-5);  // recomputed from EwG
  d.keys("Gx");
  EXPECT_EQ(d.s->vw[0], 1.0);
}

TEST(ViewMode, StepsRotationAndTranslation) {
  Driven d;
  d.keys("IPPqXz");
  EXPECT_EQ(d.s->rot[0], 6.0);
  EXPECT_EQ(d.s->rot[1], -19.0);
  EXPECT_NEAR(d.s->trans[0], 0.1, 1e-15);
  EXPECT_NEAR(d.s->trans[2], -0.6, 1e-15);
  d.keys("a1s");
  EXPECT_EQ(d.s->rot[0], 6.0);
}

TEST(GraspMode, EveryKeyShowsTheComputedHand) {
  Driven d;
  d.keys("x");
  EXPECT_EQ(d.s->sgnCALS, 'N');
  d.s->sgnGRASP = 'N';
  d.keys("s");
  EXPECT_EQ(d.s->nFIN, 0);  // a pending failure blocks the step
}

TEST(ManipulationMode, RefusesPastTheLastRow) {
  Driven d;
  d.keys("A");
  d.s->cntMainip1 = 799;
  d.keys("s");
  EXPECT_EQ(d.s->sgnMANIP, 'F');
  d.s->cntMainip1 = 5;
  d.keys("s");  // frozen until a reset
  EXPECT_EQ(d.s->sgnMANIP, 'F');
  EXPECT_EQ(d.s->cntMainip1, 5);
}

// Key 's' runs a step the same way in modes 'A' and 'C' (the path's command taken
// up first): a recorded step is shown finger by finger (a redraw for each, then the
// key's own), and a full record stops either mode with 'F' before any command is
// taken up. Planning draws nothing of the steps it tries.
TEST(StepKeys, ModesAAndCRunAndShowAStepAlikeAndStopAtTheSameFullRecord) {
  Driven d;
  d.keys("ssA");
  d.redraws = 0;
  d.keys("s");
  EXPECT_EQ(d.s->cntManip0, 1);
  EXPECT_EQ(d.redraws, d.s->nF() + 1);

  PlanState& p = d.s->plan;
  p.goal.rz = 5.0;
  d.redraws = 0;
  d.keys("Bs");
  ASSERT_FALSE(p.path.empty());
  EXPECT_EQ(d.redraws, 2);  // the two keys'
  d.redraws = 0;
  d.keys("Cs");
  EXPECT_EQ(p.next, 1u);
  EXPECT_EQ(d.s->cntManip0, 2);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(d.s->vw[i], p.path[0].vw[i]);
    EXPECT_EQ(d.s->omww[i], p.path[0].omww[i]);
  }
  EXPECT_EQ(d.redraws, 1 + d.s->nF() + 1);

  for (const char mode : {'A', 'C'}) {
    SCOPED_TRACE(mode);
    Driven e;
    e.keys("ssA");
    e.s->cntManip0 = (kRows - 1) * kDecim;  // row 799 stored
    e.s->cntMainip1 = kRows - 1;
    e.s->plan.path = {StepCommand{{0.2, 0.0, 0.0}, {0.0, 0.0, 0.01}}};
    e.s->plan.next = 0;
    e.s->plan.startStep = e.s->cntManip0;
    e.redraws = 0;
    e.keys(std::string(1, mode) + "s");
    EXPECT_EQ(e.s->sgnMANIP, 'F');
    EXPECT_EQ(e.s->cntManip0, (kRows - 1) * kDecim);
    EXPECT_EQ(e.s->vw[0], 0.0);  // the path's command is not taken up
    EXPECT_EQ(e.s->omww[2], 0.02);
    EXPECT_EQ(e.redraws, 2);
  }
}

TEST(Robustness, ArbitraryBytesNeverBreakTheState) {
  std::mt19937 rng(11);
  for (int run = 0; run < 40; ++run) {
    Driven d;
    d.s->plan.timeLimit = 0.05;  // key B's s plans; a short plan keeps the run quick
    for (int i = 0; i < 300; ++i) {
      unsigned char key = static_cast<unsigned char>(rng() % 256);
      if (key == 27 && d.s->sgnCAL == 'I') continue;  // would end the program
      keyboard(*d.s, key, 0, 0);
      ASSERT_TRUE(std::string("IHWMVJGADBC").find(d.s->sgnCAL) != std::string::npos);
      ASSERT_GE(d.s->HAND1, 1);
      ASSERT_LE(d.s->HAND1, 4);
      ASSERT_TRUE(d.s->WORK1 == '1' || d.s->WORK1 == '2');
      ASSERT_GE(d.s->cntRepeat, 0);
      ASSERT_LE(d.s->cntRepeat, d.s->cntMainip1);
      ASSERT_GE(d.s->cntQ, -1);
      ASSERT_LE(d.s->cntQ, 1000000);
      for (int kf = 1; kf <= d.s->nF(); ++kf) {
        const FingerPose P = Findirect_kineR(d.s->model(), d.s->mount(kf), d.s->qqa2[1][kf]);
        for (int j = 0; j <= 5; ++j)
          for (int c = 0; c < 3; ++c) ASSERT_TRUE(std::isfinite(P.JA[j][c]));
      }
    }
  }
}

TEST(Computations, GraspManipulateAndReplayTheDefaultScene) {
  Driven d;
  d.keys("ss");
  EXPECT_EQ(d.s->nFIN, 2);
  EXPECT_EQ(d.s->sgnCALGEnd, 'Y');
  EXPECT_EQ(d.s->sgnGRASP, 'Y');
  for (int kf = 1; kf <= 2; ++kf) EXPECT_EQ(d.s->sgnGRASPM[kf], 'Y');
  d.keys("s");  // a finished grasp: nothing more to do
  EXPECT_EQ(d.s->nFIN, 2);
  d.keys("A" + std::string(12, 's'));
  EXPECT_EQ(d.s->sgnMANIP, 'Y');
  EXPECT_EQ(d.s->cntManip0, 12);
  EXPECT_EQ(d.s->cntMainip1, 2);
  d.keys("Dsss");
  EXPECT_EQ(d.s->cntRepeat, 2);
  // 'I' and 'A' continue the manipulation where it stopped
  d.keys("IAs");
  EXPECT_EQ(d.s->cntManip0, 13);
}

TEST(Computations, ManipulationNeedsAFinishedGrasp) {
  Driven d;
  d.keys("s");  // one finger only
  d.keys("Ass");
  EXPECT_EQ(d.s->cntManip0, 0);
  EXPECT_EQ(d.s->sgnMANIP, 'Y');
}

TEST(Computations, AFingertipGraspIsNotRolledAsALinkOnTheRim) {
  Driven d;
  // the work lowered and pushed out: finger 1 first touches the rim with its tip
  d.keys("H1M" + std::string(8, 'Y') + std::string(40, 'z') + "Gss");
  ASSERT_EQ(d.s->sgnCALGEnd, 'Y');
  ASSERT_EQ(std::string(d.s->GGTYPE[1], 2), "TC");
  const double q4 = d.s->qqa2[1][1][4];
  d.keys("A" + std::string(5, 's'));
  EXPECT_EQ(d.s->sgnMANIP, 'R');  // "Grasp Not On Rim": nothing moves
  EXPECT_EQ(d.s->cntManip0, 0);
  EXPECT_EQ(d.s->qqa2[1][1][4], q4);
}

TEST(Computations, MovingTheWorkIntoAFingerIsReportedAndBlocksTheGrasp) {
  Driven d;
  d.keys("M" + std::string(40, 'z'));
  EXPECT_EQ(d.s->sgnGC, 'C');
  EXPECT_EQ(d.s->sgnCALGChk, 'C');
  EXPECT_EQ(d.s->sgnGRASP, 'N');
  EXPECT_GE(d.s->COLLkf, 1);
  // a grasp step does nothing while the failure is pending
  const char mode = d.s->sgnCAL;
  EXPECT_EQ(mode, 'M');
  // moving it back clears the collision
  d.keys(std::string(40, 'Z'));
  EXPECT_NE(d.s->sgnGC, 'C');
  EXPECT_EQ(d.s->sgnGRASP, 'Y');
  // '0' re-runs the check without moving the work
  d.keys(std::string(40, 'z') + "0");
  EXPECT_EQ(d.s->sgnGC, 'C');
}

TEST(Computations, AStillWorkRunsUntilTheRecordIsFull) {
  Driven d;
  d.keys("Vr");  // angular velocity 0, linear velocity 0: the work stays still
  EXPECT_EQ(d.s->omww[2], 0.0);
  d.keys("Gss");
  ASSERT_EQ(d.s->sgnCALGEnd, 'Y');
  d.keys("A" + std::string(3995, 's'));
  EXPECT_EQ(d.s->cntMainip1, 799);
  EXPECT_EQ(d.s->sgnMANIP, 'Y');
  d.keys("s");
  EXPECT_EQ(d.s->sgnMANIP, 'F');
  EXPECT_EQ(d.s->cntManip0, 3995);
}

TEST(HandSelection, AColliderOfTheOldHandIsForgotten) {
  Driven d;
  d.keys("H2");
  d.s->COLLkf = 3;  // finger 3 of the three-finger hand was found colliding
  d.keys("H1");
  EXPECT_EQ(d.s->COLLkf, 0);
}

// What the computations note is printed by the application, in order, with the
// exact texts of the simulator's console; the deadlock notes wait for 'e'.
TEST(Notes, PrintedInOrderWithTheirTextsAndWaits) {
  auto s = rgtest::StartedSim();
  s->notes = {Note{Note::SineOnly, 0, 0, 0.0, 1.5e-8},
              Note{Note::NoInverse, 2, 0, -3e-17, 0.0},
              Note{Note::JacobianCheck},
              Note{Note::FingerStuck, 3, 'O'},
              Note{Note::StepStuck, 1, 'D', 0.0158113883},
              Note{Note::StepStuck, 2, 'D', 5e-6}};
  rgtest::Capture cap(*s);
  PrintNotes(*s);
  EXPECT_EQ(cap.text(),
            "\nfuncall() sin()だけの関数 BC1=  0.000e+00 BCS=  1.500e-08"
            "\n2 row =  -3.000e-17, no inverse"
            "\n▲Jacob4()-----ERR1[]=JB4[][]*ddq[] 成り立たない------------\nInput getch()=e"
            "\n△CirM24():----kf=3 sgnN=O 行き詰まり\nInput getch()=e"
            "\n■CM4:CirMotion24()解: kf=1 dt= 1.5811e-02 sgnC[kf]=D 行き詰まり"
            "\n  dt= 1.5811e-02 → dtを小さくして再計算\nInput getch()=e"
            "\n■CM4:CirMotion24()解: kf=2 dt= 5.0000e-06 sgnC[kf]=D 行き詰まり"
            "\n  dt= 5.0000e-06<err5 → 運動停止\nInput getch()=e");
  EXPECT_TRUE(s->notes.empty());
  cap.clear();
  PrintNotes(*s);  // printed once only
  EXPECT_EQ(cap.text(), "");
}

// After a run, every key (or setter) that starts the grasp over leaves a record of
// the current scene only: no output holds the run's rows, the replay shows none of
// them and says there is nothing to replay, and a new grasp starts the record anew.
TEST(RecordAfterReset, NoOutputOrReplayHoldsTheRowsOfTheRunBefore) {
  const double pose[3] = {0.0, 141.0, -40.0};
  const double angles[4] = {0.01, 0.06, 0.7853981639, 0.7853981639};
  const struct {
    const char* what;
    std::function<void(Driven&)> reset;
  } resets[] = {
      {"G", [](Driven& d) { d.keys("G"); }},
      {"M x", [](Driven& d) { d.keys("Mx"); }},
      {"M 0", [](Driven& d) { d.keys("M0"); }},
      {"H 1", [](Driven& d) { d.keys("H1"); }},
      {"W 2", [](Driven& d) { d.keys("W2"); }},
      {"J 1 2 p", [](Driven& d) { d.keys("J12p"); }},
      {"set_work_pose", [&](Driven& d) { WorkPoseSet(*d.s, pose, d.s->EwG0); }},
      {"set_initial_angles", [&](Driven& d) { InitialAnglesSet(*d.s, 1, angles); }},
  };
  for (const auto& r : resets) {
    SCOPED_TRACE(r.what);
    Driven d;
    d.keys("GssA" + std::string(20, 's'));
    ASSERT_EQ(Trajectory(*d.s).rows, 5);
    r.reset(d);
    EXPECT_EQ(RecordLength(*d.s), 0);
    EXPECT_EQ(Trajectory(*d.s).rows, 0);
    const std::string csv = TrajectoryCsv(*d.s);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1) << "the header only";
    d.keys("D");
    const WindowView v;
    const SceneParts parts = WhatToDraw(*d.s, v);
    EXPECT_FALSE(parts.replay);
    EXPECT_TRUE(parts.work && parts.initialHand) << "the scene as it stands";
    OverlayText o;
    OverlayLines(*d.s, o);
    bool says = false;
    for (int i = 0; i < o.n; ++i) says = says || std::string(o.line[i].text) == "No stored motion to replay\n";
    EXPECT_TRUE(says) << "the panel says there is nothing to replay";
    d.keys("ss");
    EXPECT_EQ(d.s->cntRepeat, 0);
    EXPECT_FALSE(PlayCanStep(*d.s));
    // a new grasp and a short run: its own rows only
    d.keys("GssA" + std::string(5, 's'));
    EXPECT_EQ(Trajectory(*d.s).rows, 2);
    EXPECT_EQ(d.s->ManipT[1], Trajectory(*d.s).values[Trajectory(*d.s).names.size() + 2]);
  }
}
