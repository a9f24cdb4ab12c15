// Finger link and fingertip against the cylinder's side surface. Both reduce to a
// second-degree trigonometric equation in the last-joint angle q, solved by TRI2;
// every root is refined by Newton steps on the same equation so that the contact
// lies on both surfaces to rounding precision.
#include <algorithm>
#include <cmath>

#include "core/model.h"
#include "grasp/grasp.h"
#include "grasp/grasp_util.h"
#include "numerics/solve.h"
#include "numerics/vecmat.h"

namespace rg {
namespace {

using grasp_detail::FinNormalAngle;
using grasp_detail::LinkDir;

// A*c^2 + 2B*c*s + C*s^2 + 2F*c + 2G*s + D, c = cos q, s = sin q.
struct TrigEq {
  double A, B, C, F, G, D;
  double Value(double q) const {
    const double c = std::cos(q), s = std::sin(q);
    return A * c * c + 2 * B * c * s + C * s * s + 2 * F * c + 2 * G * s + D;
  }
  double Slope(double q) const {
    const double c = std::cos(q), s = std::sin(q);
    return (C - A) * 2 * s * c + 2 * B * (c * c - s * s) - 2 * F * s + 2 * G * c;
  }
};

constexpr int kPolishSteps = 40;         // Newton steps at most per refined root
constexpr double kPolishStepCap = 0.01;  // largest move of a root by one step (rad)
constexpr double kParallelAxis = 1e-5;   // |mw_z| below this: work axis in the link plane
constexpr double kParallelLines = 1e-4;  // |U^2 - 1| below this: link and work axis parallel
constexpr double kLinkZeroAngle = 1e-7;  // a link contact angle this near 0 is 0
constexpr double kTipZeroAngle = 1e-6;   // a tip contact angle this near 0 is 0
constexpr double kTangencyAbs = 1.0;     // a kept tangency's axis distance is within this of d
constexpr double kFar = 1000.0;          // length standing for "no finite contact" (Lf, Lw)
constexpr double kNoRoot = 100.0;        // above every joint angle: no root yet

// Newton refinement of a root of e near q; a step is taken only when it lowers
// the residual, and no step moves the root by more than kPolishStepCap.
double PolishRoot(const TrigEq& e, double q) {
  double f = e.Value(q);
  for (int it = 0; it < kPolishSteps && f != 0.0; ++it) {
    const double d = e.Slope(q);
    if (!(std::fabs(d) > 0.0)) break;
    double dq = f / d;
    if (dq > kPolishStepCap) dq = kPolishStepCap;
    if (dq < -kPolishStepCap) dq = -kPolishStepCap;
    const double q2 = q - dq;
    const double f2 = e.Value(q2);
    if (!(std::fabs(f2) < std::fabs(f))) break;
    q = q2;
    f = f2;
  }
  return q;
}

// |cos q * p + sin q * r + w|^2 = d^2: the tip centre lies at distance d = aFin + aCyl
// from the work axis (through rwM along mw).
TrigEq TipSideEquation(const Model& m, const double rwM[3], const double mw[3]) {
  const double d = m.aFin + m.aCyl, l = m.lFin, k = VecDot(rwM, mw);
  double p[3], r[3], w[3];
  for (int i = 0; i < 3; ++i) {
    p[i] = l * (mw[0] * mw[i] - (i == 0 ? 1.0 : 0.0));
    r[i] = l * (mw[1] * mw[i] - (i == 1 ? 1.0 : 0.0));
  }
  VecAddScaled(rwM, -k, mw, w);
  TrigEq e;
  e.A = VecDot(p, p);
  e.C = VecDot(r, r);
  e.B = VecDot(p, r);
  e.F = VecDot(p, w);
  e.G = VecDot(r, w);
  e.D = VecDot(w, w) - d * d;
  return e;
}

// A kept tangency must meet the surfaces to this accuracy after refinement.
constexpr double kTangencyTol = 1e-7;

// The work's axes in the frame of the last joint, and the candidate cleared to "no
// contact" at the start angle q0.
void BeginCandidate(double q0, const WorkM& w, double xw[3], double yw[3], double mw[3],
                    ContactM& c) {
  MatColumn(w.EwM, 0, xw);
  MatColumn(w.EwM, 1, yw);
  MatColumn(w.EwM, 2, mw);
  c = ContactM();
  c.q = q0;
}

// The point RP2 at L2 along the work axis (through rwM along mw) and its distance from
// RP1, a point of the link's axis: the two bodies touch where it equals aFin + aCyl.
double AxisDistance(const double RP1[3], const double rwM[3], double L2, const double mw[3],
                    double RP2[3]) {
  VecAddScaled(rwM, L2, mw, RP2);
  double dv[3];
  VecSub(RP2, RP1, dv);
  return VecNorm(dv);
}

int SideCode(double L, double len) {
  if (L < 0.0) return -1;
  if (L <= len) return 1;
  return 3;
}

}  // namespace

int FirstRootAbove(const double* q, const bool* kept, int n) {
  double qmin = kNoRoot;
  int best = -1;
  for (int k = 0; k < n; ++k) {
    if (kept[k] && q[k] > -kHalfPiC && q[k] < qmin) {
      qmin = q[k];
      best = k;
    }
  }
  return best;
}

int FinLinkCylinderContactm2(const Model& m, double q0, const WorkM& w, ContactM& c,
                             const double* qStart, Notes* notes) {
  const double* rwM = w.rwM;
  double mw[3], xw[3], yw[3];
  BeginCandidate(q0, w, xw, yw, mw, c);
  const double d = m.aFin + m.aCyl;
  c.prm.Lf = kFar;
  c.prm.Lw = (mw[2] < 0.0) ? -kFar : kFar;
  c.prm.psif = kHalfPiC;
  c.prm.Ltw = m.aCyl;

  // Work axis parallel to the link plane: the link lies along the axis direction.
  if (std::fabs(mw[2]) < kParallelAxis) {
    const double q = std::atan2(mw[1], mw[0]);
    double u[3];
    LinkDir(q, u);
    c.q = q;
    c.prm.Lf = c.prm.Lw = kFar;
    VecScale(kFar, u, c.RCm);
    VecSet(-std::sin(q), std::cos(q), 0.0, c.NWm);
    VecNeg(c.NWm, c.NFm);
    c.solF = c.solW = 3;
    return 0;
  }

  // Angle at which the link would cut the work axis; larger angles touch its back.
  double Pst[3];
  VecAddScaled(rwM, -rwM[2] / mw[2], mw, Pst);
  // The link closes from -pi/2 upwards, so a crossing at an angle below -pi/2 is
  // reached only after pi: measure it on that side.
  double qA = std::atan2(Pst[1], Pst[0]);
  if (qA < -kHalfPiC) qA += k2PiC;

  // (u.Q)^2 = d^2 |u x mw|^2: the distance between the two axes equals d.
  double Q[3];
  VecCross(mw, rwM, Q);
  TrigEq e;
  e.A = Q[0] * Q[0] - d * d * mw[1] * mw[1];
  e.B = Q[0] * Q[1] + d * d * mw[0] * mw[1];
  e.C = Q[1] * Q[1] - d * d * mw[0] * mw[0];
  e.F = e.G = 0.0;
  e.D = -d * d * mw[2] * mw[2];
  double th[5];
  int n = std::min(TRI2(e.A, e.C, e.B, 0.0, 0.0, e.D, th, notes), 4);
  if (n < 0) n = 0;
  if (qStart != nullptr) th[n++] = *qStart;  // a further root, from the given start
  if (n <= 0) return 0;

  struct Root {
    double q, L1, L2, RP1[3], RP2[3];
  };
  Root roots[5];
  double qr[5];
  bool kept[5];
  for (int k = 0; k < n; ++k) {
    Root& r = roots[k];
    r.q = WrapPiC(PolishRoot(e, WrapPiC(th[k])));
    double u[3];
    LinkDir(r.q, u);
    const double R = VecDot(rwM, u), S = VecDot(rwM, mw), U = VecDot(u, mw);
    if (std::fabs(U * U - 1.0) > kParallelLines) {
      r.L1 = (U * S - R) / (U * U - 1.0);
      r.L2 = (S - U * R) / (U * U - 1.0);
    } else {
      r.L1 = r.L2 = kFar;
    }
    VecScale(r.L1, u, r.RP1);
    const double DD = AxisDistance(r.RP1, rwM, r.L2, mw, r.RP2);
    if (std::fabs(r.q) < kLinkZeroAngle) r.q = 0.0;
    qr[k] = r.q;
    kept[k] = r.q >= -kHalfPiC && r.L1 >= 0.0 && r.q <= qA && std::fabs(DD - d) <= kTangencyAbs &&
              std::fabs(DD - d) <= kTangencyTol * d;
  }
  // No kept root, or only roots exactly at -pi/2 (the end of the joint's range).
  const int kb = FirstRootAbove(qr, kept, n);
  if (kb < 0) return 0;
  const Root& best = roots[kb];

  double u[3], dv[3], uxz[3];
  const double ez[3] = {0, 0, 1};
  LinkDir(best.q, u);
  c.q = best.q;
  c.prm.Lf = best.L1;
  c.prm.Lw = best.L2;
  VecSub(best.RP2, best.RP1, dv);
  VecUnit(dv, c.NFm);
  VecNeg(c.NFm, c.NWm);
  VecAddScaled(best.RP1, m.aFin, c.NFm, c.RCm);
  VecCross(u, ez, uxz);
  c.prm.fif = std::atan2(VecDot(c.NFm, uxz), VecDot(c.NFm, ez));
  c.prm.thw = std::atan2(VecDot(c.NWm, yw), VecDot(c.NWm, xw));
  c.solF = SideCode(c.prm.Lf, m.lFin);
  c.solW = SideCode(c.prm.Lw, m.hCyl);
  if (!grasp_detail::ContactFinite(c)) {
    c.solF = c.solW = 0;
    return 0;
  }
  return (c.solF == 1 && c.solW == 1) ? 1 : 0;
}

bool TipSideEquationNotes(const Model& m, const WorkM& w) {
  const double mw[3] = {w.EwM[0][2], w.EwM[1][2], w.EwM[2][2]};
  const TrigEq e = TipSideEquation(m, w.rwM, mw);
  return TRI2NotesSineOnly(e.A, e.C, e.B, e.F, e.G, e.D);
}

int FinTipCylinderContactm2(const Model& m, double q0, const WorkM& work, ContactM& c,
                            const double* qStart, Notes* notes) {
  const double* rwM = work.rwM;
  double mw[3], xw[3], yw[3];
  BeginCandidate(q0, work, xw, yw, mw, c);
  c.prm.Lf = m.lFin;
  c.prm.Lw = kFar;
  c.prm.Ltw = m.aCyl;
  c.solF = c.solW = 3;
  const double d = m.aFin + m.aCyl, l = m.lFin, k = VecDot(rwM, mw);
  const TrigEq e = TipSideEquation(m, rwM, mw);
  double th[5];
  int n = std::min(TRI2(e.A, e.C, e.B, e.F, e.G, e.D, th, notes), 4);
  if (n < 0) n = 0;
  if (qStart != nullptr) th[n++] = *qStart;  // a further root, from the given start
  if (n <= 0) return 0;

  struct Root {
    double q, Lw, RP1[3], RP2[3];
  };
  Root roots[5];
  double qr[5];
  bool kept[5];
  for (int kk = 0; kk < n; ++kk) {
    Root& rt = roots[kk];
    rt.q = WrapPiC(PolishRoot(e, th[kk]));
    double u[3];
    LinkDir(rt.q, u);
    rt.Lw = l * VecDot(u, mw) - k;
    VecScale(l, u, rt.RP1);
    const double DD = AxisDistance(rt.RP1, rwM, rt.Lw, mw, rt.RP2);
    if (std::fabs(rt.q) < kTipZeroAngle) rt.q = 0.0;
    qr[kk] = rt.q;
    kept[kk] = std::fabs(DD - d) <= kTangencyAbs && std::fabs(DD - d) <= kTangencyTol * d;
  }
  const int kb = FirstRootAbove(qr, kept, n);
  if (kb < 0) {
    // no tangency, or only tangencies exactly at -pi/2
    c.solF = c.solW = 0;
    return 0;
  }
  const Root& best = roots[kb];

  double u[3], N[3];
  LinkDir(best.q, u);
  c.q = best.q;
  c.prm.Lw = best.Lw;
  VecSub(best.RP2, best.RP1, N);
  VecScale(1.0 / d, N, N);
  VecAddScaled(best.RP1, m.aFin, N, c.RCm);
  VecCopy(N, c.NFm);
  VecNeg(N, c.NWm);
  c.prm.thw = std::atan2(VecDot(c.NWm, yw), VecDot(c.NWm, xw));
  c.prm.fif = FinNormalAngle(u, c.NFm);
  double cu = VecDot(c.NFm, u);
  if (cu > 1.0) cu = 1.0;
  if (cu < -1.0) cu = -1.0;
  c.prm.psif = std::acos(cu);
  // A contact on the rear half of the tip sphere lies inside the link's cylinder:
  // the link itself would cut into the work there.
  c.solF = grasp_detail::FrontHalf(m, c.prm.psif) ? 2 : -1;
  c.solW = SideCode(c.prm.Lw, m.hCyl);
  if (!grasp_detail::ContactFinite(c)) {
    c.solF = c.solW = 0;
    return 0;
  }
  return (c.solF == 2 && c.solW == 1) ? 1 : 0;
}

}  // namespace rg
