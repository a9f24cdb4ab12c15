// Finger link and fingertip against a rim circle of the cylinder. Neither has a
// closed form: the joint angle q and the rim angle theta (from xw towards yw) are
// found by a damped Newton iteration with a forward-difference Jacobian and a line
// search along the Newton step. Every loop is bounded.
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

constexpr double kDelta = 1e-8;     // forward-difference step of the Jacobians
constexpr double kMinDet = 0.01;    // smaller Jacobian determinants count as singular
constexpr int kMaxJacobians = 100;  // Jacobian evaluations per iteration
constexpr int kMaxReductions = 5;   // step divisions by 10 per line search
constexpr int kMaxRepeats = 200;    // accepted repeats of one step per line search
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

double Inverse2(const double J[2][2], double IJB[2][2], Notes* notes) {
  double A[2][2] = {{J[0][0], J[0][1]}, {J[1][0], J[1][1]}};
  const double det = MatInverse(2, &A[0][0], 2, notes);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) IJB[i][j] = A[i][j];
  return det;
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

// The damped Newton iteration on (q, theta) from a start with a finite error norm;
// true when it converges.
template <class Problem>
bool SolveRim(Problem& p, double pm[2], double& norm, double tol) {
  NewtonLimits lim;
  lim.tol = tol;
  lim.maxReductions = kMaxReductions;
  lim.maxRepeats = kMaxRepeats;
  return std::isfinite(norm) && DampedNewton<2>(p, pm, norm, lim) == NewtonEnd::Converged;
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

double LinkCircleContactGradm2(const Model& m, const RimM& rim, const double pm[2], double J[2][2],
                               double IJB[2][2], Notes* notes) {
  const LinkRimResidual r0 = LinkCircleContactErrm2(m, rim, pm);
  for (int k = 0; k < 2; ++k) {
    double p2[2] = {pm[0], pm[1]};
    p2[k] += kDelta;
    const LinkRimResidual r1 = LinkCircleContactErrm2(m, rim, p2);
    for (int i = 0; i < 2; ++i) J[i][k] = (r1.Err[i] - r0.Err[i]) / kDelta;
  }
  return Inverse2(J, IJB, notes);
}

int LinkCircleCNewtonm2(const Model& m, const RimM& rim, const double pm0[2], ContactM& c,
                        NewtonCount* cnt, Notes* notes) {
  NewtonCount local;
  NewtonCount& n = cnt ? *cnt : local;
  n = NewtonCount();
  c = ContactM();

  // Newton directions from the forward-difference Jacobian, the step limited to kLinkStepCap
  struct Problem {
    const Model& m;
    const RimM& rim;
    NewtonCount& n;
    Notes* notes;
    bool Direction(const double* pm, double* step) {
      if (n.cntG >= kMaxJacobians) return false;  // the error keeps falling without converging
      double J[2][2], IJB[2][2];
      const double det = LinkCircleContactGradm2(m, rim, pm, J, IJB, notes);
      ++n.cntG;
      n.nErr += 3;
      if (!(std::fabs(det) >= kMinDet)) return false;
      const LinkRimResidual r = LinkCircleContactErrm2(m, rim, pm);
      step[0] = IJB[0][0] * r.Err[0] + IJB[0][1] * r.Err[1];
      step[1] = IJB[1][0] * r.Err[0] + IJB[1][1] * r.Err[1];
      const double big = std::fmax(std::fabs(step[0]), std::fabs(step[1]));
      if (!std::isfinite(big)) return false;
      if (big >= kLinkStepCap) {
        step[0] /= big;
        step[1] /= big;
      }
      return true;
    }
    double Trial(const double* pm) {
      ++n.nErr;
      return LinkCircleContactErrm2(m, rim, pm).norm;
    }
    void Accept() {}
  } problem{m, rim, n, notes};

  double pm1[2] = {pm0[0], pm0[1]};
  double norm1 = LinkCircleContactErrm2(m, rim, pm1).norm;
  ++n.nErr;
  const bool converged = SolveRim(problem, pm1, norm1, kLinkTol);

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
  TipRimResidual r0, r1;
  TipCircleContactErrm2(m, rim, pm, r0);
  for (int k = 0; k < 2; ++k) {
    double p2[2] = {pm[0], pm[1]};
    p2[k] += kDelta;
    TipCircleContactErrm2(m, rim, p2, r1);
    for (int i = 0; i < 2; ++i) st.J[i][k] = (r1.Err[i] - r0.Err[i]) / kDelta;
  }
  const double det = Inverse2(st.J, st.IJB, notes);
  st.dpm[0] = st.IJB[0][0] * r0.Err[0] + st.IJB[0][1] * r0.Err[1];
  st.dpm[1] = st.IJB[1][0] * r0.Err[0] + st.IJB[1][1] * r0.Err[1];
  st.dpmmax = std::fmax(std::fabs(st.dpm[0]), std::fabs(st.dpm[1]));
  return det;
}

int FinTipCircleNewtonm2(const Model& m, const RimM& rim, const double pm0[2], ContactM& c,
                         NewtonCount* cnt, Notes* notes) {
  NewtonCount local;
  NewtonCount& nc = cnt ? *cnt : local;
  nc = NewtonCount();
  c = ContactM();

  double pm1[2] = {pm0[0] + kTipStartOffset, pm0[1] + kTipStartOffset};
  TipRimResidual r;
  double norm1 = TipCircleContactErrm2(m, rim, pm1, r);
  ++nc.nErr;
  // Newton directions from the forward-difference Jacobian, the step limited to
  // kTipStepCap; a determinant that is too small or changes sign ends the iteration
  struct Problem {
    const Model& m;
    const RimM& rim;
    NewtonCount& nc;
    Notes* notes;
    double det1 = 0.0;
    int cntG = 1;
    bool Direction(const double* pm, double* step) {
      RimNewtonStep st;
      const double det = TipCircleContactGradm2(m, rim, pm, st, notes);
      ++nc.cntG;
      nc.nErr += 3;
      if (cntG == 1) det1 = det;
      if (!(std::fabs(det) >= kMinDet) || det * det1 < 0.0) return false;  // singular, or turned over
      if (++cntG >= kMaxJacobians || !(st.dpmmax > 0.0) || !std::isfinite(st.dpmmax)) return false;
      const double h = std::fmin(kTipStepCap, st.dpmmax);
      step[0] = h * st.dpm[0] / st.dpmmax;
      step[1] = h * st.dpm[1] / st.dpmmax;
      return true;
    }
    double Trial(const double* pm) {
      TipRimResidual tr;
      ++nc.nErr;
      return TipCircleContactErrm2(m, rim, pm, tr);
    }
    void Accept() {}
  } problem{m, rim, nc, notes};
  const bool converged = SolveRim(problem, pm1, norm1, kTipTol);

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
