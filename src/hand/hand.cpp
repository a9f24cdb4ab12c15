#include "hand/hand.h"

#include <cmath>

#include "numerics/vecmat.h"

namespace rg {

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
  // joints 1..3 sit at the finger base, joint 4 and the fingertip one link apart
  for (int j = 0; j < kSlots; ++j) VecSet(0, 0, 0, s.Ls[j]);
  VecSet(lFin, 0, 0, s.Ls[4]);
  VecSet(lFin, 0, 0, s.Ls[5]);
  // the joint frames at zero angles, and each one in the frame of the joint before
  double Es[5][3][3];
  MatIdentity(Es[0]);
  if (pqpp)
    MatCopy(kMp, Es[1]);
  else
    MatIdentity(Es[1]);
  MatCopy(kMq, Es[2]);
  MatCopy(kMp, Es[3]);
  MatCopy(kMp, Es[4]);
  for (int j = 1; j <= 4; ++j) MatTMul(Es[j - 1], Es[j], s.Cs[j]);
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
  for (int kf = 1; kf <= s.nF; ++kf) FinBasePose(kFingerAngle[hand][kf], rPalm, s.JA0[kf], s.EAs0[kf]);
  // for these hands finger 1 points up and the others straight down
  if (hand == 4 || (hand == 2 && work == '2')) {
    for (int kf = 1; kf <= s.nF; ++kf) {
      MatIdentity(s.EAs0[kf]);
      if (kf >= 2) {
        s.EAs0[kf][0][0] = -1.0;
        s.EAs0[kf][2][2] = -1.0;
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

void LastLinkKinematics(const Sim& s, int kf, const double* q, double JAn[3], double EAn[3][3]) {
  const int n = s.nJ;
  const double(*B)[3] = s.EAs0[kf];
  double E[3][3], C[3][3], En[3][3], r[3] = {0, 0, 0}, ld[3], t[3];
  MatIdentity(E);
  for (int j = 1; j <= n; ++j) {
    // joints that sit together add nothing to r (adding zero changes no bit)
    if (s.Ls[j][0] != 0.0 || s.Ls[j][1] != 0.0 || s.Ls[j][2] != 0.0) {
      MatVec(E, s.Ls[j], ld);
      VecAdd(r, ld, r);
    }
    RotLocalZ(s.Cs[j], q[j], C);
    MatMul(E, C, En);
    MatCopy(En, E);
  }
  MatVec(B, r, t);
  VecAdd(s.JA0[kf], t, JAn);
  MatMul(B, E, EAn);
}

FingerPose Findirect_kineR(const Sim& s, int kf, const double* q) {
  // The chain in the finger frame, then turned into the hand frame by the finger's
  // base frame B at its base b.
  FingerPose P;
  const int n = s.nJ;
  const double(*B)[3] = s.EAs0[kf];
  const double* b = s.JA0[kf];
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
  return P;
}

}  // namespace rg
