// Finger link and fingertip against a rim circle of the cylinder. Neither has a
// closed form: the joint angle q and the rim angle theta (from xw towards yw) are
// found by a damped Newton iteration with a forward-difference Jacobian and a line
// search along the Newton step. Every loop is bounded.
#include <cmath>

#include "grasp/grasp.h"
#include "grasp/grasp_util.h"
#include "core/catalogue.h"
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

// Rim point, rim tangent of the rim centred at C with axes xw, yw.
void RimPoint(double th, const double C[3], const double xw[3], const double yw[3], double P[3],
              double t[3]) {
  const double c = std::cos(th), s = std::sin(th);
  for (int i = 0; i < 3; ++i) {
    P[i] = C[i] + aCyl * (c * xw[i] + s * yw[i]);
    t[i] = -s * xw[i] + c * yw[i];
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
void RimContactAt(const double pm[2], const double P[3], const double nf[3], double Lf,
                  ContactM& c) {
  double u[3];
  c.q = WrapPiC(pm[0]);
  LinkDir(c.q, u);
  c.prm.thw = WrapPiC(pm[1]);
  c.prm.Lf = Lf;
  c.prm.Ltw = aCyl;
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
void FaceNormal(char sgnUL, const double zw[3], double nd[3]) {
  if (sgnUL == 'U')
    VecCopy(zw, nd);
  else
    VecNeg(zw, nd);
}

}  // namespace

// ---------------------------------------------------------------- link on a rim

int LinkCircleContactErrm2(const double pm[2], const double C[3], const double xw[3],
                           const double yw[3], const double /*zw*/[3], double& L1, double r1[3],
                           double P[3], double nw[3], double Err[2], double& norm) {
  double u[3], t[3], d[3];
  LinkDir(pm[0], u);
  RimPoint(pm[1], C, xw, yw, P, t);
  L1 = VecDot(u, P);
  VecScale(L1, u, r1);  // foot of the perpendicular from P onto the link axis
  VecSub(r1, C, d);
  Err[0] = VecDot(d, t);  // the line from P to the axis is normal to the rim
  VecSub(r1, P, d);
  Err[1] = VecNorm(d) - aFin;  // P lies on the link surface
  VecUnit(d, nw);
  norm = std::fabs(Err[0]) + std::fabs(Err[1]);
  return 1;
}

double LinkCircleContactGradm2(const double pm[2], const double C[3], const double xw[3],
                               const double yw[3], const double zw[3], double J[2][2],
                               double IJB[2][2], Notes* notes) {
  double L1, r1[3], P[3], nw[3], E0[2], E1[2], norm;
  LinkCircleContactErrm2(pm, C, xw, yw, zw, L1, r1, P, nw, E0, norm);
  for (int k = 0; k < 2; ++k) {
    double p2[2] = {pm[0], pm[1]};
    p2[k] += kDelta;
    LinkCircleContactErrm2(p2, C, xw, yw, zw, L1, r1, P, nw, E1, norm);
    for (int i = 0; i < 2; ++i) J[i][k] = (E1[i] - E0[i]) / kDelta;
  }
  return Inverse2(J, IJB, notes);
}

int LinkCircleCNewtonm2(double q0, const double pm0[2], const double C[3], const double xw[3],
                        const double yw[3], const double zw[3], ContactM& c, NewtonCount* cnt, Notes* notes) {
  constexpr double kTol = 1e-6;
  NewtonCount local;
  NewtonCount& n = cnt ? *cnt : local;
  n = NewtonCount();
  c = ContactM();
  c.q = q0;

  // Newton directions from the forward-difference Jacobian, the step limited to 1 rad
  struct Problem {
    const double *C, *xw, *yw, *zw;
    NewtonCount& n;
    Notes* notes;
    bool Direction(const double* pm, double* step) {
      if (n.cntG >= kMaxJacobians) return false;  // the error keeps falling without converging
      double J[2][2], IJB[2][2];
      const double det = LinkCircleContactGradm2(pm, C, xw, yw, zw, J, IJB, notes);
      ++n.cntG;
      n.nErr += 3;
      if (!(std::fabs(det) >= kMinDet)) return false;
      double L1, r1[3], P[3], nw[3], Err[2], norm;
      LinkCircleContactErrm2(pm, C, xw, yw, zw, L1, r1, P, nw, Err, norm);
      step[0] = IJB[0][0] * Err[0] + IJB[0][1] * Err[1];
      step[1] = IJB[1][0] * Err[0] + IJB[1][1] * Err[1];
      const double big = std::fmax(std::fabs(step[0]), std::fabs(step[1]));
      if (!std::isfinite(big)) return false;
      if (big >= 1.0) {
        step[0] /= big;
        step[1] /= big;
      }
      return true;
    }
    double Trial(const double* pm) {
      double L1, r1[3], P[3], nw[3], Err[2], norm;
      LinkCircleContactErrm2(pm, C, xw, yw, zw, L1, r1, P, nw, Err, norm);
      ++n.nErr;
      return norm;
    }
    void Accept() {}
  } problem{C, xw, yw, zw, n, notes};

  double pm1[2] = {pm0[0], pm0[1]};
  double L1, r1[3], P[3], nw[3], Err[2], norm1;
  LinkCircleContactErrm2(pm1, C, xw, yw, zw, L1, r1, P, nw, Err, norm1);
  ++n.nErr;
  const bool converged = SolveRim(problem, pm1, norm1, kTol);
  const bool failed = !converged;

  // results at the last point reached
  LinkCircleContactErrm2(pm1, C, xw, yw, zw, L1, r1, P, nw, Err, norm1);
  double nf[3];
  VecNeg(nw, nf);
  RimContactAt(pm1, P, nf, L1, c);
  c.prm.psif = kHalfPiC;
  if (!converged || failed || !grasp_detail::ContactFinite(c)) {
    c.solF = c.solW = 0;
    return 0;
  }
  c.solW = 2;
  if (L1 < 0.0) {
    c.solF = -1;
    return 0;
  }
  if (L1 > lFin) {
    c.solF = 3;
    return 0;
  }
  c.solF = 1;
  return 1;
}

int LinkCircleContactm2(char sgnUL, double q0, const double C[3], const double xw[3],
                        const double yw[3], const double zw[3], ContactM& c, NewtonCount* cnt, Notes* notes) {
  double out[4];
  char plane;
  // Start at the rim's crossing with the link plane (or, for a rim wholly inside
  // the slab, at its point nearest to that plane).
  CircleZmPlaneCPnt(C, aCyl, xw, yw, zw, out, plane);
  const double pm0[2] = {out[0], out[2]};
  return LinkCircleContactFrom(sgnUL, q0, pm0, C, xw, yw, zw, c, cnt, notes);
}

int LinkCircleContactFrom(char sgnUL, double q0, const double pm0[2], const double C[3],
                          const double xw[3], const double yw[3], const double zw[3],
                          ContactM& c, NewtonCount* cnt, Notes* notes) {
  int sol = LinkCircleCNewtonm2(q0, pm0, C, xw, yw, zw, c, cnt, notes);
  c.prm.psif = kHalfPiC;
  c.prm.Ltw = aCyl;
  if (c.solW == 2) {
    double nd[3];
    FaceNormal(sgnUL, zw, nd);
    c.solW = RimConeCode(c.NWm, c.RCm, C, nd);
    if (c.solW != 2) sol = 0;
  }
  return sol;
}

// ------------------------------------------------------------ fingertip on a rim

double TipCircleContactErrm2(char /*sgnUL*/, const double pm[2], const double C[3],
                             const double EwM[3][3], double T[3], double n[3], double P[3],
                             double nf[3], double t[3], double Err[2]) {
  double xw[3], yw[3], u[3], d[3];
  MatColumn(EwM, 0, xw);
  MatColumn(EwM, 1, yw);
  LinkDir(pm[0], u);
  VecScale(lFin, u, T);
  RimPoint(pm[1], C, xw, yw, P, t);
  VecSub(P, T, d);
  VecUnit(d, n);  // outward normal of the tip sphere towards the rim point
  VecNeg(n, nf);
  Err[0] = VecNorm(d) - aFin;  // the rim point lies on the tip sphere
  Err[1] = VecDot(d, t);       // the tip normal is normal to the rim there
  return std::fabs(Err[0]) + std::fabs(Err[1]);
}

double TipCircleContactGradm2(char sgnUL, const double pm[2], const double C[3],
                              const double EwM[3][3], double J[2][2], double IJB[2][2],
                              double dpm[2], double& dpmmax, Notes* notes) {
  double T[3], n[3], P[3], nf[3], t[3], E0[2], E1[2];
  TipCircleContactErrm2(sgnUL, pm, C, EwM, T, n, P, nf, t, E0);
  for (int k = 0; k < 2; ++k) {
    double p2[2] = {pm[0], pm[1]};
    p2[k] += kDelta;
    TipCircleContactErrm2(sgnUL, p2, C, EwM, T, n, P, nf, t, E1);
    for (int i = 0; i < 2; ++i) J[i][k] = (E1[i] - E0[i]) / kDelta;
  }
  const double det = Inverse2(J, IJB, notes);
  dpm[0] = IJB[0][0] * E0[0] + IJB[0][1] * E0[1];
  dpm[1] = IJB[1][0] * E0[0] + IJB[1][1] * E0[1];
  dpmmax = std::fmax(std::fabs(dpm[0]), std::fabs(dpm[1]));
  return det;
}

int FinTipCircleNewtonm2(char sgnUL, const double pm0[2], const double C[3],
                         const double EwM[3][3], ContactM& c, double t[3], double pm[2],
                         NewtonCount* cnt, Notes* notes) {
  constexpr double kTol = 1e-7;
  constexpr double kStepCap = 0.1;
  NewtonCount local;
  NewtonCount& nc = cnt ? *cnt : local;
  nc = NewtonCount();
  c = ContactM();

  double pm1[2] = {pm0[0] + 0.1, pm0[1] + 0.1};
  double T[3], n[3], P[3], nf[3], Err[2];
  double norm1 = TipCircleContactErrm2(sgnUL, pm1, C, EwM, T, n, P, nf, t, Err);
  ++nc.nErr;
  // Newton directions from the forward-difference Jacobian, the step limited to 0.1
  // rad; a determinant that is too small or changes sign ends the iteration
  struct Problem {
    char sgnUL;
    const double* C;
    const double (*EwM)[3];
    NewtonCount& nc;
    Notes* notes;
    double det1 = 0.0;
    int cntG = 1;
    bool Direction(const double* pm, double* step) {
      double J[2][2], IJB[2][2], dpm[2], dpmmax;
      const double det = TipCircleContactGradm2(sgnUL, pm, C, EwM, J, IJB, dpm, dpmmax, notes);
      ++nc.cntG;
      nc.nErr += 3;
      if (cntG == 1) det1 = det;
      if (!(std::fabs(det) >= kMinDet) || det * det1 < 0.0) return false;  // singular, or turned over
      if (++cntG >= kMaxJacobians || !(dpmmax > 0.0) || !std::isfinite(dpmmax)) return false;
      const double h = std::fmin(kStepCap, dpmmax);
      step[0] = h * dpm[0] / dpmmax;
      step[1] = h * dpm[1] / dpmmax;
      return true;
    }
    double Trial(const double* pm) {
      double T[3], n[3], P[3], nf[3], t[3], Err[2];
      ++nc.nErr;
      return TipCircleContactErrm2(sgnUL, pm, C, EwM, T, n, P, nf, t, Err);
    }
    void Accept() {}
  } problem{sgnUL, C, EwM, nc, notes};
  const bool converged = SolveRim(problem, pm1, norm1, kTol);
  const bool failed = !converged;

  TipCircleContactErrm2(sgnUL, pm1, C, EwM, T, n, P, nf, t, Err);
  pm[0] = pm1[0];
  pm[1] = pm1[1];
  RimContactAt(pm1, P, n, lFin, c);
  double u[3];
  LinkDir(c.q, u);
  c.prm.psif = TipNormalAngle(u, c.NFm, c.prm.fif);
  if (!converged || failed || !grasp_detail::ContactFinite(c)) {
    c.solF = c.solW = 0;
    return 0;
  }
  c.solW = 2;
  if (grasp_detail::FrontHalf(c.prm.psif)) {
    c.solF = 2;
    return 1;
  }
  c.solF = -1;  // the rim touches the rear half of the tip sphere
  return 0;
}

int TipCircleContactm2(char sgnUL, const double pm0[2], const double C[3], const double EwM[3][3],
                       ContactM& c, double pm[2], NewtonCount* cnt, Notes* notes) {
  double t[3];
  int sol = FinTipCircleNewtonm2(sgnUL, pm0, C, EwM, c, t, pm, cnt, notes);
  c.prm.Lf = lFin;
  c.prm.Ltw = aCyl;

  // End-disk test, whatever the iteration gave: a tip centre over the disk and
  // nearer to the face plane than aFin reaches into the end disk.
  double xw[3], yw[3], zw[3], nd[3], u[3], T[3], dT[3], Tp[3], dp[3];
  MatColumn(EwM, 0, xw);
  MatColumn(EwM, 1, yw);
  MatColumn(EwM, 2, zw);
  FaceNormal(sgnUL, zw, nd);
  LinkDir(c.q, u);
  VecScale(lFin, u, T);
  VecSub(T, C, dT);
  const double dist = VecDot(dT, nd);
  for (int i = 0; i < 3; ++i) Tp[i] = C[i] + VecDot(dT, xw) * xw[i] + VecDot(dT, yw) * yw[i];
  VecSub(Tp, C, dp);
  if (VecNorm(dp) < aCyl && dist < aFin) {
    c.solW = 4;
    sol = 0;
  }
  // The tip normal must also point out of the end face; otherwise the tip touches
  // the rim from below the face plane and cuts into the side surface.
  if (sol == 1) {
    c.solW = RimConeCode(c.NWm, c.RCm, C, nd);
    if (c.solW != 2) sol = 0;
  }
  return sol;
}

}  // namespace rg
