#include "record/store.h"

#include <cassert>
#include <cmath>

#include "hand/hand.h"
#include "numerics/vecmat.h"

namespace rg {
namespace {

void CopyRow(const Model& m, const double* q, double* dst) {
  for (int j = 0; j <= m.nJ; ++j) dst[j] = q[j];
}

}  // namespace

void StoreCylinderManipData5(Sim& s, int cntM, int kf, double dt, const FingerStepState& f) {
  const double *q = f.q, *rw = f.rw, *rwP = f.rwP, *RC = f.RC, *NW = f.NW;
  const double(*Ew)[3] = f.Ew;
  const ContactPrm& prm = f.prm;
  assert(kf >= 1 && kf <= s.nF());
  // the step refuses to run once the record is full (RecordFull)
  assert(cntM >= 0 && cntM / kDecim < kRows);
  const int cntM1 = cntM / kDecim;
  s.cntMainip1 = cntM1;
  // a new grasp shortens the record: the replay position stays on a stored row
  if (s.cntRepeat > s.cntMainip1) s.cntRepeat = s.cntMainip1;

  if (cntM == 0) {
    for (int k = 0; k < 2; ++k) {
      CopyRow(s.model(), q, s.qqa2[k][kf]);
      s.ManipPrm2[k][kf] = prm;
      VecCopy(RC, s.ManipCPNTA2[k][kf]);
      VecCopy(NW, s.ManipNWA2[k][kf]);
      VecCopy(rw, s.ManipRW2[k]);
      MatCopy(Ew, s.ManipEW2[k]);
    }
    s.ManipDt2 = 0.0;
    s.ManipJinvOk[kf] = false;
    s.ManipRootErr[kf] = 0.0;
    // a grasped finger touches the work; the record's gaits start anew with it
    s.lifted[kf] = s.placed[kf] = false;
    s.ManipLiftedRow[0] &= static_cast<unsigned char>(~(1u << kf));
    s.ManipGaitCount[0] = 0;
    s.nRowGaits = 0;
    s.gait = GaitEvent{};
    s.cntRecord = 1;  // a grasp starts the record anew: its row 0
    s.ManipTS = 0.0;
    s.ManipT[0] = 0.0;
    s.ManipTime = 0.0;
    s.ManipTimeRow[0] = 0.0;
    CopyRow(s.model(), q, s.qqa[0][kf]);
    CopyRow(s.model(), q, s.ManipQ[0][kf]);
    VecCopy(rw, s.ManipRW[0]);
    MatCopy(Ew, s.ManipEW[0]);
    s.Manip[0][kf] = prm;
    VecCopy(RC, s.ManipCPNTA[0][kf]);
    VecCopy(NW, s.ManipNWA[0][kf]);
    VecCopy(rwP, s.ManipRWP[0][kf]);
    return;
  }

  // history shift: slot 0 = slot 1, slot 1 = this call
  CopyRow(s.model(), s.qqa2[1][kf], s.qqa2[0][kf]);
  s.ManipPrm2[0][kf] = s.ManipPrm2[1][kf];
  VecCopy(s.ManipCPNTA2[1][kf], s.ManipCPNTA2[0][kf]);
  VecCopy(s.ManipNWA2[1][kf], s.ManipNWA2[0][kf]);
  VecCopy(s.ManipRW2[1], s.ManipRW2[0]);
  MatCopy(s.ManipEW2[1], s.ManipEW2[0]);
  CopyRow(s.model(), q, s.qqa2[1][kf]);
  s.ManipPrm2[1][kf] = prm;
  VecCopy(RC, s.ManipCPNTA2[1][kf]);
  VecCopy(NW, s.ManipNWA2[1][kf]);
  VecCopy(rw, s.ManipRW2[1]);
  MatCopy(Ew, s.ManipEW2[1]);
  s.ManipDt2 = dt;

  s.ManipTS += dt;
  // every finger of a step is stored with the same dt, one after the other from
  // finger 1: the step's physical time is counted once, with its first finger
  if (kf == 1) s.ManipTime += dt;

  if (cntM % kDecim == 0) {
    s.ManipT[cntM1] = s.ManipTS;
    s.ManipTimeRow[cntM1] = s.ManipTime;
    s.cntManip0 = cntM;
    s.cntMainip1 = cntM1;
    s.cntRecord = cntM1 + 1;
    VecCopy(rw, s.RWW);
    MatCopy(Ew, s.EWW);
    VecCopy(rw, s.ManipRW[cntM1]);
    MatCopy(Ew, s.ManipEW[cntM1]);
    CopyRow(s.model(), q, s.qqa[cntM1][kf]);
    CopyRow(s.model(), q, s.ManipQ[cntM1][kf]);
    s.Manip[cntM1][kf] = prm;
    VecCopy(RC, s.ManipCPNTA[cntM1][kf]);
    VecCopy(NW, s.ManipNWA[cntM1][kf]);
    VecCopy(NW, s.ManipNWW[cntM1][kf]);
    VecCopy(rwP, s.ManipRWP[cntM1][kf]);
    // which fingers touch at the row, and the gaits since the row before (taken
    // with the step's first finger)
    const unsigned char bit = static_cast<unsigned char>(1u << kf);
    if (kf == 1) s.ManipLiftedRow[cntM1] = 0;
    if (s.lifted[kf]) s.ManipLiftedRow[cntM1] |= bit;
    if (kf == 1) {
      s.ManipGaitCount[cntM1] = static_cast<unsigned char>(s.nRowGaits);
      for (int i = 0; i < s.nRowGaits; ++i) {
        s.ManipGaitRow[cntM1][i][0] = s.rowGaits[i][0];
        s.ManipGaitRow[cntM1][i][1] = s.rowGaits[i][1];
      }
      s.nRowGaits = 0;
    }
  }
}

void StorePlacedContact(Sim& s, int kf, const FingerStepState& f) {
  assert(kf >= 1 && kf <= s.nF());
  for (int k = 0; k < 2; ++k) {
    CopyRow(s.model(), f.q, s.qqa2[k][kf]);
    s.ManipPrm2[k][kf] = f.prm;
    VecCopy(f.RC, s.ManipCPNTA2[k][kf]);
    VecCopy(f.NW, s.ManipNWA2[k][kf]);
  }
  s.ManipJinvOk[kf] = false;
  s.ManipRootErr[kf] = 0.0;
  s.lifted[kf] = false;
  s.placed[kf] = true;
}

void NoteRowGait(Sim& s, char kind, int kf) {
  assert(!RowGaitsFull(s) && (kind == 'L' || kind == 'P'));
  s.rowGaits[s.nRowGaits][0] = kind;
  s.rowGaits[s.nRowGaits][1] = static_cast<char>(kf);
  ++s.nRowGaits;
}

std::string RowGaitText(const Sim& s, int m) {
  std::string text;
  const int n = s.ManipGaitCount[m] <= kMaxRowGaits ? s.ManipGaitCount[m] : kMaxRowGaits;
  for (int i = 0; i < n; ++i) {
    if (i > 0) text += "; ";
    text += s.ManipGaitRow[m][i][0] == 'L' ? "lift " : "place ";
    text += std::to_string(static_cast<int>(s.ManipGaitRow[m][i][1]));
  }
  return text;
}

void StoreCommand(Sim& s, const double vw[3], const double omww[3]) {
  if (s.cntManip0 <= 0 || s.cntManip0 % kDecim != 0) return;
  const int row = s.cntManip0 / kDecim;
  assert(row < kRows);
  for (int i = 0; i < 3; ++i) {
    s.ManipCmd[row][i] = vw[i];
    s.ManipCmd[row][3 + i] = omww[i];
  }
}

void ManipCPNTW(const Sim& s, int n, int m, int kf, double p[3]) {
  if (n == 0 && m == 0) {
    VecCopy(s.ManipCPNTA[0][kf], p);
    return;
  }
  const double(*Ew)[3] = s.ManipEW[n];
  const ContactPrm& c = s.Manip[m][kf];
  // the contact point's cylindrical coordinates (Lw, Ltw, thw) about the work axis:
  // Ltw is aCyl on the cylinder, aSph cos(betw) on the sphere
  const double ct = std::cos(c.thw), st = std::sin(c.thw);
  for (int i = 0; i < 3; ++i)
    p[i] = s.ManipRW[n][i] + c.Ltw * (ct * Ew[i][0] + st * Ew[i][1]) + c.Lw * Ew[i][2];
}

void ManipCPNTWTrail(const Sim& s, int n, int kf, double p[][3]) {
  for (int m = 0; m <= n; ++m) ManipCPNTW(s, n, m, kf, p[m]);
}

namespace {

// The last link of finger kf in its pose of stored step n: base, axis and the two
// directions about it from which fif is measured; whether its contact is on the
// fingertip ball of a sphere grasp.
struct LinkAtStep {
  double o[3], x[3], z[3], xz[3];
  double radius = 0.0;  // of the link and of its tip ball
  bool tip = false;
};

LinkAtStep LinkOfStep(const Sim& s, int n, int kf) {
  LinkAtStep L;
  L.tip = s.WORK1 == '1' && s.GGTYPE[kf][0] == 'T';
  L.radius = s.model().aFin;
  const FingerPose P = Findirect_kineR(s.model(), s.mount(kf), s.ManipQ[n][kf]);
  VecCopy(P.JA[s.nJ()], L.o);
  MatColumn(P.EA[s.nJ()], 0, L.x);
  MatColumn(P.EA[s.nJ()], 2, L.z);
  VecCross(L.x, L.z, L.xz);
  return L;
}

// The finger-side contact point: on the link's side at (Lf, fif), or on the tip ball
// (centre at the link's end) at (psif, fif).
void PointOnLink(const LinkAtStep& L, const ContactPrm& c, double p[3]) {
  const double cf = std::cos(c.fif), sf = std::sin(c.fif);
  if (L.tip) {
    const double cp = std::cos(c.psif), sp = std::sin(c.psif);
    for (int i = 0; i < 3; ++i)
      p[i] = L.o[i] + c.Lf * L.x[i] + L.radius * (cp * L.x[i] + sp * (cf * L.z[i] + sf * L.xz[i]));
    return;
  }
  for (int i = 0; i < 3; ++i)
    p[i] = L.o[i] + c.Lf * L.x[i] + L.radius * (cf * L.z[i] + sf * L.xz[i]);
}

}  // namespace

void ManipCPNTF(const Sim& s, int n, int m, int kf, double p[3]) {
  if (n == 0 && m == 0) {
    VecCopy(s.ManipCPNTA[0][kf], p);
    return;
  }
  PointOnLink(LinkOfStep(s, n, kf), s.Manip[m][kf], p);
}

void ManipCPNTFTrail(const Sim& s, int n, int kf, double p[][3]) {
  const LinkAtStep L = LinkOfStep(s, n, kf);
  for (int m = 0; m <= n; ++m) PointOnLink(L, s.Manip[m][kf], p[m]);
}

}  // namespace rg
