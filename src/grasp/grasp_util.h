// Small helpers shared by the contact solvers (all in the last-joint frame Σm).
#pragma once

#include <cmath>

#include "core/model.h"
#include "grasp/grasp.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"

namespace rg {
namespace grasp_detail {

// Direction of the last link at joint angle q.
inline void LinkDir(double q, double u[3]) {
  u[0] = std::cos(q);
  u[1] = std::sin(q);
  u[2] = 0.0;
}

// Angle of the finger normal NF about the link axis u: from the link frame's z axis
// towards u x z.
inline double FinNormalAngle(const double u[3], const double NF[3]) {
  const double ez[3] = {0, 0, 1};
  double uxz[3];
  VecCross(u, ez, uxz);
  return std::atan2(VecDot(NF, uxz), VecDot(NF, ez));
}

// Angle of the finger normal NF from the link axis u on the tip sphere, measured in
// the plane that holds u and NF (0 = straight ahead, pi/2 = on the equator).
inline double TipNormalAngle(const double u[3], const double NF[3], double fif) {
  const double ez[3] = {0, 0, 1};
  double uxz[3], w[3];
  VecCross(u, ez, uxz);
  for (int i = 0; i < 3; ++i) w[i] = std::cos(fif) * ez[i] + std::sin(fif) * uxz[i];
  return std::atan2(VecDot(NF, w), VecDot(NF, u));
}

// Contacts at the border of the hemisphere and rear-half tests: a contact beyond the
// border by an angle that tilts the link into the work by less than this length still
// counts as touching, so a finger lying flat on a face or along the side is not
// refused for rounding. (A tilt of the link by an angle a sinks its far end by up to
// lFin*a, so the angle allowed is the length over lFin.)
constexpr double kTouchSlack = 8e-6;
inline double SlackAngle(const Model& m) { return kTouchSlack / m.lFin; }

// True when the tip-ball angle psif (from the link axis) lies on the front half.
inline bool FrontHalf(const Model& m, double psif) {
  const double slack = SlackAngle(m);
  return psif >= -kHalfPiC - slack && psif <= kHalfPiC + slack;
}

// True when every number of a candidate is finite (no NaN may be accepted).
inline bool ContactFinite(const ContactM& c) {
  return std::isfinite(c.q) && std::isfinite(c.prm.Lf) && std::isfinite(c.prm.fif) &&
         std::isfinite(c.prm.psif) && std::isfinite(c.prm.Lw) && std::isfinite(c.prm.Ltw) &&
         std::isfinite(c.prm.thw) && VecFinite(c.RCm) && VecFinite(c.NFm) && VecFinite(c.NWm);
}

// Normal-cone test of a rim contact: the work normal NW at rim point P of the rim
// centred at C must point out of both the end face (outward face normal nd) and
// the side surface. Returns 2 when it does, 4 when NW points over the end disk
// (the finger would reach into the disk), 5 when it points below the face plane
// (the finger would cut into the side surface).
inline int RimConeCode(const Model& m, const double NW[3], const double P[3], const double C[3],
                       const double nd[3]) {
  const double kTol = SlackAngle(m);
  double rad[3];
  VecSub(P, C, rad);
  VecUnit(rad, rad);
  if (!(VecDot(NW, rad) >= -kTol)) return 4;
  if (!(VecDot(NW, nd) >= -kTol)) return 5;
  return 2;
}

// What every contact dispatcher starts from: the finger at its initial angles q0
// and the work in the frame Σm of the last joint before the joint's own rotation.
struct ContactStart {
  double q0[kSlots] = {};
  FingerPose P;
  WorkM w;
};

// The start of a dispatcher call for finger kf (1..nF): out cleared to "no contact"
// (qf = q0, GTYPE "NN", verdict 'N'); false when the work pose holds a number that
// is not finite, else st is filled.
bool BeginContact(const Sim& s, int kf, const double* q0, const WorkPose& wG,
                  FingerContact& out, ContactStart& st);

// The chosen contact c (in Σm of the finger pose P) as the dispatcher's result in
// the hand frame: qf[nJ], the parameters, point and normals.
void ContactToHand(const FingerPose& P, int nJ, const ContactM& c, FingerContact& out);

}  // namespace grasp_detail
}  // namespace rg
