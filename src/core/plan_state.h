// What a simulation keeps of its goal pose and of the path planned to it: the goal
// the user set, the commanded velocity of every step of the planned path, how far
// the path has been followed, and the planner's outcome.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace rg {

// One step's commanded velocity: vw in the hand frame, omww about the work's own axes.
struct StepCommand {
  double vw[3] = {0, 0, 0};
  double omww[3] = {0, 0, 0};
  // a finger gait in the path's place of a step: 'L' lift finger `finger` off the
  // work, 'P' place it again (its default pre-shape); 0: a rolling step with the
  // command above
  int gait = 0;
  int finger = 0;
};
inline bool IsGait(const StepCommand& k) { return k.gait != 0; }
// The rolling steps among the first n elements of a path (its gaits are no steps).
inline int StepsBefore(const std::vector<StepCommand>& path, size_t n) {
  int steps = 0;
  for (size_t i = 0; i < n && i < path.size(); ++i) steps += !IsGait(path[i]);
  return steps;
}

// A goal pose of the work relative to its grasp pose: turns rx, ry, rz (degrees)
// about the work's own x, y and z axes in turn, then a translation x, y, z (length
// units, hand frame) of its mid-point (the cylinder's, the sphere's centre).
struct GoalPose {
  double rx = 0, ry = 0, rz = 0, x = 0, y = 0, z = 0;
};

// The outcome of planning towards a goal.
struct PlanOutcome {
  bool planned = false;  // a plan was attempted (the other fields mean something)
  bool refused = false;  // nothing was planned ('reason' says why)
  bool reached = false;  // the path ends within the tolerances
  GoalPose goal;
  double orientErrDeg = 0;  // angle between the path's final orientation and the goal's
  double posErr = 0;        // distance of the final mid-point from the goal's
  int steps = 0;            // rolling steps of the path
  int gaits = 0;            // finger gaits (lifts and places) in the path
  double minSigma = 0;      // smallest rolling conditioning met along the path
  int minSigmaFinger = 0;   // ... and the finger it belongs to
  std::string reason;       // why the goal was not reached (empty when it was)
  double planSeconds = 0;   // wall time of the planning
  long stepsTried = 0;      // rolling steps the planning ran
  unsigned seed = 0;        // the seed it drew with
  // what found the path: "straight", "legs" (a few held commands), "loops" (held
  // commands with loops that bring the work back to a pose), "gaits" (held commands
  // with fingers lifted and placed again on the way), "tree"
  std::string how;
};

// The seed of a plan that names none, and the rolling steps a plan may spend (the
// cheap baselines and the tree together) when it names no other budget: a step
// solves every finger, so the default counts finger solves, kDefaultPlanFingerSteps
// in all (30000 steps for a two-fingered hand, 20000 for a three-fingered one),
// which keeps a verdict within about a second of CPU for every hand. The step
// budget, not the clock, ends a search, so its verdict does not depend on the
// machine's load; a plan's time limit is a safety net.
constexpr unsigned kDefaultPlanSeed = 23;
constexpr long kDefaultPlanFingerSteps = 60000;
inline long DefaultPlanSteps(int fingers) {
  return kDefaultPlanFingerSteps / (fingers > 0 ? fingers : 1);
}

struct PlanState {
  GoalPose goal;
  std::vector<StepCommand> path;  // the planned path, one command per step
  // the work's mid-point (hand frame) at the path's start and after each of its steps
  std::vector<std::array<double, 3>> centres;
  size_t next = 0;                // steps of the path already followed
  int startStep = 0;              // the record's step count the path starts from
  PlanOutcome outcome;
  // how planning is run: its time limit (seconds), whom it tells of its progress
  // (the fraction of the time used, the smallest goal error met so far), and the
  // flag that stops it (set from elsewhere while it plans)
  double timeLimit = 10.0;
  long maxSteps = 0;  // rolling steps a plan may spend (0: DefaultPlanSteps of the hand)
  unsigned seed = kDefaultPlanSeed;   // the plan's random draws
  std::function<void(double, double)> progress;
  const std::atomic<bool>* cancel = nullptr;
};

}  // namespace rg
