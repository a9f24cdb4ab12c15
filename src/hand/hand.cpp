#include "hand/hand.h"

#include <cmath>

#include "numerics/vecmat.h"

namespace rg {
namespace {

void CopyConst(const double A[3][3], double B[3][3]) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) B[i][j] = A[i][j];
}

}  // namespace

void BasicFinParameter(Sim& s, int hand) {
  for (int h = 0; h < 5; ++h) {
    s.nfin[h] = kNfin[h];
    s.njnt[h] = kNjnt[h];
  }
  const bool pqpp = (hand == 3 || hand == 4);
  s.JRTYPE[0] = ' ';
  s.JRTYPE[1] = pqpp ? 'P' : 'R';
  s.JRTYPE[2] = 'Q';
  s.JRTYPE[3] = 'P';
  s.JRTYPE[4] = 'P';
  s.JRTYPE[5] = 'P';
  s.JRTYPE[6] = ' ';
  for (int j = 0; j < kSlots; ++j) {
    VecSet(0, 0, 0, s.mm0[j]);
    VecSet(0, 0, 0, s.Ls[j]);
    VecSet(0, 0, 0, s.rJ[j]);
  }
  for (int j = 0; j <= 2; ++j) VecSet(0, 0, 1, s.mm0[j]);
  for (int j = 3; j <= 5; ++j) VecSet(1, 0, 0, s.mm0[j]);
  VecSet(lFin, 0, 0, s.Ls[4]);
  VecSet(lFin, 0, 0, s.Ls[5]);
  VecSet(0, 0, lFin, s.rJ[4]);
  VecSet(0, 0, 2 * lFin, s.rJ[5]);

  MatIdentity(s.Es[0]);
  if (pqpp) {
    CopyConst(kMp, s.Es[1]);
  } else {
    MatIdentity(s.Es[1]);
  }
  CopyConst(kMq, s.Es[2]);
  CopyConst(kMp, s.Es[3]);
  CopyConst(kMp, s.Es[4]);
  CopyConst(kMt, s.Es[5]);
  for (int j = 1; j <= 4; ++j) MatTMul(s.Es[j - 1], s.Es[j], s.Cs[j]);
  MatIdentity(s.E[0]);
}

void FinBasePose(double phi, double radius, double pos[3], double E[3][3]) {
  VecSet(radius * std::sin(phi), 0.0, radius * std::cos(phi), pos);
  Cy(phi, E);
}

void FinJ1Pose(Sim& s, int hand, char work) {
  s.nfin[hand] = kNfin[hand];
  s.njnt[hand] = kNjnt[hand];
  s.nF = s.nfin[hand];
  s.nJ = s.njnt[hand];
  for (int k = 1; k <= 6; ++k) VecSet(0, 0, 1, s.mmA[k][1]);
  for (int kf = 1; kf <= s.nF; ++kf) FinBasePose(kFingerAngle[hand][kf], rPalm, s.JA[kf][0], s.EAs[kf][0]);
  if (hand == 4 || (hand == 2 && work == '2')) {
    for (int kf = 1; kf <= s.nF; ++kf) {
      MatIdentity(s.EAs[kf][0]);
      if (kf >= 2) {
        s.EAs[kf][0][0][0] = -1.0;
        s.EAs[kf][0][2][2] = -1.0;
      }
    }
  }
  // initial joint-angle table of every hand, then the selected hand's angles
  for (int h = 1; h <= 4; ++h)
    for (int kf = 1; kf <= kNfin[h]; ++kf) {
      s.qqInit[h][kf][0] = 0.0;
      for (int j = 1; j <= kNjnt[h]; ++j) s.qqInit[h][kf][j] = kInitAngles[h][j];
    }
  for (int kf = 1; kf <= s.nF; ++kf)
    for (int j = 1; j <= s.nJ; ++j) s.qq0[kf][j] = s.qqInit[hand][kf][j];
}

