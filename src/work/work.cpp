#include "work/work.h"

#include <cmath>

#include "core/keys.h"
#include "numerics/vecmat.h"

namespace rg {

void WorkOrien1(double al, double bet, double gam, const double E0[3][3], double Ef[3][3]) {
  double R[3][3], T[3][3];
  Cx(al, R);
  MatMul(E0, R, T);
  Cy(bet, R);
  MatMul(T, R, T);
  Cz(gam, R);
  MatMul(T, R, Ef);
}

void WorkOrienAngles(const double E[3][3], double ang[3]) {
  // E = Cx(al) Cy(bet) Cz(gam): its last column is (sin bet, -sin al cos bet,
  // cos al cos bet) and its first row (cos bet cos gam, -cos bet sin gam, sin bet)
  const double cb = std::hypot(E[0][0], E[0][1]);
  ang[1] = std::atan2(E[0][2], cb);
  if (cb > 1e-12) {
    ang[0] = std::atan2(-E[1][2], E[2][2]);
    ang[2] = std::atan2(-E[0][1], E[0][0]);
  } else {
    // bet = +-pi/2: the x and z turns act about one axis; all of it goes to al
    ang[0] = std::atan2(E[2][1], E[1][1]);
    ang[2] = 0.0;
  }
}

WorkPose DefaultWorkPose(char work) {
  WorkPose p;
  double I[3][3];
  MatIdentity(I);
  if (work == '1') {
    VecCopy(kSphereHome, p.r);
    MatCopy(I, p.E);
  } else {
    VecCopy(kCylinderHome, p.r);
    WorkOrien1(kCylinderHomeTurn, 0.0, 0.0, I, p.E);
  }
  return p;
}

void WorkOrien2(double al, double bet, double gam, const double Es[3][3], double Ef[3][3]) {
  double R[3][3], T[3][3];
  Cz(-gam, R);
  MatMul(Es, R, T);
  Cy(-bet, R);
  MatMul(T, R, T);
  Cx(-al, R);
  MatMul(T, R, Ef);
}

void ITransWrkAtoM(const double rm[3], const double Em[3][3], const double rw[3],
                   const double Ew[3][3], double rwM[3], double EwM[3][3]) {
  double d[3];
  VecSub(rw, rm, d);
  MatTVec(Em, d, rwM);
  MatTMul(Em, Ew, EwM);
}

void SphereContactAngles(double aSph, const double n[3], ContactPrm& prm) {
  prm.alw = std::atan2(n[1], n[0]);
  prm.betw = std::atan2(n[2], std::hypot(n[0], n[1]));
  SphereAnglesPrm(aSph, prm);
}

void SphereAnglesPrm(double aSph, ContactPrm& prm) {
  prm.thw = prm.alw;
  prm.Lw = aSph * std::sin(prm.betw);
  prm.Ltw = aSph * std::cos(prm.betw);
}

void SphereNormal(double alw, double betw, double n[3]) {
  VecSet(std::cos(betw) * std::cos(alw), std::cos(betw) * std::sin(alw), std::sin(betw), n);
}

namespace {

void HalfAxis(double hCyl, const double E[3][3], double c[3]) {
  c[0] = 0.5 * hCyl * E[0][2];
  c[1] = 0.5 * hCyl * E[1][2];
  c[2] = 0.5 * hCyl * E[2][2];
}

}  // namespace

void MoveWork(Sim& s, char key) {
  double cOld[3];
  HalfAxis(s.model().hCyl, s.EwG0, cOld);
  // a move of 1 along an axis, or a turn of kTurnStep about one of the work's own axes
  const AxisKey k = ParseAxisKey(key);
  double d[3] = {0, 0, 0};
  if (k.valid && !k.turn) s.rwG0[k.axis] += k.sign * 1.0;
  if (k.valid && k.turn) d[k.axis] = k.sign * kTurnStep;
  const double dal = d[0], dbet = d[1], dgam = d[2];
  const bool turn = k.valid && k.turn;
  VecCopy(s.rwG0, s.rwG);
  s.al0 += dal;
  s.bet0 += dbet;
  s.qam0 += dgam;
  if (turn) {
    WorkOrien2(dal, dbet, dgam, s.EwG0, s.EwG0);
    if (s.WORK1 == '2') {
      double cNew[3];
      HalfAxis(s.model().hCyl, s.EwG0, cNew);
      for (int i = 0; i < 3; ++i) s.rwG0[i] = s.rwG0[i] + cOld[i] - cNew[i];
    }
  }
  VecCopy(s.rwG0, s.RWW);
  MatCopy(s.EwG0, s.EWW);
  RESETGRASP(s);
  usrdisplay(s);
}

void setWorkVelocity(Sim& s, char key, const double E[3][3]) {
  // vw in steps of 1 and omww in steps of 0.02 per key, each within its bound; the
  // label shows the sign and the digit of the value (omww in units of 0.02)
  const AxisKey k = ParseAxisKey(key);
  if (k.valid) {
    const bool linear = !k.turn;
    double* v = linear ? &s.vw[k.axis] : &s.omww[k.axis];
    const double bound = linear ? 1.0 : 0.02;
    const int pos = (linear ? 5 : 26) + 3 * k.axis;  // the sign character's place
    *v += k.sign * bound;
    if (*v > bound) *v = bound;
    if (*v < -bound) *v = -bound;
    s.WorkVel[pos] = (*v >= 0.0) ? ' ' : (*v < -0.01 ? '-' : s.WorkVel[pos]);
    const double scaled = linear ? *v : 50.1 * *v;
    s.WorkVel[pos + 1] = DigitChar(static_cast<int>(std::fabs(std::trunc(scaled))));
  }
  MatVec(E, s.omww, s.omw);
}

void SetWorkVelocityValues(Sim& s, const double vw[3], const double omww[3], const double E[3][3]) {
  for (int axis = 0; axis < 3; ++axis) {
    for (const bool linear : {true, false}) {
      const double v = linear ? vw[axis] : omww[axis];
      (linear ? s.vw : s.omww)[axis] = v;
      const int pos = (linear ? 5 : 26) + 3 * axis;  // as setWorkVelocity places them
      s.WorkVel[pos] = v < 0.0 ? '-' : ' ';
      const double scaled = linear ? v : 50.1 * v;
      s.WorkVel[pos + 1] = std::fabs(scaled) < 10.0
                               ? DigitChar(static_cast<int>(std::fabs(std::trunc(scaled))))
                               : 'x';
    }
  }
  MatVec(E, s.omww, s.omw);
}

namespace {

// The cylinder moves its mid-point by dt*v and turns about it; the sphere moves its
// centre the same way and turns about it.
void MoveCylinder1(double hCyl, const double v[3], const double om[3], double dt,
                   const WorkPose& from, WorkPose& to) {
  double dr[3], m[3], c[3];
  VecScale(dt, v, dr);
  HalfAxis(hCyl, from.E, c);
  VecAdd(from.r, c, m);
  VecAdd(m, dr, m);
  WorkOrien1(dt * om[0], dt * om[1], dt * om[2], from.E, to.E);
  HalfAxis(hCyl, to.E, c);
  VecSub(m, c, to.r);
}

void MoveSphere1(const double v[3], const double om[3], double dt, const WorkPose& from,
                 WorkPose& to) {
  double dr[3], m[3];
  VecScale(dt, v, dr);
  VecAdd(from.r, dr, m);
  WorkOrien1(dt * om[0], dt * om[1], dt * om[2], from.E, to.E);
  VecCopy(m, to.r);
}

}  // namespace

void WorkTurnCentre(const Model& m, char work, const double r[3], const double E[3][3],
                    double c[3]) {
  VecCopy(r, c);
  if (work == '1') return;
  double h[3];
  HalfAxis(m.hCyl, E, h);
  VecAdd(r, h, c);
}

WorkPose MoveWorkStep(const Model& m, char work, const double v[3], const double om[3], double dt,
                      const WorkPose& from) {
  WorkPose to;
  if (work == '1')
    MoveSphere1(v, om, dt, from, to);
  else
    MoveCylinder1(m.hCyl, v, om, dt, from, to);
  return to;
}

}  // namespace rg
