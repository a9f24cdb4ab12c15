// Finger link and fingertip against a rim circle of the cylinder. Neither has a
// closed form: the joint angle q and the rim angle theta (from xw towards yw) are
// found by a damped Newton iteration with the equations' analytic Jacobian and a line
// search along each Newton step. Once the error is below the acceptance level, Newton
// steps go on until it stops falling, so that the contact is the root of its equations
// to rounding, whatever path led to it. Every loop is bounded.
#include <cmath>

#include "core/model.h"
#include "grasp/grasp.h"
#include "grasp/grasp_util.h"
#include "numerics/newton.h"
#include "numerics/vecmat.h"

namespace rg {
namespace {

using grasp_detail::FinNormalAngle;
using grasp_detail::LinkDir;
using grasp_detail::RimConeCode;
using grasp_detail::TipNormalAngle;

constexpr double kMinDet = 0.01;    // smaller Jacobian determinants count as singular
constexpr int kMaxJacobians = 100;  // Jacobian evaluations per iteration
constexpr int kMaxReductions = 5;   // step divisions by 10 per line search
// accepted repeats of one step per line search: the link takes a fresh direction
// after each (its Jacobian costs no more than an error), the tip repeats its capped
// step as long as it helps
constexpr int kLinkRepeats = 200;
constexpr int kTipRepeats = 200;
constexpr int kPolishSteps = 8;  // Newton steps at most after the acceptance level
constexpr double kLinkTol = 1e-6;   // link on a rim: converged when |Err0| + |Err1| is below
constexpr double kLinkStepCap = 1.0;     // link on a rim: largest Newton step component (rad)
constexpr double kTipTol = 1e-7;         // tip on a rim: converged when |Err0| + |Err1| is below
constexpr double kTipStepCap = 0.1;      // tip on a rim: largest Newton step component (rad)
constexpr double kTipStartOffset = 0.1;  // tip on a rim: the start is pm0 + this in q and theta

// Rim point, rim tangent of the rim at angle th.
void RimPoint(const Model& m, double th, const RimM& rim, double P[3], double t[3]) {
  const double c = std::cos(th), s = std::sin(th);
  for (int i = 0; i < 3; ++i) {
    P[i] = rim.C[i] + m.aCyl * (c * rim.xw[i] + s * rim.yw[i]);
    t[i] = -s * rim.xw[i] + c * rim.yw[i];
  }
}

// The inverse of a 2 x 2 Jacobian and its determinant. A determinant below kMinDet
// ends the iteration; there the general inversion is run for what it notes about a
// singular matrix.
double Inverse2(const double J[2][2], double IJB[2][2], Notes* notes) {
  const double det = J[0][0] * J[1][1] - J[0][1] * J[1][0];
  if (!(std::fabs(det) >= kMinDet)) {
    double A[2][2] = {{J[0][0], J[0][1]}, {J[1][0], J[1][1]}};
    MatInverse(2, &A[0][0], 2, notes);
    IJB[0][0] = IJB[0][1] = IJB[1][0] = IJB[1][1] = 0.0;
    return det;
  }
  IJB[0][0] = J[1][1] / det;
  IJB[0][1] = -J[0][1] / det;
  IJB[1][0] = -J[1][0] / det;
  IJB[1][1] = J[0][0] / det;
  return det;
}

// The sines and cosines of a point (q, theta).
struct RimTrig {
  double cq = 1.0, sq = 0.0, ct = 1.0, st = 0.0;
};
RimTrig TrigAt(const double pm[2]) {
  return {std::cos(pm[0]), std::sin(pm[0]), std::cos(pm[1]), std::sin(pm[1])};
}

// sin h and cos h by their series, to rounding for |h| <= kSeriesAngle (the first
// term left out is below 1e-20 of the sum)
constexpr double kSeriesAngle = 0.125;
inline void SeriesSinCos(double h, double& s, double& c) {
  const double h2 = h * h;
  constexpr double s3 = -1.0 / 6, s5 = 1.0 / 120, s7 = -1.0 / 5040, s9 = 1.0 / 362880,
                   s11 = -1.0 / 39916800;
  constexpr double c2 = -0.5, c4 = 1.0 / 24, c6 = -1.0 / 720, c8 = 1.0 / 40320, c10 = -1.0 / 3628800,
                   c12 = 1.0 / 479001600;
  s = h * (1.0 + h2 * (s3 + h2 * (s5 + h2 * (s7 + h2 * (s9 + h2 * s11)))));
  c = 1.0 + h2 * (c2 + h2 * (c4 + h2 * (c6 + h2 * (c8 + h2 * (c10 + h2 * c12)))));
}

// The trig of the point to, from that of the nearby point from (to = from - h): a
// short step turns the known angles by the series' angle, a long one takes them afresh.
RimTrig TrigNear(const RimTrig& at, const double from[2], const double to[2]) {
  const double hq = from[0] - to[0], ht = from[1] - to[1];
  if (!(std::fabs(hq) <= kSeriesAngle && std::fabs(ht) <= kSeriesAngle)) return TrigAt(to);
  double sh, ch, sk, ck;
  SeriesSinCos(hq, sh, ch);
  SeriesSinCos(ht, sk, ck);
  return {at.cq * ch + at.sq * sh, at.sq * ch - at.cq * sh, at.ct * ck + at.st * sk,
          at.st * ck - at.ct * sk};
}

// An error vector with its Jacobian in (q, theta), as the iteration keeps them, and
// the point's trig.
struct RimEval {
  double Err[2] = {};
  double J[2][2] = {};
  double norm = 0.0;
  RimTrig trig;
};

// The damped Newton iteration on (q, theta), started at pm whose evaluation is ev:
// directions from the analytic Jacobian of the last accepted point, each step scaled
// so that no component exceeds cap; true when the error norm falls below tol. The
// problem's Eval(trig, ev, withJ) evaluates the error (and its Jacobian) from the
// point's trig, and Usable(det) says whether a direction's determinant may be used.
// A trial takes its trig from the current point's by a short turn, and its Jacobian
// only when accepted.
template <class P>
bool RimNewton(P& prob, double pm[2], RimEval& ev, double tol, double cap, int repeats,
               NewtonCount& n, Notes* notes) {
  struct Problem {
    P& prob;
    RimEval &cur, trial;
    double at[2];  // the current point
    double cap;
    NewtonCount& n;
    Notes* notes;
    bool Direction(const double*, double* step) {
      if (n.cntG >= kMaxJacobians) return false;  // the error keeps falling without converging
      ++n.cntG;
      double IJB[2][2];
      const double det = Inverse2(cur.J, IJB, notes);
      if (!prob.Usable(det)) return false;
      step[0] = IJB[0][0] * cur.Err[0] + IJB[0][1] * cur.Err[1];
      step[1] = IJB[1][0] * cur.Err[0] + IJB[1][1] * cur.Err[1];
      const double big = std::fmax(std::fabs(step[0]), std::fabs(step[1]));
      if (!std::isfinite(big) || !(big > 0.0)) return false;
      if (big > cap) {
        step[0] *= cap / big;
        step[1] *= cap / big;
      }
      return true;
    }
    double Trial(const double* pm) {
      ++n.nErr;
      trial.trig = TrigNear(cur.trig, at, pm);
      prob.Eval(trial, false);
      to[0] = pm[0];
      to[1] = pm[1];
      return trial.norm;
    }
    void Accept() {
      cur = trial;
      prob.Eval(cur, true);
      at[0] = to[0];
      at[1] = to[1];
    }
    double to[2] = {0.0, 0.0};  // the last trial point
  } problem{prob, ev, RimEval(), {pm[0], pm[1]}, cap, n, notes};
  NewtonLimits lim;
  lim.tol = tol;
  lim.maxReductions = kMaxReductions;
  lim.maxRepeats = repeats;
  double norm = ev.norm;
  if (!std::isfinite(norm)) return false;
  return DampedNewton<2>(problem, pm, norm, lim) == NewtonEnd::Converged;
}

// Newton steps from a converged pm while they lower the error norm: the root to the
// rounding of the equations.
template <class P>
void PolishRim(P& prob, double pm[2], RimEval& ev, NewtonCount& n) {
  for (int it = 0; it < kPolishSteps && ev.norm > 0.0; ++it) {
    const double det = ev.J[0][0] * ev.J[1][1] - ev.J[0][1] * ev.J[1][0];
    if (!(std::fabs(det) > 0.0)) return;
    const double d0 = (ev.J[1][1] * ev.Err[0] - ev.J[0][1] * ev.Err[1]) / det;
    const double d1 = (ev.J[0][0] * ev.Err[1] - ev.J[1][0] * ev.Err[0]) / det;
    const double p2[2] = {pm[0] - d0, pm[1] - d1};
    RimEval e2;
    e2.trig = TrigAt(p2);
    ++n.nErr;
    prob.Eval(e2, true);
    if (!(e2.norm < ev.norm)) return;
    pm[0] = p2[0];
    pm[1] = p2[1];
    ev = e2;
  }
}

// A rim contact at (q, theta) = pm: rim point P, finger normal nf (towards the work),
// position Lf along the link.
void RimContactAt(const Model& m, const double pm[2], const double P[3], const double nf[3],
                  double Lf, ContactM& c) {
  double u[3];
  c.q = WrapPiC(pm[0]);
  LinkDir(c.q, u);
  c.prm.thw = WrapPiC(pm[1]);
  c.prm.Lf = Lf;
  c.prm.Ltw = m.aCyl;
  VecCopy(P, c.RCm);
  VecCopy(nf, c.NFm);
  VecNeg(nf, c.NWm);
  c.prm.fif = FinNormalAngle(u, c.NFm);
}

// Outward normal of the end face that holds the rim: zw for the upper, -zw for the lower.
void FaceNormal(const RimM& rim, double nd[3]) {
  if (rim.sgnUL == 'U')
    VecCopy(rim.zw, nd);
  else
    VecNeg(rim.zw, nd);
}

}  // namespace

RimM RimOf(const Model& m, const WorkM& w, char sgnUL) {
  RimM rim;
  rim.sgnUL = sgnUL;
  MatColumn(w.EwM, 0, rim.xw);
  MatColumn(w.EwM, 1, rim.yw);
  MatColumn(w.EwM, 2, rim.zw);
  if (sgnUL == 'U')
    VecAddScaled(w.rwM, m.hCyl, rim.zw, rim.C);
  else
    VecCopy(w.rwM, rim.C);
  return rim;
}

// ---------------------------------------------------------------- link on a rim

LinkRimResidual LinkCircleContactErrm2(const Model& m, const RimM& rim, const double pm[2]) {
  LinkRimResidual r;
  double u[3], t[3], d[3];
  LinkDir(pm[0], u);
  RimPoint(m, pm[1], rim, r.P, t);
  r.L1 = VecDot(u, r.P);
  VecScale(r.L1, u, r.r1);  // foot of the perpendicular from P onto the link axis
  VecSub(r.r1, rim.C, d);
  r.Err[0] = VecDot(d, t);  // the line from P to the axis is normal to the rim
  VecSub(r.r1, r.P, d);
  r.Err[1] = VecNorm(d) - m.aFin;  // P lies on the link surface
  VecUnit(d, r.nw);
  r.norm = std::fabs(r.Err[0]) + std::fabs(r.Err[1]);
  return r;
}

namespace {

// The link-rim error at pm and its Jacobian in (q, theta). With u the link direction,
// u' = du/dq, P the rim point, t the rim tangent (dP/dtheta = aCyl t, dt/dtheta =
// -(P - C)/aCyl) and the foot r1 = (u.P) u:
//   d r1/dq = (u'.P) u + (u.P) u',   d r1/dtheta = aCyl (u.t) u,
//   Err0 = (r1 - C).t,  Err1 = |r1 - P| - aFin.
void LinkRimEval(const Model& m, const RimM& rim, RimEval& ev, bool withJ) {
  const double cq = ev.trig.cq, sq = ev.trig.sq, ct = ev.trig.ct, st = ev.trig.st;
  const double R = m.aCyl;
  double ri[3], P[3], t[3];
  for (int i = 0; i < 3; ++i) {
    ri[i] = ct * rim.xw[i] + st * rim.yw[i];  // (P - C) / aCyl
    P[i] = rim.C[i] + R * ri[i];
    t[i] = -st * rim.xw[i] + ct * rim.yw[i];
  }
  // the foot r1 = L1 u on the link axis (u = (cq, sq, 0)), and d = r1 - P
  const double L1 = cq * P[0] + sq * P[1];
  const double r1C[3] = {L1 * cq - rim.C[0], L1 * sq - rim.C[1], -rim.C[2]};
  const double d[3] = {L1 * cq - P[0], L1 * sq - P[1], -P[2]};
  const double dn = VecNorm(d);
  ev.Err[0] = VecDot(r1C, t);
  ev.Err[1] = dn - m.aFin;
  ev.norm = std::fabs(ev.Err[0]) + std::fabs(ev.Err[1]);
  if (!withJ) return;
  const double dLq = -sq * P[0] + cq * P[1], ut = cq * t[0] + sq * t[1];
  const double drq[3] = {dLq * cq - L1 * sq, dLq * sq + L1 * cq, 0.0};
  const double drt[3] = {R * ut * cq, R * ut * sq, 0.0};
  ev.J[0][0] = VecDot(drq, t);
  ev.J[0][1] = VecDot(drt, t) - VecDot(r1C, ri);
  ev.J[1][0] = VecDot(d, drq) / dn;
  ev.J[1][1] = (VecDot(d, drt) - R * VecDot(d, t)) / dn;
}

// The tip-rim error at pm and its Jacobian in (q, theta): with the tip centre
// T = lFin u, dT/dq = lFin u', and d = P - T,
//   Err0 = |d| - aFin,  Err1 = d.t.
void TipRimEval(const Model& m, const RimM& rim, RimEval& ev, bool withJ) {
  const double cq = ev.trig.cq, sq = ev.trig.sq, ct = ev.trig.ct, st = ev.trig.st;
  const double R = m.aCyl, l = m.lFin;
  double ri[3], d[3], t[3];
  const double T[3] = {l * cq, l * sq, 0.0};
  for (int i = 0; i < 3; ++i) {
    ri[i] = ct * rim.xw[i] + st * rim.yw[i];
    d[i] = rim.C[i] + R * ri[i] - T[i];
    t[i] = -st * rim.xw[i] + ct * rim.yw[i];
  }
  const double dn = VecNorm(d);
  ev.Err[0] = dn - m.aFin;
  ev.Err[1] = VecDot(d, t);
  ev.norm = std::fabs(ev.Err[0]) + std::fabs(ev.Err[1]);
  if (!withJ) return;
  const double dT[3] = {-l * sq, l * cq, 0.0};
  ev.J[0][0] = -VecDot(d, dT) / dn;
  ev.J[0][1] = R * VecDot(d, t) / dn;
  ev.J[1][0] = -VecDot(dT, t);
  ev.J[1][1] = R - VecDot(d, ri);
}

}  // namespace

double LinkCircleContactGradm2(const Model& m, const RimM& rim, const double pm[2], double J[2][2],
                               double IJB[2][2], Notes* notes) {
  RimEval ev;
  ev.trig = TrigAt(pm);
  LinkRimEval(m, rim, ev, true);
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < 2; ++k) J[i][k] = ev.J[i][k];
  return Inverse2(J, IJB, notes);
}

