// Rolling steps as the planner runs them: the command changing every few steps, and
// the rolling state put back from snapshots before each step. The first step of a
// new command starts near its root, a snapshot puts back everything a step reads,
// and the conditioning the planner judges states by is that of the latest slot.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "app/export.h"
#include "manip/manip.h"
#include "plan/snapshot.h"
#include "record/report.h"
#include "record_view.h"
#include "support.h"

namespace {

using namespace rg;

// Commands of the planner's kind (within its bounds, 6 length units and 0.2 rad per
// unit time on each axis), far from the default run's slow turn about z.
const StepCommand kCommands[] = {{{3, -2, 1}, {0.1, -0.1, 0.15}},
                                 {{0, 0, 0}, {0, 0, 0.2}},
                                 {{-2, 2, 0}, {0, 0.1, 0.2}},
                                 {{0, 0, -4}, {-0.1, 0, 0}},
                                 {{2, 1, -1}, {0, -0.1, -0.05}}};

// The error norm of a finger's step equations at the angles q.
double StartError(const Sim& s, const PRStepFixed& in, const double* q) {
  RimContact c;
  double E[4], ET = 0.0;
  PRCirMotion2ERR4(s.model(), in, q, c, E, &ET);
  return ET;
}

// The latest slot of every finger, as its bits.
std::string Slot(const Sim& s) {
  std::string b;
  for (int kf = 1; kf <= s.nF(); ++kf) {
    b.append(reinterpret_cast<const char*>(s.qqa2[1][kf]), sizeof s.qqa2[1][kf]);
    b.append(reinterpret_cast<const char*>(s.ManipCPNTA2[1][kf]), sizeof s.ManipCPNTA2[1][kf]);
  }
  return b;
}

// A planner's command held two steps, then each finger's first step of another:
// started from that step's own first PR motion it is already close to the root and
// reaches it with at most one fresh Jacobian; the old start, the last step's change
// carried on, is off by the difference of the two motions and takes the solve to the
// same root with several times as many error evaluations.
TEST(NewCommand, TheFirstStepStartsFromItsOwnPredictionNearTheRoot) {
  auto sim = rgtest::StartedSim();
  Sim& s = *sim;
  own::Press(s, "GssA" + std::string(20, 's'));
  ASSERT_EQ(s.cntManip0, 20);
  EXPECT_FALSE(CommandChanged(s, s.vw, s.omww));  // the run's own command goes on
  const StepCommand &held = kCommands[4], &k = kCommands[2];
  for (int i = 0; i < 2; ++i) ASSERT_EQ(PRCircleManip4(s, held.vw, held.omww), 'Y');
  EXPECT_FALSE(CommandChanged(s, held.vw, held.omww));
  ASSERT_TRUE(CommandChanged(s, k.vw, k.omww));
  const WorkPose from = own::LatestWork(s);
  double omw[3];
  MatVec(from.E, k.omww, omw);
  s.dt = 0.05;
  int evaluations = 0, evaluationsOld = 0;  // error evaluations of all fingers' solves
  double root[kSlots][kSlots] = {};          // each finger's root from the new start
  for (int kf = 1; kf <= s.nF(); ++kf) {
    PRStepFixed in =
        PRStepInputs(s, kf, from, MoveWorkStep(s.model(), s.WORK1, k.vw, k.omww, s.dt, from));
    PRStepPredict(s, from, k.vw, omw, in);
    ASSERT_TRUE(in.predicted);
    in.newCommand = true;
    PRStepFixed carried = in;
    carried.newCommand = false;
    double q[kSlots], qOld[kSlots];
    NewtonStart(s, in, q);
    NewtonStart(s, carried, qOld);
    for (int j = 0; j < kSlots; ++j) EXPECT_EQ(q[j], in.q12[j]) << j;
    EXPECT_LT(StartError(s, in, q), 0.1 * StartError(s, in, qOld)) << kf;
    PRStepResult a, b;
    PRNewtonStats sa, sb;
    ASSERT_TRUE(PRCirMotion2Root(s.model(), in, q, a, &sa));
    ASSERT_TRUE(PRCirMotion2Root(s.model(), in, qOld, b, &sb));
    for (int j = 1; j <= s.nJ(); ++j) EXPECT_NEAR(a.q2[j], b.q2[j], 1e-10) << j;
    EXPECT_LE(sa.jacobians, 1) << kf;
    evaluations += sa.trials + 4 * sa.jacobians;
    evaluationsOld += sb.trials + 4 * sb.jacobians;
    std::memcpy(root[kf], a.q2, sizeof a.q2);
  }
  EXPECT_LT(2 * evaluations, evaluationsOld);
  // the step itself starts there: it records the root reached from the new start
  ASSERT_EQ(PRCircleManip4(s, k.vw, k.omww), 'Y');
  ASSERT_EQ(s.dt, 0.05);
  for (int kf = 1; kf <= s.nF(); ++kf)
    for (int j = 1; j <= s.nJ(); ++j) EXPECT_EQ(s.qqa2[1][kf][j], root[kf][j]) << kf << " " << j;
  EXPECT_FALSE(CommandChanged(s, k.vw, k.omww));
}

// A step put back from its snapshot and run again with the same command finds the
// same slot to the last bit: the snapshot holds what the step reads, the command that
// led to the latest slot and the rolling matrices kept there included (run on, the
// command would be no new one and the matrices those of the step's end).
TEST(RollSnapshot, AStepRunAgainFromItsSnapshotFindsTheSameSlot) {
  auto sim = rgtest::StartedSim();
  Sim& s = *sim;
  own::Press(s, "GssA" + std::string(10, 's'));
  ASSERT_EQ(s.cntManip0, 10);
  for (const StepCommand& k : kCommands) {  // each from where the one before ended
    RollSnapshot here;
    SaveRoll(s, here);
    ASSERT_EQ(PRCircleManip4(s, k.vw, k.omww), 'Y');
    const std::string first = Slot(s);
    RestoreRoll(s, here);
    ASSERT_EQ(PRCircleManip4(s, k.vw, k.omww), 'Y');
    EXPECT_TRUE(Slot(s) == first) << k.vw[0] << " " << k.omww[2];
  }
}

// Putting a snapshot back is a copy of the rolling state: a simulation sent off on
// other commands (a deadlock and a collision among them, notes taken) and put back
// is the simulation that never left, bit for bit, in its state object after the
// restore and after every step both then take with the same command, and in the
// stored rows those steps write.
TEST(RollSnapshot, PutBackItIsTheRunThatNeverLeft) {
  auto sim = rgtest::StartedSim();
  own::Press(*sim, "GssA");
  for (const int steps : {0, 12}) {  // right after the grasp, and after some steps
    Sim& s = *sim;
    for (int i = 0; i < steps; ++i) ASSERT_EQ(PRCircleManip4(s, s.vw, s.omww), 'Y');
    const auto stayed = std::make_unique<Sim>(s);
    RollSnapshot here;
    SaveRoll(s, here);
    // away: every command of the planner's kind for a few steps each, then one that
    // drives the work into the palm
    std::string letters;
    for (const StepCommand& k : kCommands)
      for (int i = 0; i < 4; ++i) letters += PRCircleManip4(s, k.vw, k.omww);
    const double intoPalm[3] = {0, -400, 0}, still[3] = {0, 0, 0};
    letters += PRCircleManip4(s, intoPalm, still);
    ASSERT_NE(letters.find_first_not_of('Y'), std::string::npos) << letters;
    ASSERT_NE(s.cntManip0, stayed->cntManip0);
    RestoreRoll(s, here);
    const auto state = [](const Sim& x) { return StateObject(x, nullptr, "", 0).dump(); };
    EXPECT_EQ(state(s), state(*stayed));
    EXPECT_EQ(s.notes.size(), stayed->notes.size());
    // the latest row's angles, which the hand is drawn at
    EXPECT_EQ(std::memcmp(s.qqa[s.cntMainip1], stayed->qqa[s.cntMainip1], sizeof s.qqa[0]), 0);
    for (int i = 0; i < 8; ++i) {
      ASSERT_EQ(PRCircleManip4(s, kCommands[2].vw, kCommands[2].omww),
                PRCircleManip4(*stayed, kCommands[2].vw, kCommands[2].omww));
      ASSERT_EQ(state(s), state(*stayed)) << "step " << i;
    }
    EXPECT_EQ(TrajectoryCsv(s), TrajectoryCsv(*stayed));
  }
}

struct Scene {
  const char* name;
  const char* keys;  // hand, work and grasp
};

class PlannerRun : public ::testing::TestWithParam<Scene> {};

// Steps of the planner's kind on each scene (each round two commands tried from the
// same state, three steps each; the next round starts where the first ended): after
// every step, completed or not, each finger's conditioning of the latest slot is the
// one computed afresh from its angles, contact point and normal, within what rounding
// allows: the rolling matrix's entries reach about a link length, so rounding in them
// moves its smallest singular value by up to about 1e-12 (Weyl's bound), which is
// 1e-11 of a conditioning near 0.1. 1e-10 relative allows that; a matrix of another
// step or slot is off by far more.
TEST_P(PlannerRun, TheLatestConditioningIsTheOneComputedAfresh) {
  auto sim = rgtest::StartedSim();
  Sim& s = *sim;
  own::Press(s, GetParam().keys);
  ASSERT_EQ(s.sgnCALGEnd, 'Y');
  RollSnapshot base, next;
  SaveRoll(s, base);
  int completed = 0;
  auto check = [&] {
    for (int kf = 1; kf <= s.nF(); ++kf) {
      const double fresh =
          RollingConditioning(s, kf, s.qqa2[1][kf], s.ManipCPNTA2[1][kf], s.ManipNWA2[1][kf]);
      ASSERT_GT(fresh, 0.0);
      EXPECT_NEAR(LatestConditioning(s, kf), fresh, 1e-10 * fresh) << kf;
    }
  };
  check();  // the grasp
  for (int round = 0; round < 12; ++round) {
    bool moved = false;  // the next round starts where the first trial ended
    for (int t = 0; t < 2; ++t) {
      const StepCommand& k = kCommands[(2 * round + t) % 5];
      RestoreRoll(s, base);
      for (int i = 0; i < 3; ++i) {
        const char st = PRCircleManip4(s, k.vw, k.omww);
        check();
        if (st != 'Y') break;
        ++completed;
      }
      if (t == 0 && s.sgnMANIP == 'Y') {
        SaveRoll(s, next);
        moved = true;
      }
    }
    if (moved) base = next;
  }
  EXPECT_GE(completed, 40);
}

// A step that may try its first time step only, as the planner's tree runs them, is
// the full step whenever it completes (the same slot, bit for bit), and otherwise
// leaves the record as it was ('D'): so a path planned from such steps is the path the
// keys follow. Each command is held until the full step stops; on the way some full
// steps complete only with a smaller time step, which the short step refuses.
TEST_P(PlannerRun, AStepOfOneTimeStepIsTheFullStepOrNone) {
  auto sim = rgtest::StartedSim();
  Sim& s = *sim;
  own::Press(s, GetParam().keys);
  ASSERT_EQ(s.sgnCALGEnd, 'Y');
  RollSnapshot grasp, here;
  SaveRoll(s, grasp);
  int same = 0, refused = 0;
  for (const StepCommand& k : kCommands) {
    RestoreRoll(s, grasp);
    for (int n = 0; n < 400; ++n) {
      SaveRoll(s, here);
      const std::string before = Slot(s);
      const int at = s.cntManip0;
      const char shortStep = PRCircleManip4(s, k.vw, k.omww, 1);
      const std::string shortSlot = Slot(s);
      const int shortAt = s.cntManip0;
      RestoreRoll(s, here);
      const char full = PRCircleManip4(s, k.vw, k.omww);
      if (shortAt != at) {  // completed ('Y', or 'C' / 'O' with the step recorded)
        ASSERT_EQ(full, shortStep);
        ASSERT_TRUE(shortSlot == Slot(s)) << "step " << at;
        ++same;
      } else {
        EXPECT_EQ(shortStep, 'D');
        EXPECT_TRUE(shortSlot == before) << "step " << at;
        refused += s.cntManip0 != at;
      }
      if (full != 'Y') break;
    }
  }
  EXPECT_GE(same, 100);
  EXPECT_GE(refused, 1) << "no step needed a smaller time step: the test shows nothing";
}

INSTANTIATE_TEST_SUITE_P(Scenes, PlannerRun,
                         ::testing::Values(Scene{"Hand1Cylinder", "GssA"},
                                           Scene{"Hand2Cylinder", "H2GsssA"},
                                           Scene{"Hand1Sphere", "W1GssA"}),
                         [](const ::testing::TestParamInfo<Scene>& i) { return i.param.name; });

}  // namespace
