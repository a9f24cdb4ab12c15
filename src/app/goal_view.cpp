#include "app/goal_view.h"

#include <cstdio>
#include <cstring>

#include "plan/plan.h"
#include "work/work.h"

namespace rg {
namespace {

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

bool SameGoal(const GoalPose& a, const GoalPose& b) {
  return a.rx == b.rx && a.ry == b.ry && a.rz == b.rz && a.x == b.x && a.y == b.y && a.z == b.z;
}

bool GoalSet(const Sim& s) { return s.plan.outcome.planned || !SameGoal(s.plan.goal, GoalPose{}); }

// A planned path and the work's mid-point after each of its steps.
bool HasPath(const Sim& s) {
  return !s.plan.path.empty() && s.plan.centres.size() == s.plan.path.size() + 1;
}

// Row r of the mode panel, added or put in place of the row's line; long lines in
// the small font, so that they stay readable beside the hand.
void PanelRow(OverlayText& o, int r, const char* text, bool replace = false) {
  const TextLine::Font font = std::strlen(text) > 32 ? TextLine::Small : TextLine::Large;
  if (replace)
    SetLine(o, 5.0f, PanelRowY(r), text, font);
  else
    AddLine(o, 5.0f, PanelRowY(r), text, font);
}

const char* StopText(char status) {
  switch (status) {
    case 'D': return "**** Motion In Deadlock ****\n";
    case 'O': return "**** Contact Out of FinLink ****\n";
    case 'C': return "**** Hand/Work Collision ****\n";
    case 'F': return "**** Data Overflow ****\n";
    case 'R': return "**** Grasp Not On Rim ****\n";
    default: return nullptr;
  }
}

void OutcomeRows(const Sim& s, OverlayText& o) {
  const PlanOutcome& r = s.plan.outcome;
  char buf[100];
  if (!r.planned || !SameGoal(r.goal, s.plan.goal)) {  // nothing planned for this goal yet
    PanelRow(o, 3, "Hit s to plan a path\n");
    PanelRow(o, 4, "x,X,y,Y,z,Z; p,P,q,Q,r,R: goal\n");
    return;
  }
  if (r.reached) {
    std::snprintf(buf, sizeof buf, "reached in %d steps\n", r.steps);
    PanelRow(o, 3, buf);
    std::snprintf(buf, sizeof buf, "error %.3f deg, %.3f; %.2f s; C, then s or space follows\n",
                  r.orientErrDeg, r.posErr, r.planSeconds);
    PanelRow(o, 4, buf);
    return;
  }
  std::snprintf(buf, sizeof buf, "%s: %s\n", r.refused ? "not planned" : "not reached",
                r.reason.c_str());
  PanelRow(o, 3, buf);
  if (r.refused) return;
  std::snprintf(buf, sizeof buf, "closest after %d steps: %.3f deg, %.3f (%.2f s)\n", r.steps,
                r.orientErrDeg, r.posErr, r.planSeconds);
  PanelRow(o, 4, buf);
}

void GoalRows(const Sim& s, OverlayText& o) {
  const GoalPose& g = s.plan.goal;
  char buf[100];
  PanelRow(o, 0, "Execution Mode : B\n");
  std::snprintf(buf, sizeof buf, "Goal %.1f, %.1f, %.1f deg\n", g.rx, g.ry, g.rz);
  PanelRow(o, 1, buf);
  std::snprintf(buf, sizeof buf, "Shift %.1f, %.1f, %.1f\n", g.x, g.y, g.z);
  PanelRow(o, 2, buf);
  OutcomeRows(s, o);
}

// Row 3 stays free for the play line of the window.
void PathRows(const Sim& s, OverlayText& o) {
  const PlanState& p = s.plan;
  char buf[100];
  PanelRow(o, 0, "Execution Mode : C\n");
  if (p.path.empty()) {
    PanelRow(o, 1, "No planned path\n");
    PanelRow(o, 2, "Set a goal: B, then s\n");
    return;
  }
  std::snprintf(buf, sizeof buf, "Path step %zu / %zu\n", p.next, p.path.size());
  PanelRow(o, 1, buf);
  const char* stop = StopText(s.sgnMANIP);
  if (stop != nullptr)
    PanelRow(o, 2, stop);
  else if (p.next >= p.path.size())
    PanelRow(o, 2, p.outcome.reached ? "End of the path: goal reached\n" : "End of the path\n");
  else if (!PathCanStep(s))
    PanelRow(o, 2, "Work moved: plan again (B, s)\n");
  else
    PanelRow(o, 2, "Hit s for a step, space plays\n");
}

}  // namespace

GoalParts WhatGoalToDraw(const Sim& s) {
  GoalParts p;
  const bool goalMode = s.sgnCAL == 'B';
  const bool pathMode = s.sgnCAL == 'C' && GoalSet(s);
  p.ghost = goalMode || pathMode;
  p.path = p.ghost && HasPath(s);
  return p;
}

void GoalPoseToDraw(const Sim& s, double mid[3], double Ew[3][3]) {
  if (s.sgnCALGEnd == 'Y') {
    GoalFrame(s, s.plan.goal, mid, Ew);
    return;
  }
  // no grasp yet: the grasp will start from the set pose
  const GoalPose& g = s.plan.goal;
  WorkOrien1(g.rx * kDegToRad, g.ry * kDegToRad, g.rz * kDegToRad, s.EwG, Ew);
  WorkTurnCentre(s.model(), s.WORK1, s.rwG, s.EwG, mid);
  mid[0] += g.x;
  mid[1] += g.y;
  mid[2] += g.z;
}

bool PathCanStep(const Sim& s) {
  const PlanState& p = s.plan;
  return HasPath(s) && p.next < p.path.size() && s.sgnCALGEnd == 'Y' && s.sgnMANIP == 'Y' &&
         s.cntManip0 == p.startStep + StepsBefore(p.path, p.next);
}

void GoalPanel(const Sim& s, OverlayText& o) {
  if (s.sgnCAL == 'B') GoalRows(s, o);
  if (s.sgnCAL == 'C') PathRows(s, o);
}

void PlanningRows(const PlanProgress& p, OverlayText& o) {
  char buf[100];
  const int percent = static_cast<int>(100.0 * p.fraction + 0.5);
  if (p.stopping)
    std::snprintf(buf, sizeof buf, "Stopping the planning\n");
  else if (p.best >= 0.0)
    std::snprintf(buf, sizeof buf, "Planning %d%%, best error %.2f\n", percent, p.best);
  else
    std::snprintf(buf, sizeof buf, "Planning %d%%\n", percent);
  PanelRow(o, 3, buf, true);
  PanelRow(o, 4, "Esc or B stops; other keys ignored\n", true);
}

}  // namespace rg
