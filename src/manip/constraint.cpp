// The rolling-contact constraints of one finger (its last link on a rim of the
// cylinder, or its link or fingertip on the sphere) and their Newton solver.
#include <cmath>
#include <cstring>
#include <utility>

#include "hand/hand.h"
#include "manip/manip.h"
#include "numerics/vecmat.h"

namespace rg {
namespace {

// The last link of a finger for angles q: origin o = joint nJ, link axis x and the
// x, z axes of its frame E, and F = (z, x x z, x), the frame of the distance routine.
struct LinkPose : LinkFrame {
  double x[3], z[3], E[3][3];
};

// The rest of the pose from its frame E (and origin o).
void LinkPoseAxes(LinkPose& P) {
  MatColumn(P.E, 0, P.x);
  MatColumn(P.E, 2, P.z);
  double xz[3];
  VecCross(P.x, P.z, xz);
  for (int i = 0; i < 3; ++i) {
    P.F[i][0] = P.z[i];
    P.F[i][1] = xz[i];
    P.F[i][2] = P.x[i];
  }
}

void LastLinkPose(const Model& m, const PRStepFixed& in, const JointTrig& t, LinkPose& P) {
  LastLinkOfTurns(m, *in.mount, in.turns, t, P.o, P.E);
  LinkPoseAxes(P);
}

// Whether C is a signed permutation (one entry +-1 in each row and column, the rest
// zeros): then column k of A C is sign[k] times column col[k] of A.
bool SignedPermutation(const double C[3][3], int col[3], double sign[3]) {
  for (int k = 0; k < 3; ++k) {
    const double a0 = C[0][k], a1 = C[1][k], a2 = C[2][k];
    const int i = a0 != 0.0 ? 0 : (a1 != 0.0 ? 1 : 2);
    const double a = C[i][k];
    // the other two entries zero, this one +-1
    if ((a0 != 0.0) + (a1 != 0.0) + (a2 != 0.0) != 1 || std::fabs(a) != 1.0) return false;
    col[k] = i;
    sign[k] = a;
  }
  return col[0] != col[1] && col[1] != col[2] && col[0] != col[2];
}

// Joint j of the chain: E, the link frame before it (hand frame), becomes joint j's
// link frame; Es receives joint j's frame before its turn. (Inlined: it is the inner
// loop of every trial.)
[[gnu::always_inline]] inline void TurnJoint(const Model& m, const JointTurns& jt, int j, const JointTrig& t, double E[3][3],
               double Es[3][3]) {
  if (jt.perm[j]) {
    for (int i = 0; i < 3; ++i)
      for (int k = 0; k < 3; ++k) Es[i][k] = jt.sign[j][k] * E[i][jt.col[j][k]];
  } else {
    MatMul(E, m.Cs[j], Es);
  }
  RotLocalZcs(Es, t.c[j], t.s[j], E);
}

// The joint after the link frame E (hand frame) sits at p + E Ls[j]; joints that sit
// together add nothing.
[[gnu::always_inline]] inline void NextJoint(const Model& m, int j, const double E[3][3],
                                             double p[3]) {
  const double* L = m.Ls[j];
  if (L[0] != 0.0 || L[1] != 0.0 || L[2] != 0.0) {
    double d[3];
    MatVec(E, L, d);
    VecAdd(p, d, p);
  }
}

}  // namespace

JointTurns JointTurnsOf(const Model& m) {
  JointTurns jt;
  JointTurnsOf(m, jt);
  return jt;
}

void JointTurnsOf(const Model& m, JointTurns& jt) {
  for (int j = 1; j <= m.nJ; ++j) jt.perm[j] = SignedPermutation(m.Cs[j], jt.col[j], jt.sign[j]);
}

void LastLinkOfTurns(const Model& m, const FingerMount& f, const JointTurns& turns,
                     const JointTrig& t, double JAn[3], double EAn[3][3]) {
  double T[3][3];
  MatCopy(f.frame, EAn);
  VecCopy(f.base, JAn);
  for (int j = 1; j <= m.nJ; ++j) {
    NextJoint(m, j, EAn, JAn);
    TurnJoint(m, turns, j, t, EAn, T);
  }
}

FingerPose FingerPoseOfTurns(const Model& m, const FingerMount& f, const JointTurns& turns,
                             const JointTrig& t) {
  FingerPose P;
  const int n = m.nJ;
  MatCopy(f.frame, P.EA[0]);
  MatCopy(f.frame, P.EAs[0]);
  VecCopy(f.base, P.JA[0]);
  double E[3][3];
  MatCopy(f.frame, E);
  for (int j = 1; j <= n + 1; ++j) {
    VecCopy(P.JA[j - 1], P.JA[j]);
    NextJoint(m, j, E, P.JA[j]);
    if (j > n) break;  // the fingertip: no joint of its own
    TurnJoint(m, turns, j, t, E, P.EAs[j]);
    MatCopy(E, P.EA[j]);
  }
  return P;
}

namespace {

double ErrSum(const double e[4]) {
  return std::fabs(e[0]) + std::fabs(e[1]) + std::fabs(e[2]) + std::fabs(e[3]);
}

// A point of the Newton iteration: the angles q with their cos and sin, the contact
// found there, the four errors E and their norm ET, and the last link's origin o and
// axis x there (for the contact's normal).
struct NewtonPoint {
  double q[kSlots] = {};
  JointTrig trig;
  RimContact c;
  double E[4] = {};
  double ET = 0.0;
  double o[3] = {}, x[3] = {};
};

}  // namespace

namespace {

// The unit normal from p towards the point at Lf on the link axis (origin o, direction x).
void NormalToAxis(const double o[3], const double x[3], double Lf, const double p[3],
                  double N[3]) {
  double A[3], d[3];
  VecAddScaled(o, Lf, x, A);
  VecSub(A, p, d);
  VecUnit(d, N);
}

}  // namespace

void ContactNormalAt(const Model& m, const FingerMount& f, const double* q, double Lf,
                     const double p[3], double N[3]) {
  double o[3], E[3][3], x[3];
  LastLinkKinematics(m, f, q, o, E);
  MatColumn(E, 0, x);
  NormalToAxis(o, x, Lf, p, N);
}

bool OffFinger(const Model& m, const PRStepFixed& in, const PRStepResult& out) {
  if (in.part == 'T') return out.psif2 > kHalfPiC;
  return OffLink(m, out.Lf2);
}

void TakeContact(const RimContact& c, PRStepResult& out) {
  out.Lf2 = c.Lf;
  out.fif2 = c.fif;
  out.thw2 = c.thw;
  out.psif2 = c.psif;
  out.alw2 = c.alw;
  out.betw2 = c.betw;
}

namespace {

// Spin: the finger's turn relative to the work since the step began (Rf Rw^T, both
// turns seen in the hand frame), about the normal taken midway, the old normal
// carried along with the finger; N2 is the normal at the new contact.
double SpinAboutNormal(const LinkPose& P, const PRStepFixed& in, const double N2[3]) {
  // Rrel = E EA1^T Rw^T = E (Rw EA1)^T: only its skew part is needed
  const double(*E)[3] = P.E;
  const double(*G)[3] = in.RwEA1;
  auto R = [&](int i, int j) { return E[i][0] * G[j][0] + E[i][1] * G[j][1] + E[i][2] * G[j][2]; };
  double w[3], N1[3], Nm[3];
  VecSet(0.5 * (R(2, 1) - R(1, 2)), 0.5 * (R(0, 2) - R(2, 0)), 0.5 * (R(1, 0) - R(0, 1)), w);
  MatVec(E, in.NW1link, N1);  // the old normal carried with the finger
  VecAdd(N1, N2, Nm);
  const double nm = VecNorm(Nm);
  return nm > 0.0 ? VecDot(w, Nm) / nm : VecDot(w, N2);
}

// The two tangent directions in which rolled arcs are compared at a contact whose
// finger normal (towards the work) is m: on the link's side along the link (x) and
// around it (x x m, growing fif); on the tip ball around the last joint's axis z
// (z x m) and across it.
void LinkBase(const double x[3], const double m[3], double base[2][3]) {
  VecCopy(x, base[0]);
  VecCross(x, m, base[1]);
}
void TipBase(const double z[3], const double m[3], double base[2][3]) {
  double a[3];
  VecCross(z, m, a);
  VecUnit(a, base[0]);
  VecCross(m, base[0], base[1]);
}

// The four errors at angles q against the sphere: the surface distance; the arc
// rolled on the finger minus the arc rolled on the sphere, in the two tangent
// directions, averaged over the old contact (old poses) and the new one (midpoint
// rule); the spin.
int SphereErrors(const Model& m, const PRStepFixed& in, NewtonPoint& p) {
  RimContact& c = p.c;
  double* ERR = p.E;
  double* ERRT = &p.ET;
  LinkPose P;
  LastLinkPose(m, in, p.trig, P);
  VecCopy(P.o, p.o);
  VecCopy(P.x, p.x);
  LinkSphereDistanceA(m, P, in.part, in.rwP2, in.Ew2, c);
  const double omn2 = SpinAboutNormal(P, in, c.N);

  // the sphere's great-circle arc from the old contact to the new one, its end
  // tangents seen in the poses before and after the move
  double n2[3], G1[3], G2[3], W1[3], W2[3];
  MatTVec(in.Ew2, c.N, n2);
  GeodesicEnds(m.aSph, in.nW1, n2, G1, G2);
  MatVec(in.Ew1, G1, W1);
  MatVec(in.Ew2, G2, W2);

  // the finger's arc, and the directions at the new contact
  double mf[3], F1[3], F2[3], base2[2][3];  // mf: the finger's normal, towards the work
  VecNeg(c.N, mf);
  if (in.part == 'T') {
    double m2[3];
    MatTVec(P.E, mf, m2);
    GeodesicEnds(m.aFin, in.mF1, m2, G1, G2);
    MatVec(in.EA1, G1, F1);
    MatVec(P.E, G2, F2);
    TipBase(P.z, mf, base2);
  } else {
    // developed coordinates: along the link, and aFin times the angle around it
    const double dL = c.Lf - in.Lf1, db = m.aFin * WrapPiC(c.fif - in.fif1);
    LinkBase(P.x, mf, base2);
    for (int i = 0; i < 3; ++i) {
      F1[i] = dL * in.base1[0][i] + db * in.base1[1][i];
      F2[i] = dL * base2[0][i] + db * base2[1][i];
    }
  }
  double d1[3], d2[3];
  VecSub(F1, W1, d1);
  VecSub(F2, W2, d2);
  ERR[0] = c.D;
  for (int k = 0; k < 2; ++k)
    ERR[1 + k] = 0.5 * (VecDot(d1, in.base1[k]) + VecDot(d2, base2[k]));
  ERR[3] = omn2;
  *ERRT = ErrSum(ERR);
  PRStepResult r;
  TakeContact(c, r);
  return OffFinger(m, in, r) ? 2 : 1;
}

// The four errors at the angles p.q, whose cos and sin p.trig holds, with the contact
// there, into p; with thwNear the rim angle is followed from there.
int ErrorsAt(const Model& m, const PRStepFixed& in, const double* thwNear, NewtonPoint& p,
             const double* csNear = nullptr) {
  if (in.work == '1') return SphereErrors(m, in, p);
  RimContact& c = p.c;
  double* ERR = p.E;
  double* ERRT = &p.ET;
  LinkPose P;
  LastLinkPose(m, in, p.trig, P);
  VecCopy(P.o, p.o);
  VecCopy(P.x, p.x);
  RimCircle rim;
  VecCopy(in.rwP2, rim.c);
  MatCopy(in.Ew2, rim.E);
  LinkCircleDistanceA2(m, P, rim, in.thw1, c, thwNear, csNear);
  const double omn2 = SpinAboutNormal(P, in, c.N);

  // roll on the finger: along the link and around it
  const double dfif = WrapPiC(in.fif1 - c.fif);
  const double dLf = in.Lf1 - c.Lf;
  const double dLb = m.aFin * dfif;

  // roll on the rim, resolved along the link (x) and around it (N x x), the rim's
  // direction taken midway between the old contact and this one (midpoint rule)
  const double st = c.sthw, ct = c.cthw;
  double t[3], Nx[3];
  for (int i = 0; i < 3; ++i) t[i] = -st * in.Ew2[i][0] + ct * in.Ew2[i][1];
  VecCross(c.N, P.x, Nx);
  double t1 = VecDot(t, P.x), t2 = VecDot(t, Nx);
  const double tn = std::sqrt(t1 * t1 + t2 * t2);
  if (tn > 0.0) {
    t1 /= tn;
    t2 /= tn;
  }
  t1 = 0.5 * (t1 + in.tLink1[0]);
  t2 = 0.5 * (t2 + in.tLink1[1]);
  const double sw = m.aCyl * WrapPiC(in.thw1 - c.thw);

  ERR[0] = c.D;
  ERR[1] = dLf - sw * t1;
  ERR[2] = dLb - sw * t2;
  ERR[3] = omn2;
  *ERRT = ErrSum(ERR);
  return OffLink(m, c.Lf) ? 2 : 1;
}

// The same at the angles p.q alone.
int Errors(const Model& m, const PRStepFixed& in, const double* thwNear, NewtonPoint& p,
           const double* csNear = nullptr) {
  JointSinCos(m, p.q, p.trig);
  return ErrorsAt(m, in, thwNear, p, csNear);
}

// The errors at the angles `to`, near the point `from` (whose contact's rim angle is
// followed): the cos and sin of the angles and of the rim angle carried on from there.
int ErrorsNear(const Model& m, const PRStepFixed& in, const NewtonPoint& from, NewtonPoint& to) {
  JointSinCosNear(m, to.q, from.q, from.trig, to.trig);
  const double cs[2] = {from.c.cthw, from.c.sthw};
  return ErrorsAt(m, in, &from.c.thw, to, cs);
}

// Forward-difference Jacobian of the errors at p0 (its errors and contact known),
// the rim point followed from p0's: row = error, column = joint.
void ErrorJacobian(const Model& m, const PRStepFixed& in, const NewtonPoint& p0,
                   double JB4[4][4]) {
  const double h = kFdStep;
  NewtonPoint p;
  for (int j = 1; j <= 4; ++j) {
    // one joint moves: the others keep their cos and sin
    for (int k = 0; k < kSlots; ++k) p.q[k] = p0.q[k];
    p.q[j] += h;
    p.trig = p0.trig;
    SinCos(p.q[j], &p.trig.s[j], &p.trig.c[j]);
    const double cs[2] = {p0.c.cthw, p0.c.sthw};
    ErrorsAt(m, in, &p0.c.thw, p, cs);
    for (int i = 0; i < 4; ++i) JB4[i][j - 1] = (p.E[i] - p0.E[i]) / h;
  }
}

// The Jacobian at p0, whose errors are already known, into J: its verdict is 'Y'
// when a short step along the Newton direction lowers the errors. Its inverse and
// its linearisation check note what they find in notes.
void JacobianAt(const Model& m, const PRStepFixed& in, const NewtonPoint& p0, RollingJacobian& J,
                Notes* notes) {
  const double h = kFdStep;
  const double* q = p0.q;
  const double* ERR0 = p0.E;
  const double ERRT0 = p0.ET;
  double(*JB4)[4] = J.JB;
  double(*IJB4)[4] = J.IJB;
  J.dq00 = h;
  ErrorJacobian(m, in, p0, JB4);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) IJB4[i][j] = JB4[i][j];
  J.det = MatInverse(4, &IJB4[0][0], 4, notes);
  J.verdict = 'N';
  if (!(std::fabs(J.det) >= kSingularJacobian)) return;