int LinkCircleCNewtonm2(const Model& m, const RimM& rim, const double pm0[2], ContactM& c,
                        NewtonCount* cnt, Notes* notes) {
  NewtonCount local;
  NewtonCount& n = cnt ? *cnt : local;
  n = NewtonCount();
  c = ContactM();

  // the error of the link on the rim; any nonsingular direction may be used
  struct Link {
    const Model& m;
    const RimM& rim;
    void Eval(RimEval& ev, bool withJ) const { LinkRimEval(m, rim, ev, withJ); }
    bool Usable(double det) const { return std::fabs(det) >= kMinDet; }
  } prob{m, rim};

  double pm1[2] = {pm0[0], pm0[1]};
  RimEval ev;
  ev.trig = TrigAt(pm1);
  prob.Eval(ev, true);
  ++n.nErr;
  const bool converged = RimNewton(prob, pm1, ev, kLinkTol, kLinkStepCap, kLinkRepeats, n, notes);
  if (converged) PolishRim(prob, pm1, ev, n);

  // results at the last point reached
  const LinkRimResidual r = LinkCircleContactErrm2(m, rim, pm1);
  double nf[3];
  VecNeg(r.nw, nf);
  RimContactAt(m, pm1, r.P, nf, r.L1, c);
  c.prm.psif = kHalfPiC;
  if (!converged || !grasp_detail::ContactFinite(c)) {
    c.solF = c.solW = 0;
    return 0;
  }
  c.solW = 2;
  if (r.L1 < 0.0) {
    c.solF = -1;
    return 0;
  }
  if (r.L1 > m.lFin) {
    c.solF = 3;
    return 0;
  }
  c.solF = 1;
  return 1;
}

