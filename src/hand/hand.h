// Hand model: the tables of the selected hand and the forward kinematics of
// every finger, first in the finger frame and then in the hand frame.
#pragma once

#include "core/state.h"

namespace rg {

// The model of the selected hand: built-in hand 1..4 takes its model from the
// catalogue, any other number keeps the model the simulation holds (a hand loaded
// from a file).
void BasicFinParameter(Sim& s, int hand);
// places the fingers of the model on the palm for the work and sets their initial angles
void FinJ1Pose(Sim& s, char work);

// Forward kinematics: the pose of finger kf in the hand frame for joint angles
// q[1..nJ], from the hand's tables alone: joint positions JA[0..nJ+1] (0 the finger
// base, nJ+1 the fingertip centre), joint frames before their own rotation
// EAs[0..nJ] (z = the joint's axis) and link frames EA[0..nJ] (x along the link).
struct FingerPose {
  double JA[kSlots][3];
  double EAs[kSlots][3][3];
  double EA[kSlots][3][3];
};
FingerPose Findirect_kineR(const Sim& s, int kf, const double* q);
// Only the last link of that pose: the position of joint nJ and its link frame, with
// the same products as Findirect_kineR (so equal to its JA[nJ] and EA[nJ]).
void LastLinkKinematics(const Sim& s, int kf, const double* q, double JAn[3], double EAn[3][3]);

}  // namespace rg