  double ddq[4], ERR3[4];
  for (int i = 0; i < 4; ++i) {
    ddq[i] = 0.0;
    for (int k = 0; k < 4; ++k) ddq[i] += IJB4[i][k] * ERR0[k];
  }
  for (int i = 0; i < 4; ++i) {
    ERR3[i] = 0.0;
    for (int k = 0; k < 4; ++k) ERR3[i] += JB4[i][k] * ddq[k];
  }
  if (std::fabs(ERRT0 - ErrSum(ERR3)) >= h && notes != nullptr)
    notes->push_back(Note{Note::JacobianCheck});

  // descent test: a step of length h along the Newton direction must lower ERRT
  double dqmax = 0.0;
  for (int j = 0; j < 4; ++j) dqmax = std::fmax(dqmax, std::fabs(ddq[j]));
  const double scale = (dqmax <= h) ? 1.0 : h / dqmax;
  NewtonPoint p;
  for (int k = 0; k < kSlots; ++k) p.q[k] = q[k];
  for (int j = 1; j <= 4; ++j) p.q[j] = q[j] - scale * ddq[j - 1];
  Errors(m, in, &p0.c.thw, p);
  J.verdict = p.ET < ERRT0 ? 'Y' : 'N';
}

}  // namespace

void PRStepBefore(const Model& m, PRStepFixed& in, const double Ew1[3][3],
                  const double (*EA1)[3], const JointTrig* trig1, const JointTurns* turns) {
  in.mount = &m.Mount(in.kf, in.work);
  MatCopy(Ew1, in.Ew1);
  MatMulT(in.Ew2, in.Ew1, in.Rw);
  if (turns != nullptr)
    in.turns = *turns;
  else
    JointTurnsOf(m, in.turns);
  // the frame at q1 as the step that led there found it (FingerPoseOfTurns)
  LinkPose P;
  if (EA1 != nullptr && trig1 != nullptr) {
    MatCopy(EA1, P.E);
    in.trig1 = *trig1;
  } else {
    JointSinCos(m, in.q1, in.trig1);
    LastLinkOfTurns(m, *in.mount, in.turns, in.trig1, P.o, P.E);
  }
  LinkPoseAxes(P);
  in.trig1Ok = true;
  MatCopy(P.E, in.EA1);
  MatMul(in.Rw, in.EA1, in.RwEA1);
  MatTVec(in.EA1, in.NW1, in.NW1link);
  SinCos(in.thw1, &in.sthw1, &in.cthw1);
  if (in.work == '1') {
    // the old contact's normals in the bodies' own frames, and the directions the
    // rolled arcs are compared in at the old contact
    double mf[3];  // the finger's normal, towards the work
    VecNeg(in.NW1, mf);
    MatTVec(P.E, mf, in.mF1);
    MatTVec(Ew1, in.NW1, in.nW1);
    if (in.part == 'T') {
      TipBase(P.z, mf, in.base1);
    } else {
      double xz[3], radial[3];
      VecCross(P.x, P.z, xz);
      for (int i = 0; i < 3; ++i)
        radial[i] = std::cos(in.fif1) * P.z[i] + std::sin(in.fif1) * xz[i];
      LinkBase(P.x, radial, in.base1);
    }
    return;
  }
  // the rim's tangent at the old contact on the work before the move, in the old
  // link's surface directions: along the link, and around it (N x x)
  double t[3], Nx[3];
  const double st = in.sthw1, ct = in.cthw1;
  for (int i = 0; i < 3; ++i) t[i] = -st * Ew1[i][0] + ct * Ew1[i][1];
  VecCross(in.NW1, P.x, Nx);
  const double t1 = VecDot(t, P.x), t2 = VecDot(t, Nx), tn = std::sqrt(t1 * t1 + t2 * t2);
  in.tLink1[0] = tn > 0.0 ? t1 / tn : 0.0;
  in.tLink1[1] = tn > 0.0 ? t2 / tn : 0.0;
}