int LinkCircleContactm2(const Model& m, const RimM& rim, ContactM& c, NewtonCount* cnt,
                        Notes* notes) {
  double out[4];
  char plane;
  // Start at the rim's crossing with the link plane (or, for a rim wholly inside
  // the slab, at its point nearest to that plane).
  CircleZmPlaneCPnt(m, rim, out, plane);
  const double pm0[2] = {out[0], out[2]};
  return LinkCircleContactFrom(m, rim, pm0, c, cnt, notes);
}

int LinkCircleContactFrom(const Model& m, const RimM& rim, const double pm0[2], ContactM& c,
                          NewtonCount* cnt, Notes* notes) {
  int sol = LinkCircleCNewtonm2(m, rim, pm0, c, cnt, notes);
  c.prm.psif = kHalfPiC;
  c.prm.Ltw = m.aCyl;
  if (c.solW == 2) {
    double nd[3];
    FaceNormal(rim, nd);
    c.solW = RimConeCode(m, c.NWm, c.RCm, rim.C, nd);
    if (c.solW != 2) sol = 0;
  }
  return sol;
}

// ------------------------------------------------------------ fingertip on a rim

double TipCircleContactErrm2(const Model& m, const RimM& rim, const double pm[2],
                             TipRimResidual& r) {
  double u[3], d[3];
  LinkDir(pm[0], u);
  VecScale(m.lFin, u, r.T);
  RimPoint(m, pm[1], rim, r.P, r.t);
  VecSub(r.P, r.T, d);
  VecUnit(d, r.n);  // outward normal of the tip sphere towards the rim point
  VecNeg(r.n, r.nf);
  r.Err[0] = VecNorm(d) - m.aFin;  // the rim point lies on the tip sphere
  r.Err[1] = VecDot(d, r.t);       // the tip normal is normal to the rim there
  return std::fabs(r.Err[0]) + std::fabs(r.Err[1]);
}

