// Grasp driver: one finger per call closes its last joint until it first touches
// the work (the cylinder or the sphere, after WORK1); the contact is recorded as step 0 of the manipulation record,
// and after the last finger the flags tell whether the grasp is complete.
#include "grasp/grasp.h"
#include "core/catalogue.h"
#include "hand/hand.h"
#include "record/report.h"
#include "record/store.h"
#include "numerics/vecmat.h"

namespace rg {
namespace {


}  // namespace

int FinWrkContact2(Sim& s, int kf, int nJ, const double* q0, char WORK1, const double rwG[3],
                   const double EwG[3][3], double* qf, ContactPrm& prm, double efx[3],
                   double efy[3], double RC[3], double NF[3], double NW[3], char GTYPE[2]) {
  ContactPrm p{};
  char sgnLT = 'N';
  const int sol =
      (WORK1 == '1')
          ? FingerSphereContactA3(s, kf, nJ, q0, rwG, EwG, qf, p, RC, NF, NW, GTYPE)
          : FingerCylinderContactA3(s, kf, nJ, q0, rwG, EwG, qf, p, RC, NF, NW, sgnLT, GTYPE);
  if (kf < 1 || kf >= kSlots) return 0;

  // the finger in its grasp pose
  const FingerPose P = Findirect_kineR(s, kf, qf);
  // z axis of the last link frame, and x cross z: with Lf and fif they place the
  // contact on the link surface
  double ex[3];
  MatColumn(P.EA[nJ], 0, ex);
  MatColumn(P.EA[nJ], 2, efx);
  VecCross(ex, efx, efy);

  // reference point of the contact on the work axis (rwG is the bottom-face centre of
  // the cylinder, the centre of the sphere)
  double ezw[3], rwP[3];
  MatColumn(EwG, 2, ezw);
  VecCopy(rwG, rwP);
  if (s.sgnUML[kf] == 'U') VecAddScaled(rwG, s.model().hCyl, ezw, rwP);
  if (s.sgnUML[kf] == 'M') VecAddScaled(rwG, p.Lw, ezw, rwP);

  if (GTYPE[0] != 'N') {
    prm = p;
    StoreCylinderManipData5(s, 0, kf, 0.0, qf, prm, rwG, rwP, EwG, RC, NW);
    double rw[3], Ew[3][3];  // rwG/EwG may be the state's own RWW/EWW
    VecCopy(rwG, rw);
    MatCopy(EwG, Ew);
    VecCopy(rw, s.RWW);
    MatCopy(Ew, s.EWW);
    usrdisplay(s);
  }
  return sol;
}

int GRASP(Sim& s, int kf, const double* q0, const double rwG[3], const double EwG[3][3],
          double* qf, double RC[3], double NW[3], char GTYPE[2]) {
  const int nJ = s.model().nJ;
  s.cntManip0 = 0;
  s.sgnGRASP = 'Y';
  s.sgnCALGChk = 'F';
  if (kf < 1 || kf >= kSlots) return 0;

  ContactPrm prm{};
  double efx[3], efy[3], NF[3];
  const int sol =
      FinWrkContact2(s, kf, nJ, q0, s.WORK1, rwG, EwG, qf, prm, efx, efy, RC, NF, NW, GTYPE);
  s.sgnGRASPM[kf] = (sol == 1) ? 'Y' : 'N';
  if (GTYPE != s.GGTYPE[kf]) {
    s.GGTYPE[kf][0] = GTYPE[0];
    s.GGTYPE[kf][1] = GTYPE[1];
  }
  const int nF = s.model().nF;
  if (kf < nF) return sol;

  // last finger: the grasp is complete only if every finger has a contact
  s.sgnGRASP = 'Y';
  s.sgnCALGEnd = 'Y';
  for (int k = 1; k <= nF && k < kSlots; ++k) {
    if (s.sgnGRASPM[k] != 'Y') {
      s.sgnGRASP = 'N';
      s.sgnCALGEnd = 'N';
    }
  }
  s.cntManip0 = 0;
  s.ManipT[0] = 0.0;
  s.ManipTimeRow[0] = 0.0;
  s.sgnMANIP = 'Y';
  return sol;
}

}  // namespace rg