void NewtonStart(const Sim& s, const PRStepFixed& in, double q[kSlots]) {
  for (int j = 0; j < kSlots; ++j) q[j] = in.q12[j];
  // the last step's change carries on only under the same command: after a change of
  // command it would start the solve off by the difference of the two motions
  if (s.cntManip0 == 0 || !(s.ManipDt2 > 0.0) || in.newCommand || in.placed) return;
  // b: the last step's change; a: the first PR motion's change over this step. With
  // the rates nu at the start and b / dtLast a half step before, the second-order
  // Taylor step is a + k a - k^2 b (k = dt / dtLast); without a prediction the
  // extrapolation k b.
  const double* q0 = s.qqa2[0][in.kf];
  const double k = s.dt / s.ManipDt2;
  double dq[kSlots] = {}, change = 0.0;
  for (int j = 1; j <= s.nJ(); ++j) {
    const double b = in.q1[j] - q0[j], a = in.q12[j] - in.q1[j];
    dq[j] = in.predicted ? a + k * a - k * k * b : k * b;
    change = std::fmax(change, std::fabs(dq[j]));
  }
  for (int j = 0; j < kSlots; ++j) q[j] = in.q1[j];
  if (change <= kMaxPredictedStep)
    for (int j = 1; j <= s.nJ(); ++j) q[j] += dq[j];
}

