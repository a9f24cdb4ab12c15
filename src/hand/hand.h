// Hand model: the tables of the selected hand and the forward kinematics of
// every finger, first in the finger frame and then in the hand frame.
#pragma once

#include "core/state.h"

namespace rg {

// hand tables
void BasicFinParameter(Sim& s, int hand);
void FinBasePose(double phi, double radius, double pos[3], double E[3][3]);
void FinJ1Pose(Sim& s, int hand, char work);
void AbsFinParameter(Sim& s, int hand, int kf);

// finger kinematics: joint angles q[1..n] of finger kf -> s.JA, s.EA, s.EAs, ...
void Findirect_kineR(Sim& s, int kf, int n, const double* q);
void Trans_Fin_to_A(Sim& s, int kf, int n);

// The pose of finger kf in the hand frame for joint angles q[1..nJ], computed
// without touching the state: joint positions JA[0..nJ+1] (nJ+1 = fingertip), joint
// frames before their own rotation EAs[0..nJ] (z = the joint's axis) and link
// frames EA[0..nJ] (x along the link).
struct FingerPose {
  double JA[kSlots][3];
  double EAs[kSlots][3][3];
  double EA[kSlots][3][3];
};
void FingerKinematics(const Sim& s, int kf, const double* q, FingerPose& P);

// Joint positions (0..n+1) and link frames (0..n) of finger kf in the hand frame
// for angles q, computed without touching the state's kinematic arrays.
void FingerPoseA(const Sim& s, int kf, int n, const double* q, double JAout[kSlots][3],
                 double EAout[kSlots][3][3]);

}  // namespace rg
