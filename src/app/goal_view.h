// What the window shows of the goal pose and the planned path, decided from the
// state alone (the drawing code only draws): whether the goal ghost and the path
// are drawn and where the ghost stands, whether a step of the path can be
// followed, and the mode panels of the goal mode 'B' and the path mode 'C'.
#pragma once

#include "app/overlay_text.h"
#include "app/window_view.h"
#include "core/state.h"

namespace rg {

struct GoalParts {
  bool ghost = false;  // the work at the goal pose, translucent
  bool path = false;   // the work's mid-point along the planned path
};
// Mode 'B' draws the ghost, and the path once one is planned; mode 'C' draws
// them while a goal is set (moved from the grasp pose, or planned); no other
// mode draws either.
GoalParts WhatGoalToDraw(const Sim& s);

// The goal's mid-point and frame (hand frame, model units): relative to the
// grasp pose once the hand has grasped, before that to the work's set pose.
void GoalPoseToDraw(const Sim& s, double mid[3], double Ew[3][3]);

// Whether key s of mode 'C' would take the next step of the planned path: a
// path is planned, not yet followed to its end, the work is where the path
// left it, and the last step succeeded.
bool PathCanStep(const Sim& s);

// The mode panel of modes 'B' and 'C' (rows at the mode panel's places). Mode
// 'B': the goal (turns in degrees, then the shift), then what to do or the last
// plan's outcome for this goal; mode 'C': the path step k / N and its status.
void GoalPanel(const Sim& s, OverlayText& o);
// While a plan runs in the background: its progress and the keys that stop it
// replace the outcome rows of the goal panel.
void PlanningRows(const PlanProgress& p, OverlayText& o);

}  // namespace rg
