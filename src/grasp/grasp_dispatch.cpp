// Contact-type dispatcher: where a finger first touches the cylinder work as its
// last joint turns. The work is expressed in the last joint's frame Σm, the rim
// that the link's slab can reach is chosen, the five contact candidates are
// solved and the one reached first is converted back to the hand frame ΣA.
#include <cassert>
#include <cmath>

#include "core/model.h"
#include "grasp/grasp.h"
#include "grasp/grasp_util.h"
#include "hand/hand.h"
#include "interference/interference.h"
#include "numerics/vecmat.h"
#include "work/work.h"

namespace rg {
namespace {

constexpr double kRimInPlane = 1e-12;  // rim z extent below this: rim parallel to the link plane
constexpr double kCrossSlack = 1e-8;   // |cos| up to 1 + this still crosses (rounding), clamped
constexpr double kSlabSlack = 1e-7;    // the slab |z| <= aFin is narrowed by this on both sides
constexpr double kNoAngle = 1000.0;    // candidate angle of "no contact", above every real one

}  // namespace

// ------------------------------------------------------------------ rim choice

int CircleZmPlaneCPnt(const Model& m, const RimM& rim, double out[4], char& plane) {
  const double* c = rim.C;
  const double* xw = rim.xw;
  const double* yw = rim.yw;
  const double aw = m.aCyl;
  // z(theta) = c_z + aw*U*cos(theta - S) along the rim
  const double U = std::sqrt(xw[2] * xw[2] + yw[2] * yw[2]);
  const double S = std::atan2(yw[2], xw[2]);
  const double awU = aw * U;

  auto rimAt = [&](double th, double P[3]) {
    for (int i = 0; i < 3; ++i) P[i] = c[i] + aw * (std::cos(th) * xw[i] + std::sin(th) * yw[i]);
  };
  // Joint angle estimate at rim angle th; with the correction, the link's side
  // (not its axis) reaches the point.
  auto estimate = [&](double th, bool correct, double& q, double& r) {
    double P[3];
    rimAt(th, P);
    r = std::sqrt(P[0] * P[0] + P[1] * P[1]);
    q = std::atan2(P[1], P[0]) - (correct ? std::atan(m.aFin / r) : 0.0);
  };
  auto cross = [&](double zp, char letter, bool correct) -> bool {
    if (!(awU > kRimInPlane)) return false;  // rim parallel to the planes
    double cb = (zp - c[2]) / awU;
    if (!(std::fabs(cb) <= 1.0 + kCrossSlack)) return false;
    if (cb > 1.0) cb = 1.0;
    if (cb < -1.0) cb = -1.0;
    const double th1 = WrapPiC(S + std::acos(cb));
    const double th2 = WrapPiC(S - std::acos(cb));
    double q1, r1, q2, r2;
    estimate(th1, correct, q1, r1);
    estimate(th2, correct, q2, r2);
    const bool first = q1 < q2;
    out[0] = first ? q1 : q2;
    out[1] = first ? r1 : r2;
    out[2] = first ? th1 : th2;
    out[3] = 0.0;
    plane = letter;
    return true;
  };

  if (cross(0.0, '0', true)) return 1;
  if (cross(m.aFin, 'P', false)) return 1;
  if (cross(-m.aFin, 'M', false)) return 1;

  // No crossing: the rim lies wholly inside the slab or wholly outside it. Estimate
  // from the rim point nearest to the link plane z = 0 (for a rim parallel to the
  // plane, the point nearest to the joint axis).
  double th;
  if (awU > kRimInPlane) {
    th = WrapPiC(c[2] > 0.0 ? S + kPiC : S);
  } else {
    double v[3] = {-c[0], -c[1], 0.0};
    th = std::atan2(VecDot(v, yw), VecDot(v, xw));
  }
  double q, r;
  estimate(th, true, q, r);
  out[0] = q;
  out[1] = r;
  out[2] = th;
  out[3] = 0.0;
  plane = 'N';
  return 0;
}

char CylinderZmPlaneCross(const Model& m, const WorkM& w, char& sgnZm1, char& sgnZm2,
                          double* start) {
  const double afp = m.aFin - kSlabSlack;
  const RimM lower = RimOf(m, w, 'L'), upper = RimOf(m, w, 'U');
  const double* xw = lower.xw;
  const double* yw = lower.yw;
  const double am = m.aCyl * std::sqrt(xw[2] * xw[2] + yw[2] * yw[2]);  // half z extent of a rim

  // 'R' wholly above the slab, 'L' wholly below, 'M' meets it
  auto side = [&](double cz) {
    if (afp < cz - am) return 'R';
    if (-afp > cz + am) return 'L';
    return 'M';
  };
  sgnZm1 = side(lower.C[2]);
  sgnZm2 = side(upper.C[2]);

  if (sgnZm1 == 'M' && sgnZm2 == 'M') {
    // both rims meet the slab: the one met at the smaller joint angle
    double oL[4], oU[4];
    char pl;
    CircleZmPlaneCPnt(m, lower, oL, pl);
    CircleZmPlaneCPnt(m, upper, oU, pl);
    const double* o = (oL[0] < oU[0]) ? oL : oU;
    if (start != nullptr) {
      start[0] = o[0];
      start[1] = o[2];
    }
    return (oL[0] < oU[0]) ? 'L' : 'U';
  }
  if (sgnZm1 == 'M') return 'L';
  if (sgnZm2 == 'M') return 'U';
  if (sgnZm1 == sgnZm2) return 'N';  // the whole cylinder on one side of the slab
  return 'M';                        // the slab cuts the side surface only
}

// ------------------------------------------------------------ swept first touch

namespace {

constexpr double kSweepStep = 0.02;    // scan step of the closing angle (rad)
constexpr double kTouchDepth = 1e-4;   // deeper counts as the link inside the work
constexpr double kSweepAgree = 1e-5;   // a contact this near the swept touch is that touch
constexpr int kSweepBisections = 50;   // halvings of the scan step that brackets the touch
constexpr double kRetryTipBack = 0.1;  // the tip-rim solver's own start offset, taken back
constexpr double kJointBall = 1e-6;  // a touch nearer the joint than this times lFin is the joint's

// Signed distance between the capsule of the last link at angle q and the solid
// work; t receives where along the axis (0..lFin) it is smallest.
double CapsuleGap(const Model& m, double q, const CylinderSolid& w, double* t) {
  const double o[3] = {0, 0, 0};
  const double tip[3] = {m.lFin * std::cos(q), m.lFin * std::sin(q), 0.0};
  double u = 0.0;
  const double d = SegmentCylinderDistance(o, tip, w, &u);
  if (t != nullptr) *t = u * m.lFin;
  return d - m.aFin;
}

// Whether the capsule of the last link at angle q reaches deeper than depth into
// the work: CapsuleGap(q) < -depth. tContact is where along the axis (0..lFin) the
// link touches the work at q; the signed distance from the convex work is convex along
// the axis, so its secants beside that point bound it from below over the whole link
// and mostly decide at once (the full search decides otherwise, with the same answer).
bool CapsuleDeeperThan(const Model& m, double q, const WorkM& w, double depth, double tContact) {
  const double o[3] = {0, 0, 0};
  const double tip[3] = {m.lFin * std::cos(q), m.lFin * std::sin(q), 0.0};
  return !LinkWithinDepth(o, tip, m.aFin, WorkCylinder(m, w.rwM, w.EwM), depth, &tContact);
}

}  // namespace

bool SweepFirstTouch(const Model& m, const WorkM& wM, SweptTouch& st) {
  const CylinderSolid w = WorkCylinder(m, wM.rwM, wM.EwM);  // the work once for the whole sweep
  double lo = -kHalfPiC;
  if (!(CapsuleGap(m, lo, w, nullptr) > 0.0)) return false;  // in the work from the start
  for (double hi = lo + kSweepStep; hi <= kPiC; lo = hi, hi += kSweepStep) {
    if (CapsuleGap(m, hi, w, nullptr) > 0.0) continue;
    for (int it = 0; it < kSweepBisections; ++it) {
      const double mid = 0.5 * (lo + hi);
      if (CapsuleGap(m, mid, w, nullptr) > 0.0)
        lo = mid;
      else
        hi = mid;
    }
    st.q = hi;
    CapsuleGap(m, hi, w, &st.t);
    return st.t > kJointBall * m.lFin;  // the ball about the joint stands for no link contact
  }
  return false;
}

// ------------------------------------------------------------------- selection

int SelectContactCandidate(const char solC[6], const double qc[6]) {
  if (solC[1] == 'Y') return 1;  // a link contact on the side always wins
  int K = 0;
  double qmin = kNoAngle;
  for (int k = 2; k <= 5; ++k) {
    if (solC[k] == 'Y' && qc[k] < qmin) {
      qmin = qc[k];
      K = k;
    }
  }
  return K;
}

namespace {

char SideLetter(int code, char on) {
  if (code == 0) return 'N';
  if (code == 1 || code == 2) return on;
  return code > 1 ? 'U' : 'B';
}

void SetType(char T[2], char a, char b) {
  T[0] = a;
  T[1] = b;
}

}  // namespace

namespace {

// The work in the frame of the finger's last joint, and what every candidate needs.
struct WorkInM {
  const Model& m;
  WorkM w;
  double xw[3], yw[3], zw[3];
  RimM lower, upper;
  WorkInM(const Model& model, const WorkM& pose)
      : m(model), w(pose), lower(RimOf(model, pose, 'L')), upper(RimOf(model, pose, 'U')) {
    VecCopy(lower.xw, xw);
    VecCopy(lower.yw, yw);
    VecCopy(lower.zw, zw);
  }
  const RimM& Rim(char rim) const { return rim == 'L' ? lower : upper; }
  double Lw(char rim) const { return rim == 'U' ? m.hCyl : 0.0; }
  // outward normal of the end face of a rim: -zw below, zw above
  void FaceNormal(char rim, double n[3]) const {
    if (rim == 'L')
      VecNeg(zw, n);
    else
      VecCopy(zw, n);
  }
};

// Where along the last link's axis (0 at the joint, lFin at the tip centre) candidate
// K touches the work: Lf on the link, the tip centre for the fingertip.
double ContactAlongLink(const Model& m, int K, const ContactM& c) {
  return (K == 1 || K == 3) ? c.prm.Lf : m.lFin;
}

char Verdict(bool valid, const ContactM& c) {
  if (valid) return 'Y';
  return (c.solF == 0 || c.solW == 0) ? 'N' : 'O';
}

// candidate 1: the link on the side surface
void LinkOnSide(GraspCandidates& G, double q0n, const WorkInM& w, Notes* notes) {
  ContactM& c = G.c[1];
  FinLinkCylinderContactm2(w.m, q0n, w.w, c, nullptr, notes);
  c.prm.psif = kHalfPiC;
  c.prm.Ltw = w.m.aCyl;
  SetType(G.GTYPE1[1], SideLetter(c.solF, 'L'), SideLetter(c.solW, 'L'));
  G.solC[1] = Verdict(c.solF == 1 && c.solW == 1, c);
}

// candidate 2: the fingertip on the side surface
void TipOnSide(GraspCandidates& G, double q0n, const WorkInM& w, Notes* notes) {
  ContactM& c = G.c[2];
  FinTipCylinderContactm2(w.m, q0n, w.w, c, nullptr, notes);
  c.prm.Lf = w.m.lFin;
  c.prm.Ltw = w.m.aCyl;
  SetType(G.GTYPE1[2], c.solF == 2 ? 'T' : SideLetter(c.solF, 'T'), SideLetter(c.solW, 'L'));
  G.solC[2] = Verdict(c.solF == 2 && c.solW == 1, c);
}

// candidate 3: the link on the rim, started at the rim's crossing with the link plane
// (start, when the rim choice has found it already)
void LinkOnRim(GraspCandidates& G, const WorkInM& w, char rim, const double* start, Notes* notes) {
  ContactM& c = G.c[3];
  if (start != nullptr)
    LinkCircleContactFrom(w.m, w.Rim(rim), start, c, nullptr, notes);
  else
    LinkCircleContactm2(w.m, w.Rim(rim), c, nullptr, notes);
  c.prm.psif = kHalfPiC;
  c.prm.Ltw = w.m.aCyl;
  c.prm.Lw = w.Lw(rim);
  char t = 'N';
  if (c.solW == 2) t = 'C';
  if (c.solW == 4) t = 'D';
  if (c.solW == 5) t = 'S';
  SetType(G.GTYPE1[3], SideLetter(c.solF, 'L'), t);
  G.solC[3] = Verdict(c.solF == 1 && c.solW == 2, c);
}

// candidate 4: the fingertip on the rim, started from the link-rim result
void TipOnRim(GraspCandidates& G, const WorkInM& w, char rim, Notes* notes) {
  ContactM& c = G.c[4];
  const double pm0[2] = {G.c[3].q, G.c[3].prm.thw};
  TipCircleContactm2(w.m, w.Rim(rim), pm0, c, nullptr, notes);
  c.prm.Lf = w.m.lFin;
  c.prm.Ltw = w.m.aCyl;
  c.prm.Lw = w.Lw(rim);
  if (c.solF == 2 && c.solW == 2) {
    SetType(G.GTYPE1[4], 'T', 'C');
    G.solC[4] = 'Y';
  } else if (c.solF == 2 && c.solW == 4) {
    SetType(G.GTYPE1[4], 'T', 'D');  // the tip reaches into the end disk
    G.solC[4] = 'O';
  } else {
    SetType(G.GTYPE1[4], 'N', 'N');
    G.solC[4] = 'N';
  }
}

// The angle of the valid candidate reached first among those solved so far (a link
// contact on the side excepted: it is taken at once); false when none is valid.
bool FirstValidAngle(const GraspCandidates& G, double& q) {
  q = kNoAngle;
  for (int k = 2; k <= 5; ++k)
    if (G.solC[k] == 'Y' && grasp_detail::ContactFinite(G.c[k]) && G.c[k].q < q) q = G.c[k].q;
  return q < kNoAngle;
}

// Whether the fingertip ball stays clear of the rim for every joint angle from -pi to
// qEnd (the whole range a tip-rim contact's angle can take up to qEnd): then no tip-rim
// contact is reached before qEnd, and none can be chosen. The distance from the tip
// centre lFin u(q) to the rim circle changes by at most lFin per radian, so a clearance
// c beyond aFin at q leaves the ball clear over the next c / lFin. False when that is
// not shown within kClearSteps distances (the solver decides then).
constexpr int kClearSteps = 48;
constexpr double kClearMargin = 1e-6;  // well above a converged contact's error (1e-7)
bool TipClearOfRim(const Model& m, const RimM& rim, double qEnd) {
  double q = -kPiC;
  for (int it = 0; it < kClearSteps; ++it) {
    const double T[3] = {m.lFin * std::cos(q), m.lFin * std::sin(q), 0.0};
    double v[3];
    VecSub(T, rim.C, v);
    const double h = VecDot(v, rim.zw);  // height over the rim's plane
    double w[3];
    VecAddScaled(v, -h, rim.zw, w);
    const double dr = VecNorm(w) - m.aCyl;
    const double clear = std::sqrt(dr * dr + h * h) - m.aFin - kClearMargin;
    if (!(clear > 0.0)) return false;
    if (q > qEnd) return true;
    q += clear / m.lFin;
  }
  return false;
}

// Whether the fingertip ball stays clear of the solid work for every joint angle from
// -pi to qEnd, by more than a tip-side tangency's tolerance: then neither a tip-side
// nor a tip-rim contact is reached before qEnd. The tip centre's distance from the
// work changes by at most lFin per radian, as above.
constexpr double kSolidClearMargin = 1e-4;  // above a kept tip-side tangency's error (7e-6)
bool TipClearOfWork(const Model& m, const WorkM& w, double qEnd) {
  double q = -kPiC;
  for (int it = 0; it < kClearSteps; ++it) {
    const double T[3] = {m.lFin * std::cos(q), m.lFin * std::sin(q), 0.0};
    double v[3], p[3];
    VecSub(T, w.rwM, v);
    MatTVec(w.EwM, v, p);  // in the work's frame
    const double clear = SignedCylinderDistance(p, m.hCyl, m.aCyl) - m.aFin - kSolidClearMargin;
    if (!(clear > 0.0)) return false;
    if (q > qEnd) return true;
    q += clear / m.lFin;
  }
  return false;
}

// A fingertip candidate (2 or 4) left unsolved: no contact, at no angle.
void Unsolved(GraspCandidates& G, int k, const Model& m, double Lw) {
  G.c[k] = ContactM();
  G.c[k].q = kNoAngle;
  G.c[k].prm.Lf = m.lFin;
  G.c[k].prm.Ltw = m.aCyl;
  G.c[k].prm.Lw = Lw;
}

// candidate 5: the fingertip on the end disk
void TipOnDisk(GraspCandidates& G, const WorkInM& w, char rim) {
  ContactM& c = G.c[5];
  double n[3];
  w.FaceNormal(rim, n);
  const int r = FinTipDiskContactm2(w.m, rim, w.Rim(rim).C, w.w.EwM, n, c);
  c.prm.Lf = w.m.lFin;
  c.prm.Lw = w.Lw(rim);
  if (r == 0 || c.solF == 0 || c.solW == 0) {
    SetType(G.GTYPE1[5], 'N', 'N');
    G.solC[5] = 'N';
  } else if (c.solF == 2 && c.solW == 3) {
    SetType(G.GTYPE1[5], 'T', 'D');
    G.solC[5] = 'Y';
  } else {
    SetType(G.GTYPE1[5], 'T', 'U');  // beyond the disk's rim
    G.solC[5] = 'O';
  }
}

// Each solver starts from one estimate and can miss the first touch. Solves the
// candidates again from the touch st found by sweeping the closing angle, on every end
// of the work the link's slab reaches; a valid contact reached earlier than a
// candidate's replaces it. Returns the candidate then reached first.
int RetryFromTouch(GraspCandidates& G, double q0n, const WorkInM& w, const SweptTouch& st,
                   Notes* notes) {
  const Model& m = w.m;
  G.swept = true;
  auto offer = [&](int k, const ContactM& c, char t0, char t1, char rim, double Lw) {
    if (!grasp_detail::ContactFinite(c) || (G.solC[k] == 'Y' && !(c.q < G.qc[k]))) return;
    G.c[k] = c;
    if (k >= 3) G.c[k].prm.Lw = Lw;
    G.c[k].prm.Ltw = m.aCyl;
    G.qc[k] = c.q;
    G.solC[k] = 'Y';
    G.rim[k] = rim;
    SetType(G.GTYPE1[k], t0, t1);
  };
  ContactM c;
  // the side surface: the equation's root next to the touch
  if (FinLinkCylinderContactm2(m, q0n, w.w, c, &st.q, notes) == 1) offer(1, c, 'L', 'L', 'M', 0.0);
  if (FinTipCylinderContactm2(m, q0n, w.w, c, &st.q, notes) == 1) {
    c.prm.Lf = m.lFin;
    offer(2, c, 'T', 'L', 'M', 0.0);
  }
  const double p[3] = {st.t * std::cos(st.q), st.t * std::sin(st.q), 0.0};
  for (const char rim : {'L', 'U'}) {
    if ((rim == 'L' ? G.sgnZm1 : G.sgnZm2) != 'M') continue;  // the slab misses this end
    const RimM& R = w.Rim(rim);
    double d[3];
    VecSub(p, R.C, d);
    const double th = std::atan2(VecDot(d, w.yw), VecDot(d, w.xw));  // rim angle facing the touch
    const double pmLink[2] = {st.q, th};
    if (LinkCircleContactFrom(m, R, pmLink, c, nullptr, notes) == 1)
      offer(3, c, 'L', 'C', rim, w.Lw(rim));
    // the tip solver starts kRetryTipBack short of its given point in both unknowns,
    // so that its own offset starts it at the touch
    const double pmTip[2] = {st.q - kRetryTipBack, th - kRetryTipBack};
    if (TipCircleContactm2(m, R, pmTip, c, nullptr, notes) == 1)
      offer(4, c, 'T', 'C', rim, w.Lw(rim));
    double n[3];
    w.FaceNormal(rim, n);
    c = ContactM();
    c.prm.Lf = m.lFin;
    if (FinTipDiskContactm2(m, rim, R.C, w.w.EwM, n, c) == 3 && c.solF == 2)
      offer(5, c, 'T', 'D', rim, w.Lw(rim));
  }
  int K = SelectContactCandidate(G.solC, G.qc);
  // a side contact reached after the link has met the work elsewhere is no first touch
  if (K == 1 && G.qc[1] > st.q + kSweepAgree) {
    char solC[6];
    for (int k = 0; k <= 5; ++k) solC[k] = (k == 1) ? 'N' : G.solC[k];
    const int K2 = SelectContactCandidate(solC, G.qc);
    if (K2 != 0 && G.qc[K2] < G.qc[1]) K = K2;
  }
  return K;
}

}  // namespace

int FingerCylinderContactA3(Sim& s, int kf, const double* q0, const WorkPose& wG,
                            FingerContact& out, GraspCandidates* cand) {
  const Model& m = s.model();
  const int nJ = m.nJ;
  GraspCandidates local;
  GraspCandidates& G = cand ? *cand : local;
  G = GraspCandidates();
  for (int k = 0; k <= 5; ++k) {
    SetType(G.GTYPE1[k], 'N', 'N');
    G.solC[k] = 'N';
    G.qc[k] = kNoAngle;
  }
  grasp_detail::ContactStart start;
  if (!grasp_detail::BeginContact(s, kf, q0, wG, out, start)) return 0;
  const FingerPose& P = start.P;
  const WorkInM w(m, start.w);

  double rimStart[2];  // the chosen rim's crossing with the link plane, when both rims cross
  const char sgnUL = CylinderZmPlaneCross(m, w.w, G.sgnZm1, G.sgnZm2, rimStart);
  const bool crossed = G.sgnZm1 == 'M' && G.sgnZm2 == 'M';
  G.sgnUL = sgnUL;
  if (sgnUL == 'N') return 0;
  const double q0n = start.q0[nJ];

  // a valid link contact on the side is taken at once; otherwise every candidate the
  // slab of the link can reach is solved
  LinkOnSide(G, q0n, w, &s.notes);
  if (G.solC[1] != 'Y' && sgnUL == 'M') {
    TipOnSide(G, q0n, w, &s.notes);
  } else if (G.solC[1] != 'Y') {
    // The link on the rim and the tip on the disk first; the fingertip candidates are
    // solved unless they provably come after a valid one. (The link-rim solver's notes
    // follow the tip-side solver's, as when the candidates are solved in turn.)
    Notes rimNotes;
    LinkOnRim(G, w, sgnUL, crossed ? rimStart : nullptr, &rimNotes);
    TipOnDisk(G, w, sgnUL);
    double qFirst;
    const bool tipClear = FirstValidAngle(G, qFirst) && !TipSideEquationNotes(m, w.w) &&
                          TipClearOfWork(m, w.w, qFirst);
    if (tipClear)
      Unsolved(G, 2, m, kNoAngle);
    else
      TipOnSide(G, q0n, w, &s.notes);
    s.notes.insert(s.notes.end(), rimNotes.begin(), rimNotes.end());
    if (tipClear || (FirstValidAngle(G, qFirst) && TipClearOfRim(m, w.Rim(sgnUL), qFirst)))
      Unsolved(G, 4, m, w.Lw(sgnUL));
    else
      TipOnRim(G, w, sgnUL, &s.notes);
  }
  for (int k = 3; k <= 5; ++k) G.rim[k] = sgnUL;
  for (int k = 1; k <= 5; ++k) {
    G.qc[k] = G.c[k].q;
    // a candidate with a non-finite number is never accepted
    if (G.solC[k] == 'Y' && !grasp_detail::ContactFinite(G.c[k])) G.solC[k] = 'N';
  }

  int K = SelectContactCandidate(G.solC, G.qc);
  // no contact at all, or the chosen contact's pose has the link already in the work:
  // a first touch was missed
  SweptTouch st;
  if ((K == 0 || CapsuleDeeperThan(m, G.qc[K], w.w, kTouchDepth, ContactAlongLink(m, K, G.c[K]))) &&
      SweepFirstTouch(m, w.w, st) &&
      (K == 0 || G.qc[K] > st.q + kSweepAgree))
    K = RetryFromTouch(G, q0n, w, st, &s.notes);
  G.K = K;
  if (K == 0) return 0;

  // the candidate reached first, in the hand frame
  const ContactM& c = G.c[K];
  grasp_detail::ContactToHand(P, nJ, c, out);
  out.prm.Ltw = m.aCyl;
  static const char kType[6][2] = {{'N', 'N'}, {'L', 'L'}, {'T', 'L'},
                                   {'L', 'C'}, {'T', 'C'}, {'T', 'D'}};
  SetType(out.GTYPE, kType[K][0], kType[K][1]);
  out.sgnUML = (K <= 2) ? 'M' : G.rim[K];
  out.sgnLT = (K == 1 || K == 3) ? 'L' : 'T';
  out.sgnGRASPM = 'Y';
  return 1;
}

namespace grasp_detail {

bool BeginContact(const Sim& s, int kf, const double* q0, const WorkPose& wG,
                  FingerContact& out, ContactStart& st) {
  const int nJ = s.model().nJ;
  assert(kf >= 1 && kf <= s.model().nF);
  out = FingerContact();
  // a work pose with a non-finite number describes no work
  bool finite = VecFinite(wG.r);
  for (int i = 0; i < 3; ++i) finite = finite && VecFinite(wG.E[i]);

  for (int j = 0; j <= nJ; ++j) st.q0[j] = q0[j];
  for (int j = 0; j <= nJ; ++j) out.qf[j] = st.q0[j];
  if (!finite) return false;

  // the work in the last joint's frame, before the joint's own rotation
  st.P = Findirect_kineR(s.model(), s.mount(kf), st.q0);
  ITransWrkAtoM(st.P.JA[nJ], st.P.EAs[nJ], wG.r, wG.E, st.w.rwM, st.w.EwM);
  return true;
}

void ContactToHand(const FingerPose& P, int nJ, const ContactM& c, FingerContact& out) {
  out.qf[nJ] = c.q;
  out.prm = c.prm;
  MatVec(P.EAs[nJ], c.RCm, out.RC);
  VecAdd(out.RC, P.JA[nJ], out.RC);
  MatVec(P.EAs[nJ], c.NWm, out.NW);
  VecNeg(out.NW, out.NF);
}

}  // namespace grasp_detail

WorkPose WorkPoseOf(const double rwG[3], const double EwG[3][3]) {
  WorkPose p;
  VecCopy(rwG, p.r);
  MatCopy(EwG, p.E);
  return p;
}

}  // namespace rg
