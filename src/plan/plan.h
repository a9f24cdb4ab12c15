// Path generation: the commanded velocity of every rolling step that carries the
// grasped work from its current pose to a goal pose.
//
// The work's pose follows the commands exactly (its mid-point moves by dt*vw, it
// turns by dt*omww about its own axes); what the commands cannot choose is where
// the contacts go, which depends on the whole path (rolling is nonholonomic). A
// straight turn stops where a finger's base reaches its contact's tangent plane.
// The planner grows a tree of rolling states with OMPL's control-based RRT: each
// edge holds one six-component command for a number of steps, run through the
// real step; a state counts only while every step completes ('Y') and every
// finger's rolling conditioning stays above a floor, so detours that tilt or shift
// the work (and so move the contacts) are found where heading straight stalls.
// Tree nodes hold a RollSnapshot, never a copy of the simulation.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "core/plan_state.h"
#include "core/state.h"

namespace rg {

// Tolerances of a reached goal.
constexpr double kGoalTurnTolDeg = 0.5;
constexpr double kGoalShiftTol = 1.0;

// A search whose closest pose has not come nearer for a fifth of its step budget, and
// at least kStagnantSteps, stops: a long budget is a wish for a long search.
constexpr long kStagnantSteps = 6000;
constexpr long kStagnantShare = 5;
constexpr long kMaxPlanSteps = 10000000;  // the largest step budget accepted

struct PlanOptions {
  double timeLimit = 10.0;                    // seconds of planning at most
  const std::atomic<bool>* cancel = nullptr;  // planning stops when it becomes true
  // called now and then while planning: the fraction of the time limit used and the
  // smallest goal error met so far, in units of the tolerances (the larger of turn/0.5
  // deg and shift/1 unit; at most 1 is within them)
  std::function<void(double fraction, double bestError)> progress;
  // the lowest rolling conditioning the tree's random targets ask for (0: a tenth of
  // the start's); a conditioning never rejects a step that completes
  double minConditioning = 0.0;
  long maxSteps = 0;  // rolling steps the plan may spend (0: DefaultPlanSteps of the hand)
  long stagnantSteps = 0;  // ... and without coming nearer (0: the share of the budget above)
  // the plan's random draws: the same seed gives the same draws, whatever was
  // planned before in the process
  unsigned seed = kDefaultPlanSeed;
};

struct PlanResult {
  PlanOutcome outcome;
  std::vector<StepCommand> path;
  // the work's mid-point (hand frame) at the start and after each step of the path
  std::vector<std::array<double, 3>> centres;
  long stepsTried = 0;  // rolling steps run while planning
};

// The goal's mid-point and frame in the hand frame, from the grasp pose (record row 0).
void GoalFrame(const Sim& s, const GoalPose& g, double mid[3], double Ew[3][3]);
// The turn (degrees) and the shift between the work in the record's latest slot and the goal.
void GoalError(const Sim& s, const GoalPose& g, double* turnDeg, double* shift);
// The smallest rolling conditioning of the latest slot's fingers and whose it is.
double MinConditioning(const Sim& s, int* finger);

// Bounds of a goal: turns (degrees) about each axis and the shift (length units)
// along each axis of the hand frame.
constexpr double kMaxGoalTurnDeg = 360.0;
constexpr double kMaxGoalShift = 1000.0;
// Reads "rx,ry,rz[,x,y,z]" (degrees, then length units; numbers within the bounds
// above, nothing else).
bool ParseGoal(const std::string& text, GoalPose* g, std::string* why);

// The longest a plan may be given, in seconds: a limit, not a wish for endless search.
constexpr double kMaxPlanSeconds = 3600.0;
// Whether a plan's time limit is a number of seconds above 0 and at most
// kMaxPlanSeconds; *why says what is accepted when it is not.
bool PlanTimeValid(double seconds, std::string* why);
// Whether a step budget is a whole number from 1 to kMaxPlanSteps.
bool PlanStepsValid(long steps, std::string* why);

// Plans from the current state (a complete grasp, or the latest manipulation step).
// The simulation is left as it was; the path is to be followed through the step.
// Refuses ('reason') when there is no complete grasp, the grasp does not roll, the
// motion has stopped, or the record is full.
PlanResult PlanToGoal(Sim& s, const GoalPose& g, const PlanOptions& opt);

}  // namespace rg
