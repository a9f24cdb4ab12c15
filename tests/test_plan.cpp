// Goal poses and planned paths, driven through the keys as a user drives them:
// grasp, B (goal mode, the goal set), s (plan), C (follow) and s per step. Every
// step of a followed path is judged from the record by the whole-run checker
// (cylinder_step_check.h) against the command the plan gave for it, and whether
// the goal was reached is judged from the record's last pose with the tests' own
// geometry, never with the planner's own error.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/script.h"
#include "batch_run.h"
#include "cylinder_step_check.h"
#include "plan/plan.h"
#include "plan/rotation.h"
#include "record/report.h"
#include "record_view.h"
#include "sphere_step_check.h"
#include "support.h"

namespace {

using namespace rg;
using namespace own;

constexpr double kDegree = M_PI / 180.0;

// The turn (degrees) and shift of the record's latest pose from the goal, both
// poses built here: the goal frame is the grasp frame (row 0) turned about its own
// x, y and z in turn, its mid-point (the cylinder's, the sphere's centre) the grasp's
// moved by the goal's shift.
void ErrorFromRecord(const Sim& s, const GoalPose& g, double* turnDeg, double* shift) {
  const M3 E0 = FromC(s.ManipEW[0]);
  const M3 want =
      Mul(Mul(Mul(E0, RotX(g.rx * kDegree)), RotY(g.ry * kDegree)), RotZ(g.rz * kDegree));
  const M3 now = FromC(s.ManipEW2[1]);
  *turnDeg = Norm(RotationVector(Mul(T(want), now))) / kDegree;
  const double half = s.WORK1 == '1' ? 0.0 : 0.5 * catalogue::hCyl;
  const V3 mid0 = Add({s.ManipRW[0][0], s.ManipRW[0][1], s.ManipRW[0][2]}, Scale(half, Col(E0, 2)));
  const V3 mid =
      Add({s.ManipRW2[1][0], s.ManipRW2[1][1], s.ManipRW2[1][2]}, Scale(half, Col(now, 2)));
  *shift = Norm(Sub(mid, Add(mid0, {g.x, g.y, g.z})));
}

std::unique_ptr<Sim> GraspedHand(int hand, bool sphere = false) {
  auto sp = rgtest::StartedSim();
  Press(*sp, "H" + std::string(1, static_cast<char>('0' + hand)) + (sphere ? "W1" : "") + "G");
  Press(*sp, std::string(sp->nF(), 's'));
  EXPECT_EQ(sp->sgnCALGEnd, 'Y');
  return sp;
}

// Plans to g with key B's s, then follows the whole path with C and s, checking
// every step; the record's final error from the goal.
struct Followed {
  PlanOutcome plan;
  int steps = 0;  // path steps followed and checked
  double turnDeg = 0, shift = 0;
};

// One step of the path through key s in mode C, judged by the work's whole-run check
// against the command the plan gave it; false when it recorded nothing.
template <class Work, class Tally, class Check>
bool CheckedStep(Sim& s, const StepCommand& k, Tally& tally, Check check) {
  RecordState<Work> a, b;
  if (!RecordedStep(s, a, b, tally)) return false;
  EXPECT_EQ(tally.status, 'Y');
  check(a, b, k, tally);
  return true;
}

Followed PlanAndFollow(Sim& s, int hand, const GoalPose& g, double timeLimit) {
  s.plan.goal = g;
  s.plan.timeLimit = timeLimit;
  // planning runs thousands of steps on the simulation and puts it back as it was
  const auto before = std::make_unique<Sim>(s);
  Press(s, "Bs");
  EXPECT_EQ(std::memcmp(before->qqa2, s.qqa2, sizeof s.qqa2), 0);
  EXPECT_EQ(std::memcmp(before->ManipRW2, s.ManipRW2, sizeof s.ManipRW2), 0);
  EXPECT_EQ(std::memcmp(before->ManipEW2, s.ManipEW2, sizeof s.ManipEW2), 0);
  EXPECT_EQ(std::memcmp(before->ManipJinv2, s.ManipJinv2, sizeof s.ManipJinv2), 0);
  EXPECT_EQ(std::memcmp(before->qqa[s.cntMainip1], s.qqa[s.cntMainip1], sizeof s.qqa[0]), 0);
  EXPECT_EQ(before->cntManip0, s.cntManip0);
  EXPECT_EQ(before->ManipTime, s.ManipTime);
  EXPECT_EQ(before->sgnMANIP, s.sgnMANIP);
  Followed f;
  f.plan = s.plan.outcome;
  const std::vector<StepCommand> path = s.plan.path;
  EXPECT_EQ(static_cast<int>(path.size()), f.plan.steps);
  Press(s, "C");
  RunResult onCylinder;
  sphere::RunResult onSphere;
  for (size_t i = 0; i < path.size(); ++i) {
    SCOPED_TRACE(testing::Message()
                 << "hand " << hand << " work " << s.WORK1 << " path step " << i + 1);
    const bool done =
        s.WORK1 == '1'
            ? CheckedStep<Sphere>(s, path[i], onSphere,
                                  [&](const auto& a, const auto& b, const StepCommand& k, auto& r) {
                                    sphere::CheckSphereStep(s, hand, a, b, k.vw, k.omww, r);
                                  })
            : CheckedStep<Cylinder>(
                  s, path[i], onCylinder,
                  [&](const auto& a, const auto& b, const StepCommand& k, auto& r) {
                    CheckCylinderStep(s, hand, a, b, k.vw, k.omww, r);
                  });
    if (!done) {
      ADD_FAILURE() << "the path's step did not complete: " << s.sgnMANIP;
      break;
    }
    ++f.steps;
    if (testing::Test::HasFailure()) break;
  }
  ErrorFromRecord(s, g, &f.turnDeg, &f.shift);
  return f;
}

struct GoalCase {
  int hand;
  GoalPose goal;
  bool reached;  // reached, or stopped short with the closest pose reported
  double timeLimit;
  bool sphere = false;
};

class PlannedPath : public ::testing::TestWithParam<GoalCase> {};

TEST_P(PlannedPath, EveryStepRollsAndTheRecordEndsWhereThePlanSays) {
  const GoalCase c = GetParam();
  auto sp = GraspedHand(c.hand, c.sphere);
  Sim& s = *sp;
  const Followed f = PlanAndFollow(s, c.hand, c.goal, c.timeLimit);
  ASSERT_TRUE(f.plan.planned);
  EXPECT_FALSE(f.plan.refused);
  EXPECT_EQ(f.plan.reached, c.reached) << f.plan.reason;
  EXPECT_GT(f.plan.steps, 0);
  EXPECT_EQ(f.steps, f.plan.steps);
  // the followed path ends where the planner said, judged from the record
  EXPECT_NEAR(f.turnDeg, f.plan.orientErrDeg, 1e-6);
  EXPECT_NEAR(f.shift, f.plan.posErr, 1e-6);
  if (c.reached) {
    EXPECT_LE(f.turnDeg, kGoalTurnTolDeg);
    EXPECT_LE(f.shift, kGoalShiftTol);
    EXPECT_TRUE(f.plan.reason.empty()) << f.plan.reason;
  } else {
    EXPECT_TRUE(f.turnDeg > kGoalTurnTolDeg || f.shift > kGoalShiftTol);
    EXPECT_FALSE(f.plan.reason.empty());
  }
  EXPECT_GT(f.plan.minSigma, 0.0);
  EXPECT_GE(f.plan.minSigmaFinger, 1);
  // the path is done: a further s moves nothing
  const int steps = s.cntManip0;
  Press(s, "s");
  EXPECT_EQ(s.cntManip0, steps);
  // the stored rows carry the commands the path ran them with
  const std::string csv = TrajectoryCsv(s);
  const std::string last = csv.substr(csv.rfind('\n', csv.size() - 2) + 1);
  std::vector<double> cells;
  std::stringstream in(last);
  for (std::string cell; std::getline(in, cell, ',');) {
    if (cell.empty() || cell[0] == '"') break;  // the text column gait ends the numbers
    cells.push_back(std::stod(cell));
  }
  ASSERT_GE(cells.size(), 6u);
  const int row = static_cast<int>(cells[0]);
  if (row > 0) {
    const StepCommand& k = s.plan.path[row * kDecim - 1 - s.plan.startStep];
    for (int i = 0; i < 3; ++i) {
      EXPECT_DOUBLE_EQ(cells[cells.size() - 6 + i], k.vw[i]);
      EXPECT_DOUBLE_EQ(cells[cells.size() - 3 + i], k.omww[i]);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Goals, PlannedPath,
    ::testing::Values(GoalCase{1, {0, 0, 10, 0, 0, 0}, true, 20},
                      GoalCase{1, {0, 0, -10, 0, 0, 0}, true, 20},
                      GoalCase{1, {0, 0, 5, 2, -2, 1}, true, 20},
                      GoalCase{3, {0, 0, 10, 0, 0, 0}, true, 20},
                      GoalCase{1, {0, 20, 0, 0, 0, 0}, true, 20, true},
                      // beyond the constant turn's stop: reached by loops of held commands
                      GoalCase{1, {0, 0, 30, 0, 0, 0}, true, 600},
                      // far beyond what the grasp can roll to: the closest pose is reported
                      GoalCase{1, {0, 0, 180, 0, 0, 0}, false, 1.0}),
    [](const testing::TestParamInfo<GoalCase>& p) {
      return "Case" + std::to_string(p.index) + "_Hand" + std::to_string(p.param.hand) +
             (p.param.sphere ? "_Sphere" : "");
    });

// A plan from the latest manipulation step, not only from the grasp.
TEST(PlannedPathFromAStep, StartsWhereTheKeysLeftTheWork) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  Press(s, "VRGssA" + std::string(50, 's'));  // turned about z by the velocity keys
  ASSERT_EQ(s.cntManip0, 50);
  const Followed f = PlanAndFollow(s, 1, GoalPose{0, 0, 0, 0, 0, 0}, 20);  // back to the grasp pose
  EXPECT_TRUE(f.plan.reached) << f.plan.reason;
  EXPECT_EQ(s.plan.startStep, 50);
  EXPECT_LE(f.turnDeg, kGoalTurnTolDeg);
  EXPECT_LE(f.shift, kGoalShiftTol);
}

TEST(PlanRefusals, NoGraspNoPathAndAWorkMovedSinceThePlan) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  rgtest::Capture out(s);
  s.plan.goal = GoalPose{0, 0, 10, 0, 0, 0};
  Press(s, "Bs");
  EXPECT_TRUE(s.plan.outcome.refused);
  EXPECT_EQ(s.plan.outcome.reason, "no complete grasp");
  EXPECT_TRUE(s.plan.path.empty());
  EXPECT_NE(out.text().find("not planned: no complete grasp"), std::string::npos) << out.text();
  out.clear();
  Press(s, "Cs");
  EXPECT_NE(out.text().find("No planned path"), std::string::npos) << out.text();
  EXPECT_EQ(s.cntManip0, 0);

  // planned, then moved by mode A before the path is followed: refused
  Press(s, "GssBs");
  ASSERT_TRUE(s.plan.outcome.reached) << s.plan.outcome.reason;
  Press(s, "As");
  ASSERT_EQ(s.cntManip0, 1);
  out.clear();
  Press(s, "Cs");
  EXPECT_EQ(s.cntManip0, 1);
  EXPECT_NE(out.text().find("plan again"), std::string::npos) << out.text();

  // planned, then grasped anew (the step count is 0 again): the path went with the grasp
  Press(s, "GssBs");
  ASSERT_FALSE(s.plan.path.empty());
  Press(s, "H3Gsss");
  out.clear();
  Press(s, "Cs");
  EXPECT_EQ(s.cntManip0, 0);
  EXPECT_NE(out.text().find("No planned path"), std::string::npos) << out.text();
}

// A plan's random draws are its own: the same goal from the same state gives the
// same path bit for bit, whatever was planned before in the process.
TEST(PlanSeed, TheSamePathWhateverRanBefore) {
  auto plan = [](const GoalPose& g, long steps) {
    auto sp = GraspedHand(1);
    PlanOptions opt;
    opt.timeLimit = 600;  // a safety net only: the step budget ends these searches
    opt.maxSteps = steps;
    return PlanToGoal(*sp, g, opt);
  };
  // a goal out of reach: the tree searches its whole budget
  const GoalPose goal{30, 0, 30, 0, 0, 0};
  const PlanResult first = plan(goal, 8000);
  (void)plan(GoalPose{20, 0, 0, 0, 0, 0}, 8000);  // draws of another plan in between
  const PlanResult again = plan(goal, 8000);
  EXPECT_EQ(again.outcome.how, "tree");
  ASSERT_EQ(again.path.size(), first.path.size());
  for (size_t i = 0; i < first.path.size(); ++i) {
    EXPECT_EQ(std::memcmp(&again.path[i], &first.path[i], sizeof first.path[i]), 0) << "step " << i;
  }
  EXPECT_EQ(again.stepsTried, first.stepsTried);
  EXPECT_EQ(again.outcome.orientErrDeg, first.outcome.orientErrDeg);
}

// The turn (degrees) of the work from the grasp under a constant turn at the velocity
// keys' rate about its own axis (0 x, 1 y, 2 z; sign +1 or -1) until the motion stops.
double ConstantTurnDeg(int hand, int axis, double sign) {
  auto sp = GraspedHand(hand);
  Sim& s = *sp;
  const double still[3] = {0, 0, 0};
  double omww[3] = {0, 0, 0};
  omww[axis] = sign * 0.02;
  std::string why;
  EXPECT_TRUE(ScriptVelocity(s, still, omww, &why)) << why;
  Press(s, "GssssA");  // the grasp again (the velocity mode reset nothing it needs)
  EXPECT_EQ(s.sgnCALGEnd, 'Y');
  for (int n = 0; n < 3000 && s.sgnMANIP == 'Y'; ++n) Press(s, "s");
  return 0.02 * s.ManipTime * 180.0 / M_PI;  // the turn the steps made
}

// Every turn a constant command reaches from the grasp, with the mid-point held, is
// reported reached, by the straight command itself before any tree: the work is turned at the velocity keys' rate about each of its
// axes until the motion stops, and the turns at half and nearly all of the way are
// planned from the grasp.
TEST(PlanBaselines, EveryTurnAConstantCommandReachesIsReached) {
  int planned = 0;
  for (int hand = 1; hand <= 4; ++hand)
    for (int axis = 0; axis < 3; ++axis)
      for (double sign : {1.0, -1.0}) {
        SCOPED_TRACE(testing::Message() << "hand " << hand << " axis " << axis << " sign " << sign);
        const double reachedDeg = ConstantTurnDeg(hand, axis, sign);
        for (double share : {0.5, 0.97}) {
          const double turn = sign * share * reachedDeg;
          if (std::fabs(turn) <= kGoalTurnTolDeg) continue;  // already there at the grasp
          GoalPose g;
          (axis == 0 ? g.rx : axis == 1 ? g.ry : g.rz) = turn;
          auto fresh = GraspedHand(hand);
          PlanOptions opt;
          opt.timeLimit = 600;  // a safety net only
          const PlanResult r = PlanToGoal(*fresh, g, opt);
          EXPECT_TRUE(r.outcome.reached) << "turn " << turn << " deg: " << r.outcome.reason;
          EXPECT_EQ(r.outcome.how, "straight") << "turn " << turn << " deg: found by the tree";
          ++planned;
        }
      }
  EXPECT_GE(planned, 30);
}

// Beyond where a constant turn about the cylinder's axis stops, loops of held commands
// (the work back in its pose, the contacts rolled elsewhere) let the straight command
// turn on: hand 1's 30 deg about z, the mid-point back, is reached by loops, and its
// path leaves the work's grasp position and comes back to it, a loop closing.
TEST(PlanLoops, ATurnBeyondTheConstantTurnIsReachedByLoops) {
  const GoalPose goal{0, 0, 30, 0, 0, 0};
  ASSERT_LT(ConstantTurnDeg(1, 2, 1.0), goal.rz - 5.0);
  auto sp = GraspedHand(1);
  PlanOptions opt;
  opt.timeLimit = 600;  // a safety net only
  const PlanResult r = PlanToGoal(*sp, goal, opt);
  ASSERT_TRUE(r.outcome.reached) << r.outcome.reason;
  EXPECT_EQ(r.outcome.how, "loops");
  double away = 0.0;
  bool back = false;
  for (const auto& c : r.centres) {
    const double d = std::hypot(c[0] - r.centres[0][0], c[1] - r.centres[0][1], c[2] - r.centres[0][2]);
    away = std::max(away, d);
    back = back || (away > 5.0 && d < 0.1);
  }
  EXPECT_GT(away, 5.0);
  EXPECT_TRUE(back) << "no loop closes: the mid-point never comes back";
}

// the most steps one extension of the tree runs past a spent budget: its probes and
// its trial commands, each held for at most 30 steps
constexpr long kMaxStepsOfOneExtension = 400;

// The same goal, state and seed give the same plan, in another process too (OMPL
// seeds its own generators from the clock in each process); the seed is what the
// draws depend on. The goal is out of reach, so the tree searches until it stagnates.
TEST(PlanSeed, TheSameSeedTheSamePlanInAnotherProcess) {
  auto planOf = [](const std::string& options) {
    const rgtest::BatchRun run = rgtest::RunBatchFiles("rg-seed", "plan", "GssBs",
                                                       "--state-last --goal 10,0,0 " + options);
    EXPECT_EQ(run.state.size(), 1u);
    nlohmann::json plan = nlohmann::json::parse(run.state.back())["plan"];
    plan.erase("planning_seconds");
    return plan;
  };
  const nlohmann::json a = planOf("--seed 7"), b = planOf("--seed=7");
  EXPECT_EQ(a, b);
  EXPECT_EQ(a["seed"], 7);
  EXPECT_GT(a["steps_tried"].get<long>(), 5000) << "the tree did not search";
  bool another = false;
  for (const char* seed : {"--seed 8", "--seed 9", "--seed 10"}) another = another || planOf(seed) != a;
  EXPECT_TRUE(another) << "the seed changes nothing";
}

// A search that comes no nearer stops by itself, long before its budget or its clock.
TEST(PlanBudget, AStagnantSearchStops) {
  auto sp = GraspedHand(1);
  PlanOptions opt;
  opt.timeLimit = 3600;
  opt.maxSteps = kMaxPlanSteps;
  opt.stagnantSteps = 400;
  const PlanResult r = PlanToGoal(*sp, GoalPose{0, 0, 180, 0, 0, 0}, opt);
  EXPECT_FALSE(r.outcome.reached);
  EXPECT_LT(r.stepsTried, 200000);
  EXPECT_NE(r.outcome.reason.find("no nearer pose found in the last 400 steps"), std::string::npos)
      << r.outcome.reason;
  // and a budget is kept (up to the extension under way when it ran out)
  opt.maxSteps = 2000;
  opt.stagnantSteps = 0;
  const PlanResult b = PlanToGoal(*sp, GoalPose{0, 0, 180, 0, 0, 0}, opt);
  EXPECT_LE(b.stepsTried, 2000 + kMaxStepsOfOneExtension);
  EXPECT_NE(b.outcome.reason.find("the 2000 steps given are spent"), std::string::npos) << b.outcome.reason;
  // with no budget named, a three-fingered hand spends the default's 60000 finger solves:
  // 20000 steps
  auto three = GraspedHand(2);
  ASSERT_EQ(three->nF(), 3);
  PlanOptions byDefault;
  byDefault.timeLimit = 3600;
  const PlanResult d = PlanToGoal(*three, GoalPose{0, 0, 180, 0, 0, 0}, byDefault);
  EXPECT_EQ(DefaultPlanSteps(3), 20000);
  EXPECT_GT(d.stepsTried, 6000);
  EXPECT_LE(d.stepsTried, 20000 + kMaxStepsOfOneExtension);
  EXPECT_EQ(d.outcome.reason.find("30000"), std::string::npos) << d.outcome.reason;
}

// A goal the work is at already: reached by the empty path.
TEST(PlanRefusals, AGoalAlreadyMetIsAnEmptyPath) {
  auto sp = GraspedHand(1);
  Sim& s = *sp;
  Press(s, "Bs");  // the goal is the grasp pose
  EXPECT_TRUE(s.plan.outcome.reached);
  EXPECT_EQ(s.plan.outcome.steps, 0);
  EXPECT_TRUE(s.plan.path.empty());
}

// Planning stops when its flag is set, and tells its progress to the end.
TEST(PlanRefusals, PlanningStopsOnItsFlagAndReportsProgress) {
  auto sp = GraspedHand(1);
  Sim& s = *sp;
  std::atomic<bool> stop{true};
  std::vector<double> fractions;
  s.plan.cancel = &stop;
  s.plan.timeLimit = 1e6;
  s.plan.progress = [&](double fraction, double) { fractions.push_back(fraction); };
  s.plan.goal = GoalPose{0, 0, 90, 0, 0, 0};
  Press(s, "Bs");
  EXPECT_FALSE(s.plan.outcome.reached);
  EXPECT_EQ(s.plan.outcome.reason, "planning stopped");
  ASSERT_FALSE(fractions.empty());
  EXPECT_EQ(fractions.back(), 1.0);
  EXPECT_EQ(s.cntManip0, 0);  // planning leaves the simulation as it was
}

// Mode B moves the goal as mode M moves the work: one unit along the hand's axes,
// the turn step about the work's own axes; other keys leave it.
// The turn between two frames, at every angle up to a half turn and about several
// axes, matches the angle built in: near a half turn the sine part of the relative
// rotation is rounding noise, and the frames carry such noise (a work turned back
// and forth is orthonormal only to about 1e-16).
TEST(GoalTurn, TheTurnBetweenFramesIsRightUpToAHalfTurn) {
  const M3 Ea = RotX(M_PI / 4.0);  // a grasp frame like hand 3's
  const V3 axes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, Unit({1, 2, 3}), Unit({-1, 0.5, 0.2})};
  for (const V3& k : axes)
    for (double a : {0.0, 1e-8, 0.3, M_PI / 2, 2.0, M_PI - 1e-3, M_PI - 1e-6, M_PI - 1e-9, M_PI})
      for (double noise : {0.0, 2e-16, -3e-16}) {
        SCOPED_TRACE(testing::Message() << "axis " << k[0] << "," << k[1] << "," << k[2]
                                        << " angle " << a << " noise " << noise);
        // Rodrigues' rotation about k by a, then the frame with its noise
        const M3 K = {{{0, -k[2], k[1]}, {k[2], 0, -k[0]}, {-k[1], k[0], 0}}};
        const M3 KK = Mul(K, K);
        M3 R = kI;
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) R[i][j] += std::sin(a) * K[i][j] + (1 - std::cos(a)) * KK[i][j];
        M3 Eb = Mul(Ea, R);
        Eb[0][1] += noise;
        Eb[2][2] -= noise;
        double ca[3][3], cb[3][3], w[3];
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) {
            ca[i][j] = Ea[i][j];
            cb[i][j] = Eb[i][j];
          }
        const double turn = plan_rotation::TurnBetween(ca, cb, w);
        EXPECT_NEAR(turn, a, 1e-7);
        // the vector is the angle along the axis (either way round at a half turn)
        const V3 wv = {w[0], w[1], w[2]};
        const double along = Norm(Sub(wv, Scale(a, k))), against = Norm(Add(wv, Scale(a, k)));
        EXPECT_LT(a > M_PI - 1e-6 ? std::min(along, against) : along, 1e-6);
      }
}

