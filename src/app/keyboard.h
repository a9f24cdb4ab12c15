// The keyboard command machine: mode keys and the sub-commands of each mode.
#pragma once

#include "core/state.h"
#include "plan/plan.h"

namespace rg {

// Handles one key press. Returns true when the key asks the program to end
// (Escape in mode 'I'); the caller then exits with status 0.
bool keyboard(Sim& s, unsigned char key, int x, int y);

// Prints what the computations noted since the last call, in order, on the
// simulation's console, waiting for the console key where a note asks for one;
// the notes are then cleared. keyboard calls it after every key.
void PrintNotes(Sim& s);

// work and hand selection, initial joint angles
void selectWork(Sim& s, char key);  // '1' sphere, '2' cylinder; other keys do nothing
void selectHand(Sim& s, char key);
void setq(Sim& s, char key);

// Mode 'M' with a pose given in numbers: the work's reference point and frame set,
// then what a move key does after its move (grasp reset, the drawn pose, the
// interference check).
void WorkPoseSet(Sim& s, const double r[3], const double E[3][3]);

// Mode 'J' with finger kf's initial angles given in numbers (joints 1..nJ), as the
// 'p' and 'm' keys set one.
void InitialAnglesSet(Sim& s, int kf, const double* q);

// A finger gait as the keys 1..nF of mode 'A' run it: kind 'L' lifts finger kf, 'P'
// places it (preshape[1..nJ]: its pre-shape, null for the default); the console gets
// the line of what it came to (GaitMessage); the redraw is the caller's. A gait done
// drops the planned path, which was planned for the contact set before it.
GaitEvent GaitCommand(Sim& s, char kind, int kf, const double* preshape);

// view steps of mode 'I'
void ViewStep(Sim& s, char key);

// Key 's' of mode 'B' is planning and then installing its result. The planning
// options of s's plan state (time limit, progress, stop flag); and the result of
// planning from s's current state made s's planned path, with the outcome line
// on the console. The window plans on a copy in the background and installs the
// result here, so both ways leave the same plan state and print the same text.
PlanOptions PlanOptionsOf(const Sim& s);
void InstallPlan(Sim& s, PlanResult r);

}  // namespace rg
