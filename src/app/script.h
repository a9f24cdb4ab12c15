// Values set in numbers by a script (the Python module) instead of by keys. Each
// setter goes through what the keys that set such a value go through: the mode key
// first, then the same checks and resets (a work move resets the grasp and checks
// the fingers against the work), so a run set in numbers and the key run that sets
// the same values store the same record.
#pragma once

#include <string>

#include "core/state.h"

namespace rg {

// Bounds of the values a script sets. The work stays within the reach of any
// hand's sizes; a velocity at most a hundred times what the velocity keys set (one
// step then moves the work at most 5 units and turns it at most 0.1 rad); initial
// angles within a turn either way.
constexpr double kMaxScriptPosition = 1e4;  // length units, each coordinate
constexpr double kMaxScriptSpeed = 100.0;   // length units per unit time, each component
constexpr double kMaxScriptTurnRate = 2.0;  // rad per unit time, each component
constexpr double kMaxScriptAngle = 6.2831853071796;  // rad

// Whether E is a rotation matrix: orthonormal to 1e-9, determinant positive.
bool IsRotation(const double E[3][3]);

// The work's reference point r (the cylinder's base centre, the sphere's centre;
// rwG0 of the state) and its frame E (columns: the work's x, y, z axes), as mode
// 'M' sets them. False (and nothing changed) when E is not a rotation or a value
// is not finite or out of its bounds.
bool ScriptWorkPose(Sim& s, const double r[3], const double E[3][3], std::string* why);

// The commanded velocity as mode 'V' sets it, with any values within the bounds
// above: vw in the hand frame (length units per unit time), omww about the work's
// own axes (rad per unit time).
bool ScriptVelocity(Sim& s, const double vw[3], const double omww[3], std::string* why);

// Finger kf's initial joint angles (rad, joints 1..nJ) as mode 'J' sets them.
bool ScriptInitialAngles(Sim& s, int kf, const double* q, int n, std::string* why);

// A finger gait asked for by a script (the Python module), as the keys 1..nF of mode
// 'A' ask for it: kind 'L' lifts finger kf, 'P' places it; q (n angles, joints
// 1..nJ) is its pre-shape, or null for the default (a lift: the initial angles; a
// place: the angles it was lifted to). Mode 'A' is entered first as its key enters
// it. False (nothing changed) for a finger out of 1..nF or a pre-shape that is not nJ
// finite angles within one turn either way; otherwise true with the outcome in *out,
// a refusal included.
bool ScriptGait(Sim& s, char kind, int kf, const double* q, int n, GaitEvent* out,
                std::string* why);

// What a gait came to, on one line as the console prints it: done, or refused with
// the reason (a lift refused for the hold names the fingers that stay and their
// epsilon).
std::string GaitMessage(const Sim& s, const GaitEvent& g);
// The same, short, for the mode panel ("" before any gait).
std::string GaitPanelText(const GaitEvent& g);
// The gait's kind and verdict as words: "lift" / "place" ("" for none), and the
// refusal's reason ("" when done or none).
const char* GaitKindName(char kind);
std::string GaitReason(const Sim& s, const GaitEvent& g);

// The text the window shows for the current status, on one line: a stopped motion
// with its cause, a refused grasp or manipulation with what to do. Empty when
// nothing stopped or was refused.
std::string StatusMessage(const Sim& s);

// The message of the manipulation's status alone, whatever the mode: what
// StatusMessage gives in mode 'A' (a replay in mode 'D' keeps the run's status).
std::string MotionMessage(const Sim& s);

// The finger the current stop concerns (0: none or not known).
int StatusFinger(const Sim& s);

}  // namespace rg