TEST(GoalMode, KeysMoveTheGoal) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  Press(s, "BXXyZzzPqqRrrk");
  const GoalPose& g = s.plan.goal;
  const double step = 0.031415926536 / kDegree;
  EXPECT_DOUBLE_EQ(g.x, 2.0);
  EXPECT_DOUBLE_EQ(g.y, -1.0);
  EXPECT_DOUBLE_EQ(g.z, -1.0);
  EXPECT_NEAR(g.rx, step, 1e-12);
  EXPECT_NEAR(g.ry, -2 * step, 1e-12);
  EXPECT_NEAR(g.rz, -step, 1e-12);
  EXPECT_EQ(s.sgnCAL, 'B');
}

TEST(GoalText, ThreeOrSixFiniteNumbers) {
  GoalPose g;
  std::string why;
  EXPECT_TRUE(ParseGoal("0,0,90", &g, &why));
  EXPECT_EQ(g.rz, 90.0);
  EXPECT_TRUE(ParseGoal("1,2,3,4,5,6", &g, &why));
  EXPECT_EQ(g.z, 6.0);
  for (const char* bad :
       {"", "1,2", "1,2,3,4", "1,2,3,4,5,6,7", "1,x,3", "1,,3", "1,2,nan", "1,2,3 "})
    EXPECT_FALSE(ParseGoal(bad, &g, &why)) << bad;
}

// The stored rows of key-driven steps carry the velocity they were run with; the
// grasp row carries none.
TEST(CommandColumns, KeyDrivenRowsShowTheirVelocity) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  Press(s, "VRxGssA" + std::string(10, 's'));
  ASSERT_EQ(s.cntMainip1, 2);
  const TrajectoryTable t = Trajectory(s);
  const size_t cols = t.names.size();
  ASSERT_EQ(t.names[cols - 7], "volume");
  EXPECT_EQ(t.names[cols - 6], "cmd_vx");
  EXPECT_EQ(t.names[cols - 1], "cmd_wz");
  for (int n = 0; n < t.rows; ++n) {
    const double* v = &t.values[n * cols + cols - 6];
    EXPECT_EQ(v[0], n == 0 ? 0.0 : -1.0) << n;
    EXPECT_EQ(v[5], n == 0 ? 0.0 : 0.02) << n;
  }
}

}  // namespace
