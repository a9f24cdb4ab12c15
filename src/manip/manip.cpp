// The manipulation step (PR motion) and the per-finger prediction and correction,
// for the cylinder and for the sphere.
#include "manip/manip.h"

#include <cmath>
#include <cstring>

#include "hand/hand.h"
#include "interference/interference.h"
#include "record/report.h"
#include "record/store.h"
#include "numerics/vecmat.h"
#include "work/work.h"

namespace rg {
namespace {

// A rolling matrix whose determinant is below this (length units cubed) gives no
// first-order prediction: near the singular posture its rates are wild.
constexpr double kSingularDet = err1;

bool FiniteResult(const Model& m, const PRStepResult& r) {
  for (int j = 0; j <= m.nJ; ++j)
    if (!std::isfinite(r.q2[j])) return false;
  return std::isfinite(r.Lf2) && std::isfinite(r.fif2) && std::isfinite(r.thw2) &&
         VecFinite(r.RC2) && VecFinite(r.NW2);
}

// The finger's state before the step, as the result of a step that found nothing.
void KeepBefore(const PRStepFixed& in, PRStepResult& out) {
  for (int j = 0; j < kSlots; ++j) out.q2[j] = in.q1[j];
  const RimContact c{in.Lf1, in.fif1, in.thw1, {}, {}, {}, 0.0, in.psif1, in.alw1, in.betw1};
  TakeContact(c, out);
  VecCopy(in.rwc3, out.RC2);
  VecCopy(in.NW1, out.NW2);
}

}  // namespace

bool GraspOnRim(const Sim& s, int kf) { return ContactRolls('2', s.GGTYPE[kf], s.sgnUML[kf]); }

bool GraspRolls(const Sim& s, int kf) {
  return ContactRolls(s.WORK1, s.GGTYPE[kf], s.sgnUML[kf]);
}

char MergeManipStatus(char sgnMANIP, int kf, char sgnCkf) {
  if (kf == 1) return sgnCkf;
  return sgnMANIP == 'Y' ? sgnCkf : sgnMANIP;
}

namespace {

// The rolling matrix of a finger in pose P (Findirect_kineR) with its contact at RC
// (normal NW).
void RollingMatrixOf(const FingerPose& P, const double RC[3], const double NW[3],
                     double JB[4][4]) {
  for (int j = 1; j <= 4; ++j) {
    double z[3], d[3], c[3];
    MatColumn(P.EAs[j], 2, z);
    VecSub(RC, P.JA[j], d);
    VecCross(z, d, c);
    for (int i = 0; i < 3; ++i) JB[i][j - 1] = c[i];
    JB[3][j - 1] = VecDot(z, NW);
  }
}

}  // namespace

void RollingMatrix(const Model& m, const FingerMount& f, const double* q, const double RC[3],
                   const double NW[3], double JB[4][4]) {
  RollingMatrixOf(Findirect_kineR(m, f, q), RC, NW, JB);
}

double RollingConditioning(const Model& m, const FingerMount& f, const double* q,
                           const double RC[3], const double NW[3]) {
  double JB[4][4];
  RollingMatrix(m, f, q, RC, NW, JB);
  return MatMinSingular(4, &JB[0][0], 4);
}

double LatestConditioning(const Sim& s, int kf) {
  if (s.cntManip0 > 0 && !s.placed[kf]) return MatMinSingular(4, &s.ManipJB2[kf][0][0], 4);
  return RollingConditioning(s.model(), s.mount(kf), s.qqa2[1][kf], s.ManipCPNTA2[1][kf],
                             s.ManipNWA2[1][kf]);
}

double BaseSideOfContact(const Model& m, const FingerMount& f, const double RC[3],
                         const double NW[3]) {
  // joint 1 sits where the base frame puts it whatever the angles
  double JA1[3], d[3];
  MatVec(f.frame, m.Ls[1], d);
  VecAdd(f.base, d, JA1);
  VecSub(JA1, RC, d);
  return VecDot(d, NW);
}

JointRates PRCirMotion1VN2(const Model& m, const FingerMount& f, const double* q1,
                           const double RC1[3], const double NW1[3], const WorkMotion& wm,
                           Notes* notes, const double (*JB1)[4]) {
  // velocity of the work's material point at the contact, spin about the normal
  double r[3], w[3], vwc[3];
  VecSub(RC1, wm.centre, r);
  VecCross(wm.omw, r, w);
  VecAdd(wm.vw, w, vwc);
  const double omwn = VecDot(wm.omw, NW1);

  double JB[4][4];
  if (JB1 != nullptr)
    std::memcpy(JB, JB1, sizeof JB);
  else
    RollingMatrix(m, f, q1, RC1, NW1, JB);
  const double V[4] = {vwc[0], vwc[1], vwc[2], omwn};
  double x[4];
  JointRates out;
  out.det = MatSolve(4, &JB[0][0], 4, V, x, notes);
  out.ok = std::fabs(out.det) >= kSingularDet;
  if (out.ok)
    for (int j = 1; j <= 4; ++j) out.nu[j] = x[j - 1];
  return out;
}

char PRCirMotion24(Sim& s, const PRStepFixed& in, PRStepResult& out) {
  // from the latest angles pushed on by their change over the last step (the first
  // PR motion's angles right after the grasp and on a new command's first step), to
  // the root of the step's equations
  char sgn = PRCirMotion2Newton4(s, in, out);
  if (sgn != 'Y') s.notes.push_back(Note{Note::FingerStuck, in.kf, sgn});
  const Model& m = s.model();
  const FingerMount& f = *in.mount;
  if (sgn != 'D' && !FiniteResult(m, out)) {
    sgn = 'D';
  } else if (sgn != 'D' &&
             BaseSideOfContact(m, f, in.RC1, in.NW1) * BaseSideOfContact(m, f, out.RC2, out.NW2) <=
                 0.0) {
    // A pose whose base lies across the contact's tangent plane from where it was is
    // the mirror solution of the step's equations, which no rolling motion reaches:
    // it is no solution (the step is retried with a smaller time step).
    s.notes.push_back(Note{Note::FingerStuck, in.kf, 'D'});
    sgn = 'D';
  }
  if (sgn == 'D') KeepBefore(in, out);
  return sgn;
}

namespace {

// The last link's frame at finger kf's latest angles, as the step that led there kept
// it, when it was kept for those angles on the selected work (null otherwise).
const Sim::KeptLinkFrame* KeptLink(const Sim& s, int kf) {
  const Sim::KeptLinkFrame& k = s.keptLink[kf];
  if (s.cntManip0 == 0 || k.model != &s.model() || k.work != s.WORK1) return nullptr;
  const size_t n = sizeof(double) * static_cast<size_t>(s.nJ());  // joints 1..nJ
  if (std::memcmp(k.q + 1, s.qqa2[1][kf] + 1, n) != 0) return nullptr;
  return &k;
}

// PRStepBefore with what the step that led to finger kf's latest angles kept of them.
void StepBefore(const Sim& s, int kf, PRStepFixed& in, const double Ew1[3][3],
                const JointTurns* turns) {
  const Sim::KeptLinkFrame* k = KeptLink(s, kf);
  if (k == nullptr) {
    PRStepBefore(s.model(), in, Ew1, nullptr, nullptr, turns);
    return;
  }
  JointTrig t;
  std::memcpy(t.c, k->cq, sizeof t.c);
  std::memcpy(t.s, k->sq, sizeof t.s);
  PRStepBefore(s.model(), in, Ew1, k->EA, &t, turns);
}

}  // namespace

PRStepFixed PRStepInputs(const Sim& s, int kf, const WorkPose& from, const WorkPose& to,
                         const JointTurns* turns) {
  const Model& m = s.model();
  PRStepFixed in;
  in.kf = kf;
  in.placed = s.placed[kf];
  if (s.ManipJinvOk[kf]) in.Jinv0 = s.ManipJinv2[kf];
  // a finger placed since its last step has no rolling matrix kept: it is computed
  if (s.cntManip0 > 0 && !s.placed[kf]) in.JB1 = s.ManipJB2[kf];
  for (int j = 0; j < kSlots; ++j) in.q1[j] = in.q12[j] = s.qqa2[1][kf][j];
  const ContactPrm& prm1 = s.ManipPrm2[1][kf];
  in.Lf1 = prm1.Lf;
  in.fif1 = prm1.fif;
  in.thw1 = prm1.thw;
  VecCopy(s.ManipCPNTA2[1][kf], in.RC1);
  VecCopy(s.ManipNWA2[1][kf], in.NW1);
  MatCopy(to.E, in.Ew2);
  if (s.WORK1 == '1') {
    // the moved sphere's centre and the old contact point carried along with it
    in.work = '1';
    in.part = s.GGTYPE[kf][0];
    in.psif1 = prm1.psif;
    in.alw1 = prm1.alw;
    in.betw1 = prm1.betw;
    double n[3], nA[3];
    SphereNormal(prm1.alw, prm1.betw, n);
    MatVec(to.E, n, nA);
    VecCopy(to.r, in.rwP2);
    VecAddScaled(to.r, m.aSph, nA, in.rwc3);
    StepBefore(s, kf, in, from.E, turns);
    return in;
  }
  StepBefore(s, kf, in, from.E, turns);
  // the contacted rim on the moved work and the old contact carried with it
  const double ct = in.cthw1, sn = in.sthw1;
  for (int i = 0; i < 3; ++i) {
    in.rwP2[i] = to.r[i] + (s.sgnUML[kf] == 'U' ? m.hCyl * to.E[i][2] : 0.0);
    in.rwc3[i] = in.rwP2[i] + m.aCyl * (ct * to.E[i][0] + sn * to.E[i][1]);
  }
  return in;
}

JointRates PRStepPredict(Sim& s, const WorkPose& from, const double vw[3], const double omw[3],
                         PRStepFixed& in) {
  // the work's material velocity is vw at the point it turns about
  WorkMotion wm;
  WorkTurnCentre(s.model(), s.WORK1, from.r, from.E, wm.centre);
  VecCopy(vw, wm.vw);
  VecCopy(omw, wm.omw);
  const JointRates rates =
      PRCirMotion1VN2(s.model(), *in.mount, in.q1, in.RC1, in.NW1, wm, &s.notes, in.JB1);
  // near a singular posture the rates are wild: a prediction that turns a joint by
  // more than kMaxPredictedStep is not trusted and the finger starts where it was
  double predicted = 0.0;
  for (int j = 1; j <= s.nJ(); ++j)
    predicted = std::fmax(predicted, std::fabs(s.dt * rates.nu[j]));
  const bool trusted = predicted <= kMaxPredictedStep;
  for (int j = 0; j < kSlots; ++j) in.q12[j] = in.q1[j];
  in.predicted = false;
  for (int j = 1; j <= s.nJ() && trusted; ++j) {
    in.q12[j] = in.q1[j] + s.dt * rates.nu[j];
    in.predicted = in.predicted || rates.nu[j] != 0.0;
  }
  return rates;
}

namespace {

// a deadlock at a time step below this ends the step: the time steps tried shrink by
// sqrt(10) from kFirstDt, so the last one tried is 5e-6 (1.58e-5 is not below it)
constexpr double kSmallestDt = err5;

// The start of a step: the work before the move and the commanded velocity (the
// angular one also in the hand frame, for the work's frame at the start).
struct StepStart {
  WorkPose from;
  const double* vw;
  const double* omww;
  double omw[3];
  bool newCommand;  // the command differs from the last step's (CommandChanged)
  JointTurns turns;  // of the model's joint frames, for every finger's kinematics
};

// What an attempt computed for every finger; recorded only when the step completes.
struct StepResult {
  WorkPose to;
  CylinderSolid solid;  // the moved work as a solid (cylinder work)
  double rwP2[kSlots][3];
  PRStepResult res[kSlots];
  double JB[kSlots][4][4];  // each finger's rolling matrix in its new pose
  double EA[kSlots][3][3];  // each finger's last link frame in its new pose
  JointTrig trig[kSlots];   // the cos and sin of each finger's new angles
};

// What one finger's solve found: the letter of its rolling solve ('Y', 'O' or 'D'),
// its verdict (that letter, or 'C' when its new pose meets the work) and, then, the
// link that meets it.
struct FingerVerdict {
  char solve = 'Y';
  char verdict = 'Y';
  int link = -1;
};

// What an attempt of a step came to: 'Y' the fingers all solved (status then holds
// the step's letter), 'D' a finger found no rolling motion, 'C' the moved work meets
// the palm, 'N' the move is not a finite pose; the finger and link of a collision.
struct AttemptOutcome {
  char attempt = 'Y';
  char status = 'Y';
  int collFinger = 0, collLink = 0;
  bool collided = false;  // a finger or the palm met the work in this attempt
};

// Whether finger kf in its new pose (P2, at the angles q2) meets the moved work: any
// link of it, or the palm with the last finger; link receives the link that does
// (nJ + 1 the last one). The contacting link may touch the work only: on the cylinder
// it may touch the rim but not enter the side or an end face (Lf, when given, is
// where it touches), on the sphere it may reach into it by no more than kLinkDepthTol.
bool FingerMeetsMovedWork(Sim& s, const StepResult& r, int kf, const FingerPose& P2,
                          const double* q2, const double* Lf, int* link) {
  const Model& m = s.model();
  if (s.WORK1 == '1') return FingerMeetsSphere(m, kf, q2, r.to.r, link);
  // the links (the palm has been checked against the moved work already)
  return FingerMeetsCylinder(m, P2, r.solid, Lf, &s.notes, link);
}

// Finger kf rolled onto the moved work: 'Y', 'O' (off the link), 'D' (no rolling
// motion; its state before the step is kept) or 'C' (its new pose meets the work).
FingerVerdict SolveFinger(Sim& s, const StepStart& st, StepResult& r, int kf) {
  PRStepFixed in = PRStepInputs(s, kf, st.from, r.to, &st.turns);
  VecCopy(in.rwP2, r.rwP2[kf]);
  PRStepPredict(s, st.from, st.vw, st.omw, in);
  in.newCommand = st.newCommand;

  // The step's equations solved to their root, from the first PR motion's angles
  // right after the grasp and on a new command's first step, and from their
  // second-order continuation later (a first PR motion that already satisfies them
  // leads to the same root).
  PRStepResult& out = r.res[kf];
  FingerVerdict v;
  v.solve = PRCirMotion24(s, in, out);
  v.verdict = v.solve;
  if (v.solve == 'D') return v;
  // the finger's new pose: its rolling matrix goes with the record, and the finger
  // must stay clear of the work
  // from the angles themselves (not the cos and sin the solve carried along): what the
  // step keeps of this pose is what any later computation from the angles finds
  JointSinCos(s.model(), out.q2, r.trig[kf]);
  const FingerPose P2 = FingerPoseOfTurns(s.model(), s.mount(kf), in.turns, r.trig[kf]);
  RollingMatrixOf(P2, out.RC2, out.NW2, r.JB[kf]);
  MatCopy(P2.EA[s.nJ()], r.EA[kf]);
  if (v.solve == 'Y' && FingerMeetsMovedWork(s, r, kf, P2, out.q2, &out.Lf2, &v.link))
    v.verdict = 'C';
  return v;
}

// Finger kf lifted off the work by a gait: not solved, its angles and the contact it
// left held ('L'); its verdict is 'C' when the moved work runs into it, else 'Y'.
FingerVerdict HoldLifted(Sim& s, StepResult& r, int kf) {
  const Model& m = s.model();
  PRStepResult& out = r.res[kf];
  out = PRStepResult{};
  for (int j = 0; j < kSlots; ++j) out.q2[j] = s.qqa2[1][kf][j];
  const ContactPrm& p = s.ManipPrm2[1][kf];
  out.Lf2 = p.Lf;
  out.fif2 = p.fif;
  out.thw2 = p.thw;
  out.psif2 = p.psif;
  out.alw2 = p.alw;
  out.betw2 = p.betw;
  VecCopy(s.ManipCPNTA2[1][kf], out.RC2);
  VecCopy(s.ManipNWA2[1][kf], out.NW2);
  for (int i = 0; i < 3; ++i)
    r.rwP2[kf][i] =
        r.to.r[i] + (s.WORK1 != '1' && s.sgnUML[kf] == 'U' ? m.hCyl * r.to.E[i][2] : 0.0);
  std::memcpy(r.JB[kf], s.ManipJB2[kf], sizeof r.JB[kf]);
  FingerVerdict v;
  v.solve = 'L';
  JointSinCos(m, out.q2, r.trig[kf]);
  const FingerPose P2 = FingerPoseOfTurns(m, s.mount(kf), JointTurnsOf(m), r.trig[kf]);
  MatCopy(P2.EA[m.nJ], r.EA[kf]);
  if (FingerMeetsMovedWork(s, r, kf, P2, out.q2, nullptr, &v.link)) v.verdict = 'C';
  return v;
}

// One attempt of the step with the time step s.dt, every finger solved for the same
// move of the work. Each solved finger's rolling letter goes to s.sgnC (a finger
// after one that found no motion keeps its letter of the attempt before).
AttemptOutcome Attempt(Sim& s, const StepStart& st, StepResult& r) {
  const Model& m = s.model();
  AttemptOutcome o;
  r.to = MoveWorkStep(s.model(), s.WORK1, st.vw, st.omww, s.dt, st.from);
  if (!VecFinite(r.to.r) || !MatFinite(r.to.E)) {
    o.attempt = 'N';
    return o;
  }
  if (s.WORK1 != '1') r.solid = WorkCylinder(m, r.to.r, r.to.E);
  double Lc = 0.0;
  const bool palm = s.WORK1 == '1'
                        ? RPalmSphereCollision(m.hPalm, m.rPalm, r.to.r, m.aSph, 0.0) != 'F'
                        : !PalmFaceClearOfCylinder(m, r.solid) &&
                              RPalmCylinderCollision2(m, r.solid, &Lc) != 'F';
  if (palm) {
    o.attempt = 'C';
    o.collided = true;
    o.collFinger = -1;  // the palm: the finger of an earlier collision stays
    o.collLink = 0;
    return o;
  }
  for (int kf = 1; kf <= s.nF(); ++kf) {
    const FingerVerdict v = s.lifted[kf] ? HoldLifted(s, r, kf) : SolveFinger(s, st, r, kf);
    s.sgnC[kf] = v.solve;
    if (v.verdict == 'C') {
      o.collided = true;
      o.collFinger = kf;
      o.collLink = v.link;
    }
    if (v.solve == 'D') {
      s.notes.push_back(Note{Note::StepStuck, kf, 'D', s.dt});
      o.attempt = 'D';
      return o;
    }
    // a finger whose contact left it reports over an earlier finger's collision;
    // otherwise the first letter other than 'Y' stands (a lifted finger's is its verdict)
    const bool solved = v.solve == 'Y' || v.solve == 'L';
    o.status = !solved ? v.solve : MergeManipStatus(o.status, kf, v.verdict);
  }
  return o;
}

// Records every finger of a completed step as step M+1, and the command (vw, omww)
// it was run with; on the rim Lw and Ltw keep their values, on the sphere they follow
// the contact's latitude. Drawing the new pose is the caller's.
void RecordStep(Sim& s, int M, const StepResult& r, const double vw[3], const double omww[3]) {
  const int nF = s.nF(), nJ = s.nJ();
  for (int kf = 1; kf <= nF; ++kf) {
    const PRStepResult& out = r.res[kf];
    const ContactPrm& prm1 = s.ManipPrm2[1][kf];
    ContactPrm prm2{out.Lf2, out.fif2, kHalfPiC, prm1.Lw, prm1.Ltw, out.thw2};
    if (s.lifted[kf]) {
      prm2 = prm1;  // a lifted finger keeps the contact it left
    } else if (s.WORK1 == '1') {
      prm2.psif = out.psif2;
      prm2.alw = out.alw2;
      prm2.betw = out.betw2;
      SphereAnglesPrm(s.model().aSph, prm2);
    }
    StoreCylinderManipData5(s, M + 1, kf, s.dt,
                            {out.q2, prm2, r.to.r, r.rwP2[kf], r.to.E, out.RC2, out.NW2});
    s.ManipJinvOk[kf] = out.JinvOk;
    s.ManipRootErr[kf] = out.err;
    s.placed[kf] = false;  // its history now holds a step's change
    std::memcpy(s.ManipJB2[kf], r.JB[kf], sizeof r.JB[kf]);
    Sim::KeptLinkFrame& kept = s.keptLink[kf];
    MatCopy(r.EA[kf], kept.EA);
    std::memcpy(kept.q, out.q2, sizeof kept.q);
    std::memcpy(kept.cq, r.trig[kf].c, sizeof kept.cq);
    std::memcpy(kept.sq, r.trig[kf].s, sizeof kept.sq);
    kept.model = &s.model();
    kept.work = s.WORK1;
    if (out.JinvOk) std::memcpy(s.ManipJinv2[kf], out.Jinv, sizeof out.Jinv);
    const int row = s.cntMainip1;
    for (int j = 0; j <= nJ; ++j) s.qqa[row][kf][j] = out.q2[j];
    for (int k = kf + 1; k <= nF; ++k)
      for (int j = 0; j <= nJ; ++j) s.qqa[row][k][j] = s.qqa2[0][k][j];
  }
  for (int i = 0; i < 3; ++i) {
    s.ManipCmd2[i] = vw[i];
    s.ManipCmd2[3 + i] = omww[i];
  }
  s.cntManip0 = M + 1;
  StoreCommand(s, vw, omww);
}

}  // namespace

namespace {

// The step's letter before any motion: 'F' once the record is full (RecordFull,
// whatever else holds), 'R' for a grasp the rolling motion is not defined for, 'D'
// for a velocity that is not finite (it would carry NaN into the record); 'Y' to go on.
char StepRefusal(const Sim& s, const double vw[3], const double omww[3]) {
  if (RecordFull(s)) return 'F';
  const int nF = s.model().nF, nJ = s.model().nJ;
  // defined for four-joint fingers whose links touch a rim, or whose links or tips
  // touch the sphere
  if (nF < 1 || nF >= kSlots || nJ != 4) return 'R';
  for (int kf = 1; kf <= nF; ++kf)
    if (!s.lifted[kf] && !GraspRolls(s, kf)) return 'R';
  if (!VecFinite(vw) || !VecFinite(omww)) return 'D';
  return 'Y';
}

// Solves the step into r: the step's letter, and whether r is to be recorded.
struct StepOutcome {
  char status = 'Y';
  bool record = false;
};

StepOutcome SolveStep(Sim& s, const double vw[3], const double omww[3], int attempts,
                      StepResult& r) {
  // work pose before the step (both history slots hold it once a step is complete)
  StepStart st;
  const int M2 = (s.cntManip0 != 0) ? 1 : 0;
  VecCopy(s.ManipRW2[M2], st.from.r);
  MatCopy(s.ManipEW2[M2], st.from.E);
  st.vw = vw;
  st.omww = omww;
  MatVec(st.from.E, omww, st.omw);
  st.newCommand = CommandChanged(s, vw, omww);
  JointTurnsOf(s.model(), st.turns);

  // Every attempt solves all fingers for the same move of the work before any is
  // recorded, so a deadlock retries the whole step from the same start with a time
  // step smaller by sqrt(10), and a final deadlock leaves the record as it was. The
  // first time step of every call is kFirstDt; a reduced one is not carried over.
  // The attempt count ends the step only for a caller that asks for fewer time steps.
  int n = 1;
  for (s.dt = kFirstDt;; s.dt /= std::sqrt(10.0), ++n) {
    const AttemptOutcome o = Attempt(s, st, r);
    if (o.collided) {  // where the work was met, as the step's report names it
      if (o.collFinger > 0) s.COLLkf = o.collFinger;
      s.COLLlink = o.collLink;
    }
    if (o.attempt == 'Y') return {o.status, true};
    if (o.attempt == 'N' || o.attempt == 'C' || s.dt < kSmallestDt || n >= attempts)
      return {o.attempt == 'C' ? 'C' : 'D', false};
  }
}

}  // namespace

char PRCircleManip4(Sim& s, const double vw[3], const double omww[3], int attempts) {
  StepOutcome out{StepRefusal(s, vw, omww), false};
  StepResult r;
  if (out.status == 'Y') out = SolveStep(s, vw, omww, attempts, r);
  s.sgnMANIP = out.status;  // the one place a step sets its status
  if (out.record) RecordStep(s, s.cntManip0, r, vw, omww);
  return out.status;
}

}  // namespace rg
