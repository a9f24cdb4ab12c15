// Finger gaits: one finger lifted off the grasped work while the others hold it, and
// placed on it again. A place is the grasp of that one finger: it closes from its
// pre-shape with the grasp's own first-touch search (FingerFirstTouch), on the work
// where it stands now, and its contact then rolls with the others on the next step.
// While a finger is lifted the rolling step holds its angles and checks it against
// the moved work (manip/manip.h); the grasp quality judges the touching contacts only
// (record/grasp_quality.h).
//
// Both return what happened as a GaitEvent (core/state.h, with its letters) and keep
// it as the state's last gait; a refusal changes nothing else. Printing is the
// caller's. The work is the record's latest pose (ManipRW2[1], ManipEW2[1]).
#pragma once

#include "core/state.h"

namespace rg {

// Poses checked on the way from one set of angles to another: the straight line in
// joint space is cut into this many steps and the finger checked against the work at
// the end of each (the far end included).
constexpr int kGaitPathPoses = 8;
// How far (rad) a lift without a given pre-shape opens the last joint beyond where
// it touched: the default pre-shape is the initial angles with the last joint at
// the smaller of its initial angle and the touching angle less this. The initial
// angles alone are no pose to stand off the work in: the grasp closes the last joint
// from -pi/2 and stops at the first touch, often short of its initial angle (hand 2's
// fingers 2 and 3 touch at about 0.45 rad against 0.79), which lies inside the work.
constexpr double kGaitOpening = 0.3;

// Finger kf (1..nF) leaves the work: it opens from its current angles to the
// pre-shape (angles 1..nJ at preshape[1..nJ]; null: its initial angles qq0[kf] with
// the last joint opened, kGaitOpening).
// Refused ('G', 'S', 'T', 'F', then 'H' or 'C' of GaitEvent) when the grasp is not
// complete, the manipulation has stopped, the finger is already lifted, the row's
// gait column is full, the other touching contacts are not in force closure (the
// event's epsilon is theirs either way), or the finger would meet the work on the
// way or at the pre-shape (which must clear it by more than kLinkDepthTol).
GaitEvent LiftFinger(Sim& s, int kf, const double* preshape = nullptr);

// Lifted finger kf (1..nF) closes its last joint from its pre-shape (the angles it
// was lifted to; given angles preshape[1..nJ] instead, it moves there first, checked
// on the way) until it first touches the work; the contact becomes its rolling
// contact, as a grasped contact is recorded (the two history slots, parameters,
// normals; the carried Jacobians dropped). Refused, leaving it lifted, for no
// complete grasp, a stopped manipulation, a finger that touches, a full gait column,
// no contact found ('N'), a contact the rolling motion is not defined for ('R', with
// its type) or a finger that meets the work ('C': on the way to the pre-shape, or
// at the contact with another link, or entering the work there).
GaitEvent PlaceFinger(Sim& s, int kf, const double* preshape = nullptr);

}  // namespace rg
