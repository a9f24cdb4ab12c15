// Hand model: the tables of the selected hand and the forward kinematics of a
// finger, first in the finger frame and then in the hand frame. The kinematics reads
// the model alone: its joint tables and the finger's mount on the palm
// (Model::Mount, Sim::mount for the selected work).
#pragma once

#include "core/state.h"

namespace rg {

// The model of the selected hand: built-in hand 1..4 takes its model from the
// catalogue, any other number keeps the model the simulation holds (a hand loaded
// from a file).
void BasicFinParameter(Sim& s, int hand);
// the model's initial angles as the fingers' initial angles qq0
void FinJ1Pose(Sim& s);

// Forward kinematics: the pose in the hand frame of a finger of model m mounted at f,
// for joint angles q[1..nJ]: joint positions JA[0..nJ+1] (0 the finger base, nJ+1
// the fingertip centre), joint frames before their own rotation EAs[0..nJ] (z = the
// joint's axis) and link frames EA[0..nJ] (x along the link).
struct FingerPose {
  double JA[kSlots][3];
  double EAs[kSlots][3][3];
  double EA[kSlots][3][3];
};
FingerPose Findirect_kineR(const Model& m, const FingerMount& f, const double* q);
// Only the last link of that pose: the position of joint nJ and its link frame, with
// the same products as Findirect_kineR (so equal to its JA[nJ] and EA[nJ]).
void LastLinkKinematics(const Model& m, const FingerMount& f, const double* q, double JAn[3],
                        double EAn[3][3]);

// cos and sin of the joint angles q[1..nJ], for the kinematics below that take them
// instead of the angles: the same values as the angles' own cos and sin, so the poses
// are the same to the last bit, and a caller that has them (a pose near one already
// computed, where only some joints changed) spares their cost.
struct JointTrig {
  double c[kSlots] = {};
  double s[kSlots] = {};
};
void JointSinCos(const Model& m, const double* q, JointTrig& t);
// The same for angles q near the angles q0 whose cos and sin t0 holds: a joint turned
// by at most kSmallTurn is turned from there (TurnSinCos, within a few units in the last
// place), any other computed afresh.
void JointSinCosNear(const Model& m, const double* q, const double* q0, const JointTrig& t0,
                     JointTrig& t);
FingerPose Findirect_kineR(const Model& m, const FingerMount& f, const JointTrig& t);
void LastLinkKinematics(const Model& m, const FingerMount& f, const JointTrig& t, double JAn[3],
                        double EAn[3][3]);

}  // namespace rg
