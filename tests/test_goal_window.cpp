// The window's goal and path modes, from the state alone: the panels of modes B
// and C (and the progress rows of a plan running in the background), what the
// frame draws of the goal and the path, play along the path, and the background
// plan, which must leave the same plan state and console text as key s.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "app/goal_view.h"
#include "app/keyboard.h"
#include "app/overlay_text.h"
#include "app/plan_job.h"
#include "app/window_view.h"
#include "plan/plan.h"
#include "support.h"

using namespace rg;

namespace {

// Row r of the mode panel as the window shows it, or "<none>".
std::string Row(const Sim& s, int r, const WindowView& v = WindowView{}) {
  OverlayText o;
  WindowLines(s, v, o);
  for (int i = 0; i < o.n; ++i)
    if (o.line[i].x == 5.0f && o.line[i].y == PanelRowY(r)) return o.line[i].text;
  return "<none>";
}

// Runs a background plan of s to its end, installing it in s.
void Finish(BackgroundPlan& job, Sim& s) {
  while (!job.Poll(s)) std::this_thread::yield();
}

}  // namespace

TEST(GoalPanel, GoalOutcomeAndPathRows) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  rgtest::Press(s, "B");
  EXPECT_EQ(Row(s, 0), "Execution Mode : B\n");
  EXPECT_EQ(Row(s, 3), "Hit s to plan a path\n");
  rgtest::Press(s, "s");  // no grasp yet
  EXPECT_EQ(Row(s, 3), "not planned: no complete grasp\n");
  rgtest::Press(s, "GssB" + std::string(5, 'R') + "ZZ");
  EXPECT_EQ(Row(s, 1), "Goal 0.0, 0.0, 9.0 deg\n");
  EXPECT_EQ(Row(s, 2), "Shift 0.0, 0.0, 2.0\n");
  EXPECT_EQ(Row(s, 3), "Hit s to plan a path\n");  // the refusal was for another goal
  rgtest::Press(s, "s");
  ASSERT_TRUE(s.plan.outcome.reached) << s.plan.outcome.reason;
  EXPECT_EQ(Row(s, 3), "reached in " + std::to_string(s.plan.outcome.steps) + " steps\n");
  rgtest::Press(s, "C");
  const size_t n = s.plan.path.size();
  EXPECT_EQ(Row(s, 1), "Path step 0 / " + std::to_string(n) + "\n");
  EXPECT_EQ(Row(s, 2), "Hit s for a step, space plays\n");
  rgtest::Press(s, "ss");
  EXPECT_EQ(Row(s, 1), "Path step 2 / " + std::to_string(n) + "\n");
  rgtest::Press(s, std::string(n, 's'));
  EXPECT_EQ(Row(s, 2), "End of the path: goal reached\n");
  EXPECT_EQ(Row(s, 3), "<none>");  // the play line's row stays free
  s.sgnMANIP = 'D';
  EXPECT_EQ(Row(s, 2), "**** Motion In Deadlock ****\n");
}

TEST(GoalPanel, PlanningRowsReplaceTheOutcome) {
  auto sp = rgtest::StartedSim();
  rgtest::Press(*sp, "B");
  WindowView v;
  v.planning.running = true;
  v.planning.fraction = 0.42;
  EXPECT_EQ(Row(*sp, 3, v), "Planning 42%\n");
  v.planning.best = 3.5;
  EXPECT_EQ(Row(*sp, 3, v), "Planning 42%, best error 3.50\n");
  EXPECT_EQ(Row(*sp, 4, v), "Esc or B stops; other keys ignored\n");
  v.planning.stopping = true;
  EXPECT_EQ(Row(*sp, 3, v), "Stopping the planning\n");
  OverlayText o;
  WindowLines(*sp, v, o);
  int rows3 = 0;
  for (int i = 0; i < o.n; ++i) rows3 += o.line[i].y == PanelRowY(3) && o.line[i].x == 5.0f;
  EXPECT_EQ(rows3, 1);  // put in place of the outcome row, not over it
}

