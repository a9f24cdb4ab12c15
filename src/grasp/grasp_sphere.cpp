// Finger link and fingertip against the work sphere, in the frame Σm of the last
// joint. At joint angle q the link's axis is t*u(q), u(q) = (cos q, sin q, 0),
// 0 <= t <= lFin, with the fingertip ball centred at t = lFin. With the sphere's
// centre c and d = aFin + aSph:
//   - the link's side touches the sphere when the distance from c to the axis line
//     is d, i.e. c.u(q) = +sqrt(|c|^2 - d^2) = t0, the foot of the perpendicular;
//     the contact lies on the link when 0 <= t0 <= lFin (the minus sign would put it
//     behind the joint);
//   - the fingertip ball touches it when |c - lFin u(q)| = d, i.e.
//     c.u(q) = (|c|^2 + lFin^2 - d^2) / (2 lFin), on the ball's front half only.
// Both are equations a cos q + b sin q + e = 0 solved by TRI1; of their two roots
// the one met first as the joint closes (the smallest above -pi/2) is the contact.
// (Since the root of the link lies on the link exactly when t0 <= lFin and the tip's
// on the front half exactly when t0 >= lFin, the sphere is reached by the link's
// side or by its tip, never by both.)
#include <cmath>

#include "core/model.h"
#include "grasp/grasp.h"
#include "grasp/grasp_util.h"
#include "interference/interference.h"
#include "numerics/solve.h"
#include "numerics/vecmat.h"
#include "work/work.h"

namespace rg {
namespace {

using grasp_detail::FinNormalAngle;
using grasp_detail::LinkDir;
using grasp_detail::TipNormalAngle;

// centre distance of a touching link axis
double TouchDistance(const Model& m) { return m.aFin + m.aSph; }

// The contact at joint angle q whose finger-side centre of curvature (the foot of
// the perpendicular on the link axis, or the fingertip centre) is t*u(q): point,
// normals and parameters on both bodies.
void FillContact(const Model& m, double q, double t, const WorkM& w, ContactM& c) {
  double u[3], foot[3], toWork[3];
  LinkDir(q, u);
  VecScale(t, u, foot);
  VecSub(w.rwM, foot, toWork);
  c.q = q;
  VecUnit(toWork, c.NFm);
  VecNeg(c.NFm, c.NWm);
  VecAddScaled(w.rwM, m.aSph, c.NWm, c.RCm);  // on the sphere, aFin from the foot along NF
  c.prm.Lf = t;
  c.prm.fif = FinNormalAngle(u, c.NFm);
  double nWork[3];
  MatTVec(w.EwM, c.NWm, nWork);
  SphereContactAngles(m.aSph, nWork, c.prm);
}

// The root of a cos q + b sin q + e = 0 met first as the joint closes (the smallest
// above -pi/2); -1 when there is none.
int FirstRoot(double a, double b, double e, double q[2]) {
  if (TRI1(a, b, e, q) == 0) return -1;
  const bool kept[2] = {true, true};
  return FirstRootAbove(q, kept, 2);
}

}  // namespace

int FinLinkSphereContactm(const Model& m, double q0, const WorkM& w, ContactM& c) {
  const double* cM = w.rwM;
  const double kDs = TouchDistance(m);
  c = ContactM();
  c.q = q0;
  const double t2 = VecDot(cM, cM) - kDs * kDs;
  if (!(t2 >= 0.0)) return 0;  // the joint itself would be in the sphere
  const double t0 = std::sqrt(t2);
  if (!(t0 <= m.lFin)) return 0;  // the foot lies beyond the link: the tip's case
  double q[2];
  const int k = FirstRoot(cM[0], cM[1], -t0, q);
  if (k < 0) return 0;
  FillContact(m, q[k], t0, w, c);
  c.prm.psif = kHalfPiC;
  c.solF = 1;
  c.solW = 1;
  return 1;
}

int FinTipSphereContactm(const Model& m, double q0, const WorkM& w, ContactM& c) {
  const double* cM = w.rwM;
  const double kDs = TouchDistance(m), lFin = m.lFin;
  c = ContactM();
  c.q = q0;
  const double cu = (VecDot(cM, cM) + lFin * lFin - kDs * kDs) / (2.0 * lFin);
  double q[2];
  const int k = FirstRoot(cM[0], cM[1], -cu, q);
  if (k < 0) return 0;
  FillContact(m, q[k], lFin, w, c);
  double u[3];
  LinkDir(q[k], u);
  c.prm.psif = TipNormalAngle(u, c.NFm, c.prm.fif);
  // the normal must leave the ball on its front half ((c - lFin u).u = cu - lFin >= 0);
  // on the rear half the link's side is nearer
  if (!grasp_detail::FrontHalf(m, c.prm.psif)) return 0;
  c.solF = 2;
  c.solW = 1;
  return 1;
}

int FingerSphereContactA3(Sim& s, int kf, const double* q0, const WorkPose& wG,
                          FingerContact& out) {
  const Model& m = s.model();
  grasp_detail::ContactStart st;
  if (!grasp_detail::BeginContact(s, kf, q0, wG, out, st)) return 0;

  // A finger whose last link (with the ball about the joint) already reaches into the
  // sphere as the joint starts to close at -pi/2 has no first touch.
  const double o[3] = {0, 0, 0}, start[3] = {0, -m.lFin, 0};
  if (!(SegmentPointDistance(o, start, st.w.rwM, nullptr) > TouchDistance(m))) return 0;

  const int nJ = m.nJ;
  const double q0n = st.q0[nJ];
  ContactM link, tip;
  const bool onLink = FinLinkSphereContactm(m, q0n, st.w, link) == 1;
  const bool onTip = FinTipSphereContactm(m, q0n, st.w, tip) == 1;
  if (!onLink && !onTip) return 0;
  // the one reached first as the joint closes
  const bool tipFirst = onTip && (!onLink || tip.q < link.q);
  const ContactM& c = tipFirst ? tip : link;
  if (!grasp_detail::ContactFinite(c)) return 0;

  grasp_detail::ContactToHand(st.P, nJ, c, out);
  out.GTYPE[0] = tipFirst ? 'T' : 'L';
  out.GTYPE[1] = 'S';
  out.sgnUML = 'S';
  out.sgnGRASPM = 'Y';
  return 1;
}

}  // namespace rg
