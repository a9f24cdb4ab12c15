#include "hand/hand.h"

#include <cassert>
#include <cmath>

#include "numerics/vecmat.h"

namespace rg {

void BasicFinParameter(Sim& s, int hand) {
  if (hand >= 1 && hand <= 4) s.handModel = WithWorkSizes(CatalogueModel(hand), SizesOf(s.model()));
  assert(CountsFit(s.model()));
}

void FinJ1Pose(Sim& s) {
  const Model& m = s.model();
  for (int kf = 1; kf <= m.nF; ++kf)
    for (int j = 1; j <= m.nJ; ++j) s.qq0[kf][j] = m.qInit[kf][j];
}

void JointSinCos(const Model& m, const double* q, JointTrig& t) {
  // one sincos per joint (glibc's, the same values as its sin and cos)
  for (int j = 1; j <= m.nJ; ++j) {
    double c, s;
    SinCos(q[j], &s, &c);
    t.c[j] = c;
    t.s[j] = s;
  }
}

void JointSinCosNear(const Model& m, const double* q, const double* q0, const JointTrig& t0,
                     JointTrig& t) {
  for (int j = 1; j <= m.nJ; ++j) {
    const double d = q[j] - q0[j];
    if (std::fabs(d) <= kSmallTurn)
      TurnSinCos(t0.c[j], t0.s[j], d, &t.c[j], &t.s[j]);
    else
      SinCos(q[j], &t.s[j], &t.c[j]);
  }
}

void LastLinkKinematics(const Model& m, const FingerMount& f, const double* q, double JAn[3],
                        double EAn[3][3]) {
  JointTrig t;
  JointSinCos(m, q, t);
  LastLinkKinematics(m, f, t, JAn, EAn);
}

void LastLinkKinematics(const Model& m, const FingerMount& f, const JointTrig& t, double JAn[3],
                        double EAn[3][3]) {
  const int n = m.nJ;
  const double(*B)[3] = f.frame;
  double E[3][3], C[3][3], En[3][3], r[3] = {0, 0, 0}, ld[3], rB[3];
  MatIdentity(E);
  for (int j = 1; j <= n; ++j) {
    // joints that sit together add nothing to r (adding zero changes no bit)
    if (m.Ls[j][0] != 0.0 || m.Ls[j][1] != 0.0 || m.Ls[j][2] != 0.0) {
      MatVec(E, m.Ls[j], ld);
      VecAdd(r, ld, r);
    }
    RotLocalZcs(m.Cs[j], t.c[j], t.s[j], C);
    MatMul(E, C, En);
    MatCopy(En, E);
  }
  MatVec(B, r, rB);
  VecAdd(f.base, rB, JAn);
  MatMul(B, E, EAn);
}

FingerPose Findirect_kineR(const Model& m, const FingerMount& f, const double* q) {
  JointTrig t;
  JointSinCos(m, q, t);
  return Findirect_kineR(m, f, t);
}

FingerPose Findirect_kineR(const Model& m, const FingerMount& f, const JointTrig& jt) {
  // The chain in the finger frame, then turned into the hand frame by the finger's
  // base frame B at its base b.
  FingerPose P;
  const int n = m.nJ;
  const double(*B)[3] = f.frame;
  const double* b = f.base;
  double E[3][3], Es[3][3], C[3][3], En[3][3], r[3] = {0, 0, 0}, ld[3], t[3];
  MatIdentity(E);
  VecCopy(b, P.JA[0]);
  MatCopy(B, P.EAs[0]);
  MatMul(B, E, P.EA[0]);
  for (int j = 1; j <= n + 1; ++j) {
    MatVec(E, m.Ls[j], ld);
    VecAdd(r, ld, r);
    MatVec(B, r, t);
    VecAdd(b, t, P.JA[j]);
    if (j > n) break;  // the fingertip: no joint of its own
    RotLocalZcs(m.Cs[j], jt.c[j], jt.s[j], C);
    MatMul(E, m.Cs[j], Es);
    MatMul(B, Es, P.EAs[j]);
    MatMul(E, C, En);
    MatCopy(En, E);
    MatMul(B, E, P.EA[j]);
  }
  return P;
}

}  // namespace rg