bool CommandChanged(const Sim& s, const double vw[3], const double omww[3]) {
  if (s.cntManip0 == 0 || !(s.ManipDt2 > 0.0)) return true;
  for (int i = 0; i < 3; ++i)
    if (vw[i] != s.ManipCmd2[i] || omww[i] != s.ManipCmd2[3 + i]) return true;
  return false;
}

int PRCirMotion2ERR4(const Model& m, const PRStepFixed& in, const double* q, RimContact& c,
                     double ERR[4], double* ERRT) {
  NewtonPoint p;
  for (int k = 0; k < kSlots; ++k) p.q[k] = q[k];
  const int solE = Errors(m, in, nullptr, p);
  c = p.c;
  for (int i = 0; i < 4; ++i) ERR[i] = p.E[i];
  *ERRT = p.ET;
  return solE;
}

RollingJacobian PRCirMotion2Jacobian4(const Model& m, const PRStepFixed& in, const double* q,
                                      Notes* notes) {
  NewtonPoint p0;
  for (int k = 0; k < kSlots; ++k) p0.q[k] = q[k];
  Errors(m, in, nullptr, p0);
  RollingJacobian J;
  JacobianAt(m, in, p0, J, notes);
  return J;
}

namespace {

// What one Newton solve keeps across its trials: the counters, the cap on trials
// plus Jacobians, and the inverse Jacobian last used (when there is one).
struct NewtonSolve {
  PRNewtonStats st;
  int maxIter = kNewtonMaxIter;
  double Jinv[4][4] = {};
  bool haveJinv = false;
};

// Broyden's update of the inverse Jacobian H after the step from q to qn changed the
// errors from E to En: H + (dq - H dE) dq^T H / (dq^T H dE), which maps dE to dq and
// keeps H on directions across dq. Skipped when the step is too small to tell.
constexpr double kBroydenDenominator = 1e-6;  // |dq^T H dE| below this times |dq|^2: skipped
constexpr double kBroydenMinStep2 = 1e-24;    // |dq|^2 (rad^2) below this: skipped
void BroydenUpdate(const double q[kSlots], const double qn[kSlots], const double E[4],
                   const double En[4], double H[4][4]) {
  double dq[4], dE[4], HdE[4], dqH[4];
  for (int i = 0; i < 4; ++i) {
    dq[i] = qn[i + 1] - q[i + 1];
    dE[i] = En[i] - E[i];
  }
  double den = 0.0;
  for (int i = 0; i < 4; ++i) {
    HdE[i] = dqH[i] = 0.0;
    for (int k = 0; k < 4; ++k) {
      HdE[i] += H[i][k] * dE[k];
      dqH[i] += dq[k] * H[k][i];
    }
  }
  for (int i = 0; i < 4; ++i) den += dq[i] * HdE[i];
  double dqn = 0.0;
  for (int i = 0; i < 4; ++i) dqn += dq[i] * dq[i];
  if (!(std::fabs(den) > kBroydenDenominator * dqn) || !(dqn > kBroydenMinStep2)) return;
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) H[i][k] += (dq[i] - HdE[i]) * dqH[k] / den;
}