void AbsFinParameter(Sim& s, int hand, int kf) {
  const int n = s.njnt[hand];
  VecCopy(s.JA[kf][0], s.JA[kf][1]);
  for (int j = 1; j <= n; ++j) {
    MatMul(s.EAs[kf][j - 1], s.Cs[j], s.EAs[kf][j]);
    MatVec(s.EAs[kf][j], s.Ls[j + 1], s.lAd[kf][j + 1]);
    VecAdd(s.JA[kf][j], s.lAd[kf][j + 1], s.JA[kf][j + 1]);
  }
  double Mt[3][3];
  CopyConst(kMt, Mt);
  MatMul(s.EAs[kf][4], Mt, s.EAs[kf][5]);
}

void Findirect_kineR(Sim& s, int kf, int n, const double* q) {
  for (int j = 1; j <= n; ++j) RotLocalZ(s.Cs[j], q[j], s.C[j]);
  for (int j = 1; j <= n; ++j) {
    MatMul(s.E[j - 1], s.Cs[j], s.Es[j]);
    MatMul(s.E[j - 1], s.C[j], s.E[j]);
  }
  for (int j = 1; j <= n + 1; ++j) {
    MatVec(s.E[j - 1], s.Ls[j], s.ld[j]);
    MatVec(s.E[j - 1], s.mm0[j], s.mm[j]);
    VecAdd(s.rJ[j - 1], s.ld[j], s.rJ[j]);
  }
  Trans_Fin_to_A(s, kf, n);
}

void Trans_Fin_to_A(Sim& s, int kf, int n) {
  if (kf <= 0 || kf >= kSlots) return;
  double B[3][3], b[3], t[3];
  MatCopy(s.EAs[kf][0], B);
  VecCopy(s.JA[kf][0], b);
  for (int j = 0; j <= n + 1; ++j) MatMul(B, s.Es[j], s.EAs[kf][j]);
  for (int j = 0; j <= n; ++j) MatMul(B, s.E[j], s.EA[kf][j]);
  for (int j = 1; j <= n + 1; ++j) {
    MatVec(B, s.ld[j], s.lAd[kf][j]);
    MatVec(B, s.mm[j], s.mmA[kf][j]);
    MatVec(B, s.rJ[j], t);
    VecAdd(b, t, s.JA[kf][j]);
  }
}

void FingerKinematics(const Sim& s, int kf, const double* q, FingerPose& P) {
  // The chain in the finger frame, then turned into the hand frame by the finger's
  // base frame B at base b (the same products, in the same order, as Findirect_kineR).
  const int n = s.nJ;
  const double(*B)[3] = s.EAs[kf][0];
  const double* b = s.JA[kf][0];
  double E[3][3], Es[3][3], C[3][3], En[3][3], r[3] = {0, 0, 0}, ld[3], t[3];
  MatIdentity(E);
  VecCopy(b, P.JA[0]);
  MatCopy(B, P.EAs[0]);
  MatMul(B, E, P.EA[0]);
  for (int j = 1; j <= n + 1; ++j) {
    MatVec(E, s.Ls[j], ld);
    VecAdd(r, ld, r);
    MatVec(B, r, t);
    VecAdd(b, t, P.JA[j]);
    if (j > n) break;  // the fingertip: no joint of its own
    RotLocalZ(s.Cs[j], q[j], C);
    MatMul(E, s.Cs[j], Es);
    MatMul(B, Es, P.EAs[j]);
    MatMul(E, C, En);
    MatCopy(En, E);
    MatMul(B, E, P.EA[j]);
  }
}

void FingerPoseA(const Sim& s, int kf, int n, const double* q, double JAout[kSlots][3],
                 double EAout[kSlots][3][3]) {
  double Ej[3][3], Ci[3][3], Enew[3][3], ldj[3], r[3] = {0, 0, 0}, t[3];
  const double(*B)[3] = s.EAs[kf][0];
  MatIdentity(Ej);
  VecCopy(s.JA[kf][0], JAout[0]);
  MatMul(B, Ej, EAout[0]);
  for (int j = 1; j <= n + 1; ++j) {
    MatVec(Ej, s.Ls[j], ldj);
    VecAdd(r, ldj, r);
    MatVec(B, r, t);
    VecAdd(s.JA[kf][0], t, JAout[j]);
    if (j <= n) {
      RotLocalZ(s.Cs[j], q[j], Ci);
      MatMul(Ej, Ci, Enew);
      MatCopy(Enew, Ej);
      MatMul(B, Ej, EAout[j]);
    }
  }
}

}  // namespace rg
