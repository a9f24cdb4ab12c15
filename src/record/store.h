// The manipulation record: per finger the two latest states, and every fifth
// step a stored row of the trajectory (joint angles, work pose, contact).
#pragma once

#include <string>

#include "core/state.h"

namespace rg {

// One finger's state after a step, as the record takes it (the arrays are the
// caller's): joint angles q[0..nJ], the contact's parameters, the work's base point
// rw and axes Ew, the contacted rim's centre rwP (the sphere's centre), the contact
// point RC and its normal NW from the work towards the finger.
struct FingerStepState {
  const double* q;
  ContactPrm prm;
  const double* rw;
  const double* rwP;
  const double (*Ew)[3];
  const double* RC;
  const double* NW;
};
// Records finger kf's state f after manipulation step cntM (0 = the grasp), which
// took the time step dt.
void StoreCylinderManipData5(Sim& s, int cntM, int kf, double dt, const FingerStepState& f);

// Finger kf's contact found by a place (manip/gait.h) made its rolling contact as
// a grasp makes its own, without starting the record anew: both history slots of
// the finger take the state f (the shared work-pose slots keep theirs), the inverse
// Jacobian and the rolling matrix kept for its next solve are dropped (placed: they
// are computed afresh), and the finger touches the work again.
void StorePlacedContact(Sim& s, int kf, const FingerStepState& f);

// The gaits done since the last stored row, which the next stored row's gait column
// takes: whether one more fits (kMaxRowGaits), and one more (kind 'L' lift or 'P'
// place of finger kf; it must fit).
inline bool RowGaitsFull(const Sim& s) { return s.nRowGaits >= kMaxRowGaits; }
void NoteRowGait(Sim& s, char kind, int kf);
// The gait column of stored row m: the gaits done since the row before, in order
// ("lift 2", "lift 2; place 2"), "" for none.
std::string RowGaitText(const Sim& s, int m);
// Whether finger kf touched the work at stored row m.
inline bool TouchingAtRow(const Sim& s, int m, int kf) {
  return (s.ManipLiftedRow[m] & (1u << kf)) == 0;
}

// Keeps the commanded velocity of the step just recorded (vw in the hand frame,
// omww about the work's axes) with its row, when the step was a stored one.
void StoreCommand(Sim& s, const double vw[3], const double omww[3]);

// Whether the record's last row (kRows - 1, step (kRows - 1) * kDecim) is stored:
// the manipulation stops there ('F'), since no later step could be stored and a
// replay would miss it. The one limit of the record, for every caller of the step.
inline bool RecordFull(const Sim& s) { return s.cntMainip1 >= kRows - 1; }

// Contact traces, derived from the stored rows when read (defined for
// m <= n <= cntMainip1): the finger-side contact point of stored step m as it
// lies on the link in the finger pose of stored step n, and the work-side
// contact point of step m as it lies on the work in the work pose of step n.
void ManipCPNTF(const Sim& s, int n, int m, int kf, double p[3]);
void ManipCPNTW(const Sim& s, int n, int m, int kf, double p[3]);
// The finger-side trail: ManipCPNTF of steps m = 0..n on finger kf's link in its
// pose of step n (p has room for n + 1 points).
void ManipCPNTFTrail(const Sim& s, int n, int kf, double p[][3]);
// The work-side trail: ManipCPNTW of steps m = 0..n on the work in its pose of step n.
void ManipCPNTWTrail(const Sim& s, int n, int kf, double p[][3]);

}  // namespace rg