// The ghost only in mode B, and in C once a goal is set; the path once planned;
// play in C steps along the path to its end.
TEST(GoalDrawing, GhostPathAndPlayAlongThePath) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  rgtest::Press(s, "Gss");
  for (const char* m : {"A", "D", "I", "M", "C"}) {
    rgtest::Press(s, m);
    SCOPED_TRACE(m);
    EXPECT_FALSE(WhatGoalToDraw(s).ghost);
  }
  rgtest::Press(s, "GssB");
  EXPECT_TRUE(WhatGoalToDraw(s).ghost);
  EXPECT_FALSE(WhatGoalToDraw(s).path);
  EXPECT_TRUE(WhatToDraw(s, WindowView{}).computedHand);  // the hand as grasped
  // at the goal the ghost stands where the planner aims
  rgtest::Press(s, "rrrrrXX");
  double mid[3], Ew[3][3], want[3], wantE[3][3];
  GoalPoseToDraw(s, mid, Ew);
  GoalFrame(s, s.plan.goal, want, wantE);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(mid[i], want[i]);
  rgtest::Press(s, "sC");
  ASSERT_TRUE(s.plan.outcome.reached) << s.plan.outcome.reason;
  EXPECT_TRUE(WhatGoalToDraw(s).ghost);
  EXPECT_TRUE(WhatGoalToDraw(s).path);
  ASSERT_TRUE(PlayApplies(s));
  size_t steps = 0;
  while (PlayCanStep(s) && steps < 10000) {
    rgtest::Press(s, "s");
    ++steps;
  }
  EXPECT_EQ(steps, s.plan.path.size());
  EXPECT_EQ(s.plan.next, s.plan.path.size());
  // a step taken outside the path (mode A) ends play along it
  rgtest::Press(s, "BRRRsCs");
  ASSERT_GT(s.plan.path.size(), 1u);
  EXPECT_TRUE(PlayCanStep(s));
  rgtest::Press(s, "AsC");
  EXPECT_FALSE(PlayCanStep(s));
  EXPECT_EQ(Row(s, 2), "Work moved: plan again (B, s)\n");
}

// The background plan installs its result as key s does (a path the real
// simulation then follows to the goal, the outcome line on the console), plans
// on a copy, and stops on request with the best path it has.
TEST(BackgroundPlan, InstallsAsKeySDoesAndStopsOnRequest) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  rgtest::Press(s, "GssBs" + std::string(5, 'R') + std::string(3, 'X'));  // after a step of the path
  rgtest::Press(s, "sCs");
  rgtest::Press(s, "B");
  const int from = s.cntManip0;
  ASSERT_EQ(from, 1);
  rgtest::Capture console(s);
  BackgroundPlan job;
  ASSERT_TRUE(job.Start(s));
  EXPECT_FALSE(job.Start(s));  // one plan at a time
  EXPECT_TRUE(job.Progress().running);
  Finish(job, s);
  EXPECT_FALSE(job.Running());
  EXPECT_EQ(s.cntManip0, from);  // the plan ran on a copy
  const PlanState& p = s.plan;
  ASSERT_TRUE(p.outcome.reached) << p.outcome.reason;
  EXPECT_EQ(p.startStep, from);
  EXPECT_EQ(p.next, 0u);
  EXPECT_EQ(p.path.size(), static_cast<size_t>(p.outcome.steps));
  EXPECT_EQ(p.centres.size(), p.path.size() + 1);
  EXPECT_EQ(console.text().rfind("\nGoal (0.0, 0.0, 9.0 deg; 3.0, 0.0, 0.0): reached in " +
                                     std::to_string(p.outcome.steps) + " steps", 0),
            0u)
      << console.text();
  rgtest::Press(s, "C" + std::string(p.path.size(), 's'));
  double turn = 0, shift = 0;
  GoalError(s, p.goal, &turn, &shift);
  EXPECT_LE(turn, kGoalTurnTolDeg);
  EXPECT_LE(shift, kGoalShiftTol);

  // half a turn about the work's axis is out of reach: it plans until stopped
  rgtest::Press(s, "B" + std::string(3, 'x') + std::string(95, 'R'));
  s.plan.timeLimit = 1e6;
  ASSERT_TRUE(job.Start(s));
  job.Stop();
  EXPECT_TRUE(job.Progress().stopping);
  Finish(job, s);
  EXPECT_FALSE(s.plan.outcome.reached);
  EXPECT_EQ(s.plan.outcome.reason, "planning stopped");
  EXPECT_DOUBLE_EQ(s.plan.outcome.goal.rz, s.plan.goal.rz);
}