// One trial along -frac * (Jinv * E) from p into trial, the rim point followed from
// p's; returns the trial's error norm.
double TrialAlong(const Model& m, const PRStepFixed& in, const NewtonPoint& p, double frac,
                  NewtonPoint& trial, NewtonSolve& ns) {
  for (int j = 0; j < kSlots; ++j) trial.q[j] = p.q[j];
  double step = 0.0;
  for (int j = 1; j <= 4; ++j) {
    double d = 0.0;
    for (int i = 0; i < 4; ++i) d += ns.Jinv[j - 1][i] * p.E[i];
    trial.q[j] = p.q[j] - frac * d;
    step = std::fmax(step, std::fabs(frac * d));
  }
  ns.st.maxStep = std::fmax(ns.st.maxStep, step);
  ++ns.st.trials;
  ++ns.st.cnt1;
  ErrorsNear(m, in, p, trial);
  return trial.ET;
}

// Newton's method on the step's equations from the point p (its errors and contact known),
// the rim point followed from p's. The Jacobian carried in from the finger's previous
// root (in.Jinv0) is used first, as long as every trial cuts ERRT at least tenfold
// (kChordGain); after that a fresh forward-difference Jacobian at every point
// reached, its step limited to kFirstTrialStep per joint. Such a trial must lower ERRT by a
// quarter of what the linear model promises for it (Armijo's rule); one that does not
// is cut tenfold, at most kLeanReductions times, and a direction none of whose trials
// passes ends the solve. Below kAcceptTol any fall counts, as rounding rules there. It ends
// at the root (ERRT below kRootTol), when ERRT stops falling (by kMinFall over
// kMaxStalls directions in a row, above kAcceptTol), after kLeanMaxJacobians
// Jacobians (kPolishJacobians more for a pose already below kAcceptTol) or maxIter
// trials plus Jacobians. True when the pose reached satisfies
// the constraints (ERRT < kAcceptTol) with the nearest rim point proper, whose contact and
// errors p then holds; ns keeps the inverse Jacobian last used.
bool SolveFollowing(const Model& m, const PRStepFixed& in, NewtonPoint& result, NewtonSolve& ns) {
  PRNewtonStats& st = ns.st;
  const int maxIter = ns.maxIter;
  // the current point and the trial, swapped when a trial is accepted (not copied)
  NewtonPoint spare;
  NewtonPoint* p = &result;
  NewtonPoint* trial = &spare;
  if (in.Jinv0 != nullptr) {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) ns.Jinv[i][j] = in.Jinv0[i][j];
    ns.haveJinv = true;
    for (int k = 0; k < kChordTrials && !(p->ET < kRootTol) && st.cnt1 < maxIter; ++k) {
      const double ETn = TrialAlong(m, in, *p, 1.0, *trial, ns);
      const bool atRoot = p->ET < kAcceptTol && ETn < p->ET;
      if (!(atRoot || ETn <= kChordGain * p->ET)) break;
      BroydenUpdate(p->q, trial->q, p->E, trial->E, ns.Jinv);
      std::swap(p, trial);
    }
  }
  int stalls = 0, polish = 0;  // polish: Jacobians beyond kLeanMaxJacobians
  while (!(p->ET < kRootTol) && st.cnt1 < maxIter) {
    if (st.jacobians >= kLeanMaxJacobians) {
      // a solve that crept up to the root (in steps of kFirstTrialStep along a direction
      // the errors hardly depend on) may still polish a pose that satisfies the constraints
      if (!(p->ET < kAcceptTol) || polish >= kPolishJacobians) break;
      ++polish;
    }
    double J[4][4];
    ErrorJacobian(m, in, *p, J);
    ++st.jacobians;
    ++st.cnt1;
    Notes scratch;  // a singular Jacobian ends the solve where it is
    if (!(std::fabs(MatInverse(4, &J[0][0], 4, &scratch)) >= kSingularJacobian)) break;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) ns.Jinv[i][j] = J[i][j];
    ns.haveJinv = true;
    double dqmax = 0.0;
    for (int j = 0; j < 4; ++j) {
      double d = 0.0;
      for (int i = 0; i < 4; ++i) d += J[j][i] * p->E[i];
      dqmax = std::fmax(dqmax, std::fabs(d));
    }
    if (!std::isfinite(dqmax)) break;
    // the share of the full step tried first
    double frac = dqmax > kFirstTrialStep ? kFirstTrialStep / dqmax : 1.0;
    bool accepted = false;
    const double ETold = p->ET;
    for (int r = 0; r <= kLeanReductions && st.cnt1 < maxIter; ++r, frac /= 10.0) {
      const double ETn = TrialAlong(m, in, *p, frac, *trial, ns);
      const bool atRoot = p->ET < kAcceptTol && ETn < p->ET;
      if (atRoot || ETn <= (1.0 - 0.25 * frac) * p->ET) {
        std::swap(p, trial);
        accepted = true;
        break;
      }
      if (r < kLeanReductions) ++st.reductions;
    }
    if (!accepted) break;
    // Stagnation: directions that lower ERRT by less than kMinFall, above the
    // acceptance level, lead to a minimum of the error norm, not to a root.
    if (ETold >= kAcceptTol && p->ET > (1.0 - kMinFall) * ETold) {
      if (++stalls >= kMaxStalls) break;
    } else {
      stalls = 0;
    }
  }
  bool solved = p->ET < kAcceptTol;
  // the rim point followed is the nearest one: proved from the contact, else searched
  if (solved && in.work != '1' && !RimContactCertified(p->c)) {
    for (int j = 0; j < kSlots; ++j) trial->q[j] = p->q[j];
    trial->trig = p->trig;
    ErrorsAt(m, in, nullptr, *trial);
    solved = trial->ET < kAcceptTol;
    if (solved) std::swap(p, trial);
  }
  if (p != &result) result = *p;
  return solved;
}

}  // namespace

