#include "work/work.h"

#include <cmath>

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

namespace {

constexpr double kTurnStep = 0.031415926536;  // rad per rotation key

void HalfAxis(const double E[3][3], double c[3]) {
  c[0] = 0.5 * hCyl * E[0][2];
  c[1] = 0.5 * hCyl * E[1][2];
  c[2] = 0.5 * hCyl * E[2][2];
}

}  // namespace

void MoveWork(Sim& s, char key) {
  double cOld[3];
  HalfAxis(s.EwG0, cOld);
  double dal = 0, dbet = 0, dgam = 0;
  bool turn = true;
  switch (key) {
    case 'x': s.rwG0[0] -= 1.0; turn = false; break;
    case 'X': s.rwG0[0] += 1.0; turn = false; break;
    case 'y': s.rwG0[1] -= 1.0; turn = false; break;
    case 'Y': s.rwG0[1] += 1.0; turn = false; break;
    case 'z': s.rwG0[2] -= 1.0; turn = false; break;
    case 'Z': s.rwG0[2] += 1.0; turn = false; break;
    case 'p': dal = -kTurnStep; break;
    case 'P': dal = kTurnStep; break;
    case 'q': dbet = -kTurnStep; break;
    case 'Q': dbet = kTurnStep; break;
    case 'r': dgam = -kTurnStep; break;
    case 'R': dgam = kTurnStep; break;
    default: turn = false; break;
  }
  VecCopy(s.rwG0, s.rwG);
  s.al0 += dal;
  s.bet0 += dbet;
  s.qam0 += dgam;
  if (turn) {
    WorkOrien2(dal, dbet, dgam, s.EwG0, s.EwG0);
    if (s.WORK1 == '2') {
      double cNew[3];
      HalfAxis(s.EwG0, cNew);
      for (int i = 0; i < 3; ++i) s.rwG0[i] = s.rwG0[i] + cOld[i] - cNew[i];
    }
  }
  VecCopy(s.rwG0, s.RWW);
  MatCopy(s.EwG0, s.EWW);
  RESETGRASP(s);
  usrdisplay(s);
}

void setWorkVelocity(Sim& s, char key, const double E[3][3]) {
  double* v = nullptr;
  double step = 0, bound = 0;
  int pos = -1;  // label position of the sign character
  switch (key) {
    case 'X': v = &s.vw[0]; step = 1.0; break;
    case 'x': v = &s.vw[0]; step = -1.0; break;
    case 'Y': v = &s.vw[1]; step = 1.0; break;
    case 'y': v = &s.vw[1]; step = -1.0; break;
    case 'Z': v = &s.vw[2]; step = 1.0; break;
    case 'z': v = &s.vw[2]; step = -1.0; break;
    case 'P': v = &s.omww[0]; step = 0.02; break;
    case 'p': v = &s.omww[0]; step = -0.02; break;
    case 'Q': v = &s.omww[1]; step = 0.02; break;
    case 'q': v = &s.omww[1]; step = -0.02; break;
    case 'R': v = &s.omww[2]; step = 0.02; break;
    case 'r': v = &s.omww[2]; step = -0.02; break;
    default: break;
  }
  if (v != nullptr) {
    const bool linear = (v >= s.vw && v < s.vw + 3);
    const int comp = linear ? static_cast<int>(v - s.vw) : static_cast<int>(v - s.omww);
    bound = linear ? 1.0 : 0.02;
    pos = linear ? 5 + 3 * comp : 26 + 3 * comp;
    *v += step;
    if (*v > bound) *v = bound;
    if (*v < -bound) *v = -bound;
    s.WorkVel[pos] = (*v >= 0.0) ? ' ' : (*v < -0.01 ? '-' : s.WorkVel[pos]);
    const double scaled = linear ? *v : 50.1 * *v;
    s.WorkVel[pos + 1] = DigitChar(static_cast<int>(std::fabs(std::trunc(scaled))));
  }
  MatVec(E, s.omww, s.omw);
}

void MoveCylinder1(const double v[3], const double om[3], double dt, const double r1[3],
                   const double E1[3][3], double r2[3], double E2[3][3]) {
  double dr[3], m[3], c[3];
  VecScale(dt, v, dr);
  HalfAxis(E1, c);
  VecAdd(r1, c, m);
  VecAdd(m, dr, m);
  WorkOrien1(dt * om[0], dt * om[1], dt * om[2], E1, E2);
  HalfAxis(E2, c);
  VecSub(m, c, r2);
}

}  // namespace rg
