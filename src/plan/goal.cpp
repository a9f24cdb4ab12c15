#include <cmath>
#include <cstdlib>
#include <string>

#include "manip/manip.h"
#include "plan/plan.h"
#include "plan/rotation.h"
#include "work/work.h"

namespace rg {

using plan_rotation::kDeg;
using plan_rotation::TurnBetween;

bool ParseGoal(const std::string& text, GoalPose* g, std::string* why) {
  double v[6] = {0, 0, 0, 0, 0, 0};
  int n = 0;
  size_t at = 0;
  while (true) {
    const size_t comma = text.find(',', at);
    const std::string item =
        text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    if (n >= 6) {
      *why = "a goal has at most six numbers";
      return false;
    }
    char* end = nullptr;
    const double x = std::strtod(item.c_str(), &end);
    if (item.empty() || end == item.c_str() || *end != '\0' || !std::isfinite(x)) {
      *why = "'" + item + "' is not a number";
      return false;
    }
    const double bound = n < 3 ? kMaxGoalTurnDeg : kMaxGoalShift;
    if (std::fabs(x) > bound) {
      *why = std::string(n < 3 ? "a turn" : "a shift") + " of " + item + " is beyond ±" +
             (n < 3 ? "360 degrees" : "1000 length units");
      return false;
    }
    v[n++] = x;
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  if (n != 3 && n != 6) {
    *why = "a goal is rx,ry,rz or rx,ry,rz,x,y,z";
    return false;
  }
  *g = GoalPose{v[0], v[1], v[2], v[3], v[4], v[5]};
  return true;
}

bool PlanTimeValid(double seconds, std::string* why) {
  if (seconds > 0.0 && seconds <= kMaxPlanSeconds) return true;  // false for NaN too
  *why = "a number of seconds above 0 and at most 3600";
  return false;
}

bool PlanStepsValid(long steps, std::string* why) {
  if (steps >= 1 && steps <= kMaxPlanSteps) return true;
  *why = "a whole number of steps from 1 to 10000000";
  return false;
}

void GoalFrame(const Sim& s, const GoalPose& g, double mid[3], double Ew[3][3]) {
  WorkOrien1(g.rx * kDeg, g.ry * kDeg, g.rz * kDeg, s.ManipEW[0], Ew);
  WorkTurnCentre(s.model(), s.WORK1, s.ManipRW[0], s.ManipEW[0], mid);
  mid[0] += g.x;
  mid[1] += g.y;
  mid[2] += g.z;
}

void GoalError(const Sim& s, const GoalPose& g, double* turnDeg, double* shift) {
  double mid[3], Ew[3][3], at[3], w[3], d[3];
  GoalFrame(s, g, mid, Ew);
  WorkTurnCentre(s.model(), s.WORK1, s.ManipRW2[1], s.ManipEW2[1], at);
  VecSub(at, mid, d);
  *turnDeg = TurnBetween(s.ManipEW2[1], Ew, w) / kDeg;
  *shift = VecNorm(d);
}

double MinConditioning(const Sim& s, int* finger) {
  double m = 1e300;
  *finger = 0;
  for (int kf = 1; kf <= s.nF(); ++kf) {
    const double c = LatestConditioning(s, kf);
    if (c < m) {
      m = c;
      *finger = kf;
    }
  }
  return m;
}

}  // namespace rg
