// Grasp driver: one finger per call closes its last joint until it first touches
// the work (the cylinder or the sphere, after WORK1); the contact is recorded as step 0 of the manipulation record,
// and after the last finger the flags tell whether the grasp is complete.
#include <cassert>

#include "core/model.h"
#include "grasp/grasp.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "record/report.h"
#include "record/store.h"

namespace rg {

int FingerFirstTouch(Sim& s, int kf, const double* q0, const WorkPose& wG, FingerContact& out) {
  assert(kf >= 1 && kf <= s.model().nF);
  return (s.WORK1 == '1') ? FingerSphereContactA3(s, kf, q0, wG, out)
                          : FingerCylinderContactA3(s, kf, q0, wG, out);
}

void ContactReferencePoint(const Model& m, const WorkPose& wG, char sgnUML, double Lw,
                           double rwP[3]) {
  double ezw[3];
  MatColumn(wG.E, 2, ezw);
  VecCopy(wG.r, rwP);
  if (sgnUML == 'U') VecAddScaled(wG.r, m.hCyl, ezw, rwP);
  if (sgnUML == 'M') VecAddScaled(wG.r, Lw, ezw, rwP);
}

int FinWrkContact2(Sim& s, int kf, FingerContact& out) {
  assert(kf >= 1 && kf <= s.model().nF);
  const int nJ = s.model().nJ;
  const WorkPose wG = WorkPoseOf(s.rwG, s.EwG);
  const int sol = FingerFirstTouch(s, kf, s.qq0[kf], wG, out);
  // the finger's grasp pose, contact type, verdict and the part of the work touched,
  // before the record and the redraw read them (a finger without contact keeps the
  // part it had: its type "NN" says there is none)
  for (int j = 0; j <= nJ; ++j) s.qf[kf][j] = out.qf[j];
  s.GGTYPE[kf][0] = out.GTYPE[0];
  s.GGTYPE[kf][1] = out.GTYPE[1];
  s.sgnGRASPM[kf] = out.sgnGRASPM;
  if (sol == 1) s.sgnUML[kf] = out.sgnUML;

  // reference point of the contact on the work axis (rwG is the bottom-face centre of
  // the cylinder, the centre of the sphere)
  double rwP[3];
  ContactReferencePoint(s.model(), wG, s.sgnUML[kf], out.prm.Lw, rwP);

  if (out.GTYPE[0] != 'N') {
    StoreCylinderManipData5(s, 0, kf, 0.0, {s.qf[kf], out.prm, wG.r, rwP, wG.E, out.RC, out.NW});
    VecCopy(wG.r, s.RWW);
    MatCopy(wG.E, s.EWW);
    usrdisplay(s);
  }
  return sol;
}

int GRASP(Sim& s, int kf, FingerContact* out) {
  assert(kf >= 1 && kf <= s.model().nF);
  s.cntManip0 = 0;
  s.sgnGRASP = 'Y';
  s.sgnCALGChk = 'F';

  FingerContact local;
  FingerContact& fc = out ? *out : local;
  const int sol = FinWrkContact2(s, kf, fc);
  const int nF = s.model().nF;
  if (kf < nF) return sol;

  // last finger: the grasp is complete only if every finger has a contact
  s.sgnGRASP = 'Y';
  s.sgnCALGEnd = 'Y';
  for (int k = 1; k <= nF; ++k) {
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