double TipCircleContactGradm2(const Model& m, const RimM& rim, const double pm[2],
                              RimNewtonStep& st, Notes* notes) {
  RimEval ev;
  ev.trig = TrigAt(pm);
  TipRimEval(m, rim, ev, true);
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < 2; ++k) st.J[i][k] = ev.J[i][k];
  const double det = Inverse2(st.J, st.IJB, notes);
  st.dpm[0] = st.IJB[0][0] * ev.Err[0] + st.IJB[0][1] * ev.Err[1];
  st.dpm[1] = st.IJB[1][0] * ev.Err[0] + st.IJB[1][1] * ev.Err[1];
  st.dpmmax = std::fmax(std::fabs(st.dpm[0]), std::fabs(st.dpm[1]));
  return det;
}

int FinTipCircleNewtonm2(const Model& m, const RimM& rim, const double pm0[2], ContactM& c,
                         NewtonCount* cnt, Notes* notes) {
  NewtonCount local;
  NewtonCount& nc = cnt ? *cnt : local;
  nc = NewtonCount();
  c = ContactM();

  // the error of the tip on the rim; a determinant that is too small or has changed
  // sign since the first direction ends the iteration
  struct Tip {
    const Model& m;
    const RimM& rim;
    double det1 = 0.0;
    bool first = true;
    void Eval(RimEval& ev, bool withJ) const { TipRimEval(m, rim, ev, withJ); }
    bool Usable(double det) {
      if (first) det1 = det;
      first = false;
      return std::fabs(det) >= kMinDet && !(det * det1 < 0.0);
    }
  } prob{m, rim};

  double pm1[2] = {pm0[0] + kTipStartOffset, pm0[1] + kTipStartOffset};
  RimEval ev;
  ev.trig = TrigAt(pm1);
  prob.Eval(ev, true);
  ++nc.nErr;
  const bool converged = RimNewton(prob, pm1, ev, kTipTol, kTipStepCap, kTipRepeats, nc, notes);
  if (converged) PolishRim(prob, pm1, ev, nc);

  TipRimResidual r;
  TipCircleContactErrm2(m, rim, pm1, r);
  RimContactAt(m, pm1, r.P, r.n, m.lFin, c);
  double u[3];
  LinkDir(c.q, u);
  c.prm.psif = TipNormalAngle(u, c.NFm, c.prm.fif);
  if (!converged || !grasp_detail::ContactFinite(c)) {
    c.solF = c.solW = 0;
    return 0;
  }
  c.solW = 2;
  if (grasp_detail::FrontHalf(m, c.prm.psif)) {
    c.solF = 2;
    return 1;
  }
  c.solF = -1;  // the rim touches the rear half of the tip sphere
  return 0;
}

