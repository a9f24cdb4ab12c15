// Finger gaits: a finger lifted off the work and placed on it again.
#include "grasp/gait.h"

#include <cassert>
#include <cmath>

#include "grasp/grasp.h"
#include "interference/interference.h"
#include "numerics/vecmat.h"
#include "record/grasp_quality.h"
#include "record/store.h"

namespace rg {
namespace {

// The work where the record's latest slot has it: where the next step starts.
WorkPose LatestWork(const Sim& s) { return WorkPoseOf(s.ManipRW2[1], s.ManipEW2[1]); }

// The refusals both gaits share, in the order they are checked; 'Y' when none holds.
// A lift needs the finger touching, a place needs it lifted.
char SharedRefusal(const Sim& s, int kf, bool wantLifted) {
  if (s.sgnCALGEnd != 'Y') return 'G';
  if (s.sgnMANIP != 'Y') return 'S';
  if (s.lifted[kf] != wantLifted) return 'T';
  if (RowGaitsFull(s)) return 'F';
  return 'Y';
}

// Whether finger kf meets the work (in its latest pose) anywhere on the straight way
// in joint space from the angles `from` to `to` (the start left out: it may touch),
// or comes no farther than kLinkDepthTol from it at `to`; link receives the link.
bool WayMeetsWork(Sim& s, int kf, const double* from, const double* to, int* link) {
  const Model& m = s.model();
  const WorkPose w = LatestWork(s);
  double q[kSlots] = {};
  for (int i = 1; i <= kGaitPathPoses; ++i) {
    const double f = static_cast<double>(i) / kGaitPathPoses;
    q[0] = to[0];
    for (int j = 1; j <= m.nJ; ++j) q[j] = from[j] + f * (to[j] - from[j]);
    if (FingerMeetsWork(m, s.WORK1, kf, q, w.r, w.E, &s.notes, link)) return true;
  }
  // the pre-shape itself is off the work, not merely touching it
  int nearest = -1;
  if (FingerClearance(m, s.WORK1, kf, to, w.r, w.E, &nearest) > kLinkDepthTol) return false;
  *link = nearest;
  return true;
}

// The angles a gait moves to: the given pre-shape (joints 1..nJ), else `fallback`.
void TargetAngles(const Model& m, const double* preshape, const double* fallback,
                  double q[kSlots]) {
  for (int j = 0; j < kSlots; ++j) q[j] = fallback[j];
  if (preshape != nullptr)
    for (int j = 1; j <= m.nJ; ++j) q[j] = preshape[j];
}

GaitEvent Begin(const Sim& s, char kind, int kf) {
  assert(kf >= 1 && kf <= s.model().nF);
  GaitEvent g;
  g.kind = kind;
  g.finger = kf;
  g.step = s.cntManip0;
  return g;
}

// Keeps g as the state's last gait and, when it was done, in the next row's column.
GaitEvent Finish(Sim& s, const GaitEvent& g) {
  s.gait = g;
  if (g.verdict == 'Y') NoteRowGait(s, g.kind, g.finger);
  return g;
}

}  // namespace

GaitEvent LiftFinger(Sim& s, int kf, const double* preshape) {
  const Model& m = s.model();
  GaitEvent g = Begin(s, 'L', kf);
  g.verdict = SharedRefusal(s, kf, false);
  if (g.verdict != 'Y') return Finish(s, g);
  // the contacts that stay must hold the work
  const QualityResult rest = GraspQualityWithout(s, kf, QualityMeasures::ClosureAndEpsilon);
  g.epsilon = rest.epsilon;
  if (!rest.force_closure) {
    g.verdict = 'H';
    return Finish(s, g);
  }
  double to[kSlots];
  TargetAngles(m, preshape, s.qq0[kf], to);
  to[0] = s.qqa2[1][kf][0];
  if (preshape == nullptr) to[m.nJ] = std::fmin(s.qq0[kf][m.nJ], s.qqa2[1][kf][m.nJ]) - kGaitOpening;
  if (WayMeetsWork(s, kf, s.qqa2[1][kf], to, &g.link)) {
    g.verdict = 'C';
    return Finish(s, g);
  }
  // the finger stands at its pre-shape; its history keeps the contact it left
  for (int k = 0; k < 2; ++k)
    for (int j = 0; j <= m.nJ; ++j) s.qqa2[k][kf][j] = to[j];
  s.lifted[kf] = true;
  s.placed[kf] = false;
  s.ManipJinvOk[kf] = false;
  g.verdict = 'Y';
  return Finish(s, g);
}

GaitEvent PlaceFinger(Sim& s, int kf, const double* preshape) {
  const Model& m = s.model();
  GaitEvent g = Begin(s, 'P', kf);
  g.verdict = SharedRefusal(s, kf, true);
  if (g.verdict != 'Y') return Finish(s, g);
  double q0[kSlots];
  TargetAngles(m, preshape, s.qqa2[1][kf], q0);
  if (preshape != nullptr && WayMeetsWork(s, kf, s.qqa2[1][kf], q0, &g.link)) {
    g.verdict = 'C';
    return Finish(s, g);
  }
  // the grasp's first touch of this one finger, on the work where it stands now
  const WorkPose w = LatestWork(s);
  FingerContact c;
  if (FingerFirstTouch(s, kf, q0, w, c) != 1) {
    g.verdict = 'N';
    return Finish(s, g);
  }
  g.type[0] = c.GTYPE[0];
  g.type[1] = c.GTYPE[1];
  if (!ContactRolls(s.WORK1, c.GTYPE, c.sgnUML)) {
    g.verdict = 'R';
    return Finish(s, g);
  }
  // at its contact the finger touches the work and meets it nowhere else
  bool meets;
  if (s.WORK1 == '1') {
    meets = FingerMeetsSphere(m, kf, c.qf, w.r, &g.link);
  } else {
    const FingerPose P = Findirect_kineR(m, s.mount(kf), c.qf);
    meets = FingerMeetsCylinder(m, P, WorkCylinder(m, w.r, w.E), &c.prm.Lf, &s.notes, &g.link);
  }
  if (meets) {
    g.verdict = 'C';
    return Finish(s, g);
  }
  double rwP[3];
  ContactReferencePoint(m, w, c.sgnUML, c.prm.Lw, rwP);
  StorePlacedContact(s, kf, {c.qf, c.prm, w.r, rwP, w.E, c.RC, c.NW});
  s.GGTYPE[kf][0] = c.GTYPE[0];
  s.GGTYPE[kf][1] = c.GTYPE[1];
  s.sgnUML[kf] = c.sgnUML;
  g.link = -1;
  g.verdict = 'Y';
  return Finish(s, g);
}

}  // namespace rg