bool PRCirMotion2Root(const Model& m, const PRStepFixed& in, const double* q0, PRStepResult& out,
                      PRNewtonStats* stats, int maxIter) {
  NewtonPoint p;
  for (int j = 0; j < kSlots; ++j) p.q[j] = q0[j];
  // the contact followed from the old one, the angles' cos and sin carried on from q1's
  const double cs1[2] = {in.cthw1, in.sthw1};
  if (in.trig1Ok) {
    JointSinCosNear(m, p.q, in.q1, in.trig1, p.trig);
    ErrorsAt(m, in, &in.thw1, p, cs1);
  } else {
    Errors(m, in, &in.thw1, p, cs1);
  }
  NewtonSolve ns;
  ns.maxIter = maxIter;
  const bool solved = SolveFollowing(m, in, p, ns);
  out.err = p.ET;
  out.JinvOk = ns.haveJinv;
  if (ns.haveJinv) std::memcpy(out.Jinv, ns.Jinv, sizeof out.Jinv);
  for (int j = 0; j < kSlots; ++j) out.q2[j] = p.q[j];
  TakeContact(p.c, out);
  if (stats != nullptr) *stats = ns.st;
  if (!solved) return false;
  // the contact point on the rim and the normal at the accepted pose (whose last link
  // the evaluation there found)
  VecCopy(p.c.rwc, out.RC2);
  NormalToAxis(p.o, p.x, out.Lf2, p.c.rfc, out.NW2);
  return true;
}

char PRCirMotion2Newton4(const Sim& s, const PRStepFixed& in, PRStepResult& out,
                         PRNewtonStats* stats, int maxIter) {
  double q[kSlots];
  NewtonStart(s, in, q);
  if (!PRCirMotion2Root(s.model(), in, q, out, stats, maxIter)) return 'D';
  return OffFinger(s.model(), in, out) ? 'O' : 'Y';
}

}  // namespace rg