int TipCircleContactm2(const Model& m, const RimM& rim, const double pm0[2], ContactM& c,
                       NewtonCount* cnt, Notes* notes) {
  int sol = FinTipCircleNewtonm2(m, rim, pm0, c, cnt, notes);
  c.prm.Lf = m.lFin;
  c.prm.Ltw = m.aCyl;

  // End-disk test, whatever the iteration gave: a tip centre over the disk and
  // nearer to the face plane than aFin reaches into the end disk.
  const double* C = rim.C;
  double nd[3], u[3], T[3], dT[3], Tp[3], dp[3];
  FaceNormal(rim, nd);
  LinkDir(c.q, u);
  VecScale(m.lFin, u, T);
  VecSub(T, C, dT);
  const double dist = VecDot(dT, nd);
  for (int i = 0; i < 3; ++i)
    Tp[i] = C[i] + VecDot(dT, rim.xw) * rim.xw[i] + VecDot(dT, rim.yw) * rim.yw[i];
  VecSub(Tp, C, dp);
  if (VecNorm(dp) < m.aCyl && dist < m.aFin) {
    c.solW = 4;
    sol = 0;
  }
  // The tip normal must also point out of the end face; otherwise the tip touches
  // the rim from below the face plane and cuts into the side surface.
  if (sol == 1) {
    c.solW = RimConeCode(m, c.NWm, c.RCm, C, nd);
    if (c.solW != 2) sol = 0;
  }
  return sol;
}

}  // namespace rg
