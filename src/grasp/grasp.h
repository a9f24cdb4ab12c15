// Grasp solution: the first contact of each finger with the work (cylinder or
// sphere) as its last joint closes, and the grasp driver that records it.
//
// The contact solvers work in the frame Σm of the finger's last joint before its
// own rotation: origin at joint nJ, z = the joint axis. At joint angle q the last
// link's axis points along u(q) = (cos q, sin q, 0); the link is a cylinder of
// radius aFin and length lFin, capped by the fingertip sphere (radius aFin,
// centre lFin*u(q)). The work is the cylinder of radius aCyl and height hCyl
// whose bottom-face centre is rwM and whose axes are the columns xw, yw, zw of
// EwM (all in Σm).
//
// Finger-side codes solF: 1 on the link (0 <= Lf <= lFin), 3 beyond the link end,
// -1 behind the link base or on the rear half of the tip sphere, 2 on the
// fingertip, 0 none. Work-side codes solW: 1 on the side (0 <= Lw <= hCyl),
// 3 above the top (disk solver: on the disk), -1 below the bottom, 2 on the rim,
// 4 the finger reaches into the end disk (rim solvers) or touches the face plane
// beyond the disk's rim (disk solver), 5 the finger touches the rim from the
// side-surface side (rim solvers; it would cut into the side), 0 none.
#pragma once

#include "core/model.h"
#include "core/state.h"
#include "work/work.h"

namespace rg {

// One contact candidate, in Σm.
struct ContactM {
  double q = 0.0;       // last-joint angle of the contact
  ContactPrm prm = {};  // Lf, fif, psif, Lw, Ltw, thw
  double RCm[3] = {};   // contact point
  double NFm[3] = {};   // unit normal of the finger at the contact (towards the work)
  double NWm[3] = {};   // unit outward normal of the work (towards the finger)
  int solF = 0;
  int solW = 0;
};

// The work's pose in Σm: bottom-face centre (the centre for the sphere) and frame
// (columns xw, yw, zw).
struct WorkM {
  double rwM[3] = {};
  double EwM[3][3] = {};
};

// One rim circle of the cylinder in Σm: the lower ('L', centre rwM) or upper ('U',
// centre rwM + hCyl zw) one, with the work's axes; its radius is the model's aCyl.
struct RimM {
  char sgnUL = 'L';
  double C[3] = {};
  double xw[3] = {}, yw[3] = {}, zw[3] = {};
};
RimM RimOf(const Model& m, const WorkM& w, char sgnUL);

// The work's pose (work/work.h's WorkPose) from a position and frame in the hand frame ΣA.
WorkPose WorkPoseOf(const double rwG[3], const double EwG[3][3]);

// One finger's first contact with the work, in the hand frame: what a dispatcher
// and the grasp driver return. The dispatchers only return it; the driver writes
// it into the state.
struct FingerContact {
  double qf[kSlots] = {};  // joint angles 0..nJ at the contact (q0 when none)
  ContactPrm prm = {};
  double RC[3] = {};  // contact point
  double NF[3] = {};  // unit finger normal (towards the work)
  double NW[3] = {};  // unit outward work normal
  char sgnLT = 'N';   // cylinder: 'L' on the link, 'T' on the tip, 'N' none
  char GTYPE[2] = {'N', 'N'};
  // the verdict: 'Y' an accepted contact, 'N' none
  char sgnGRASPM = 'N';
  // the part of the work touched: 'U' the upper rim or disk, 'L' the lower one, 'M'
  // the cylinder's side, 'S' the sphere; 'N' none
  char sgnUML = 'N';
};

// Work done by one Newton iteration on a rim (for inspection and tests).
struct NewtonCount {
  int cntG = 0;  // Jacobian evaluations
  int nErr = 0;  // error evaluations
};

// The five candidates of one dispatcher call (index 1..5; 0 unused). The fingertip on
// the side (2) and on the rim (4) are left unsolved, 'N' at angle 1000, when a valid
// candidate is known and the tip ball provably stays clear of the work (of the rim, for
// 4) for every joint angle up to that candidate's.
struct GraspCandidates {
  char sgnUL = 'N';          // rim the link plane reaches: 'L', 'U', 'M' (side only), 'N'
  char sgnZm1 = 'N', sgnZm2 = 'N';
  char rim[6] = {};          // end of the work of candidates 3..5: 'L' lower, 'U' upper
  bool swept = false;        // the candidates were solved again from the swept first touch
  ContactM c[6];
  double qc[6] = {};         // last-joint angle of each candidate
  char GTYPE1[6][2] = {};    // candidate type pair (finger side, work side)
  char solC[6] = {};         // 'Y' valid, 'O' outside the real surfaces, 'N' none
  int K = 0;                 // selected candidate, 0 = none
};

// link and fingertip on the cylinder's side surface
// Index of the smallest kept angle above -pi/2 (the first tangency met as the joint
// turns from the end of its range); a strictly smaller angle replaces the running
// minimum, so the first of equal angles wins. -1 when none qualifies.
int FirstRootAbove(const double* q, const bool* kept, int n);
// With qStart, the root that Newton steps reach from it joins the roots of the equation.
int FinLinkCylinderContactm2(const Model& m, double q0, const WorkM& w, ContactM& c,
                             const double* qStart = nullptr, Notes* notes = nullptr);
int FinTipCylinderContactm2(const Model& m, double q0, const WorkM& w, ContactM& c,
                            const double* qStart = nullptr, Notes* notes = nullptr);
// whether solving the fingertip's side equation notes an equation in sin alone
bool TipSideEquationNotes(const Model& m, const WorkM& w);

// Link on a rim circle: damped Newton on pm = (q, theta), started at the rim's
// crossing with the link plane (or at pm0); at most 100 Jacobians, reaching the cap
// means no solution. Returns 1 for a contact on the link whose normal points out of
// both the end face and the side surface.
int LinkCircleContactm2(const Model& m, const RimM& rim, ContactM& c, NewtonCount* cnt = nullptr,
                        Notes* notes = nullptr);
int LinkCircleContactFrom(const Model& m, const RimM& rim, const double pm0[2], ContactM& c,
                          NewtonCount* cnt = nullptr, Notes* notes = nullptr);
// the iteration alone (no normal-cone test)
int LinkCircleCNewtonm2(const Model& m, const RimM& rim, const double pm0[2], ContactM& c,
                        NewtonCount* cnt = nullptr, Notes* notes = nullptr);
// Jacobian J of the link-rim error at pm and its inverse IJB; returns det J.
double LinkCircleContactGradm2(const Model& m, const RimM& rim, const double pm[2], double J[2][2],
                               double IJB[2][2], Notes* notes = nullptr);
// The link-rim error at pm and what it is made of.
struct LinkRimResidual {
  double L1 = 0.0;     // foot of the rim point on the link axis, along the link
  double r1[3] = {};   // that foot
  double P[3] = {};    // rim point
  double nw[3] = {};   // unit vector from P to the foot
  double Err[2] = {};  // (foot-to-rim line not normal to the rim, distance - aFin)
  double norm = 0.0;   // |Err[0]| + |Err[1]|
};
LinkRimResidual LinkCircleContactErrm2(const Model& m, const RimM& rim, const double pm[2]);

// Fingertip on a rim circle: damped Newton on pm = (q, theta) started at
// pm0 + (0.1, 0.1), at most 100 Jacobians. Returns 1 for an accepted contact (codes
// (2, 2)).
int TipCircleContactm2(const Model& m, const RimM& rim, const double pm0[2], ContactM& c,
                       NewtonCount* cnt = nullptr, Notes* notes = nullptr);
// the iteration alone (no end-disk or normal-cone test)
int FinTipCircleNewtonm2(const Model& m, const RimM& rim, const double pm0[2], ContactM& c,
                         NewtonCount* cnt = nullptr, Notes* notes = nullptr);
// The tip-rim error at pm and what it is made of.
struct TipRimResidual {
  double T[3] = {};    // tip centre
  double n[3] = {};    // unit normal of the tip sphere towards the rim point
  double P[3] = {};    // rim point
  double nf[3] = {};   // -n
  double t[3] = {};    // rim tangent at P
  double Err[2] = {};  // (|P - T| - aFin, (P - T).t)
};
// returns |Err[0]| + |Err[1]|
double TipCircleContactErrm2(const Model& m, const RimM& rim, const double pm[2],
                             TipRimResidual& r);
// One Newton step of the tip-rim error at pm: Jacobian, its inverse and the step dpm
// (largest component dpmmax); returns det J.
struct RimNewtonStep {
  double J[2][2] = {}, IJB[2][2] = {};
  double dpm[2] = {};
  double dpmmax = 0.0;
};
double TipCircleContactGradm2(const Model& m, const RimM& rim, const double pm[2],
                              RimNewtonStep& st, Notes* notes = nullptr);

// fingertip on an end disk (closed form): face centre PWm, outward face normal mW;
// returns 0 none, 3 on the disk, 4 beyond its rim
int FinTipDiskContactm2(const Model& m, char sgnUL, const double PWm[3], const double EwM[3][3],
                        const double mW[3], ContactM& c);

// which rim the slab -aFin <= z <= aFin swept by the link can reach; when both rims
// meet the slab, start (if given) receives the chosen rim's (q, theta) of
// CircleZmPlaneCPnt, the link-rim solver's start
char CylinderZmPlaneCross(const Model& m, const WorkM& w, char& sgnZm1, char& sgnZm2,
                          double* start = nullptr);
// Crossing of the rim (radius aCyl, plane xw-yw) with the plane z = 0, else
// z = +aFin, else z = -aFin: out = (q, r, theta, 0) of the crossing met at the
// smaller joint angle; plane = '0', 'P' or 'M'. Returns 0 when the rim crosses none
// of them (it lies wholly on one side of each); out then holds the same estimate
// for the rim point nearest to the plane z = 0 and plane = 'N'.
int CircleZmPlaneCPnt(const Model& m, const RimM& rim, double out[4], char& plane);

// The last link's first touch of the work as its joint closes from -pi/2: the
// distance between the link, taken as the capsule about its axis from the joint to
// the tip centre, and the solid work is scanned over the closing angle, and its first
// zero is bisected. False when the link meets the work already at -pi/2, never meets
// it, or first meets it with the capsule's ball about the joint (no link contact).
struct SweptTouch {
  double q = 0.0;  // last-joint angle
  double t = 0.0;  // where along the axis: 0 at the joint, lFin at the tip centre
};
bool SweepFirstTouch(const Model& m, const WorkM& w, SweptTouch& st);

// contact-type dispatcher: the candidate reached first, in the hand frame. When the
// candidates' own starts miss the first touch (no contact at all, or the chosen
// contact's pose already has the link in the work), the rim and disk candidates are
// solved again, on both ends of the work, from the swept first touch. The finger
// starts at joint angles q0; the dimensions are the run's model's.
int SelectContactCandidate(const char solC[6], const double qc[6]);
int FingerCylinderContactA3(Sim& s, int kf, const double* q0, const WorkPose& wG,
                            FingerContact& out, GraspCandidates* cand = nullptr);

// The work sphere (centre w.rwM, frame w.EwM, in Σm): the link's side or the
// fingertip ball touching it first as the joint closes, in closed form. Return 1 with
// the contact in c (work-side parameters alw, betw and the cylindrical coordinates of
// the contact point, see ContactPrm), else 0.
int FinLinkSphereContactm(const Model& m, double q0, const WorkM& w, ContactM& c);
int FinTipSphereContactm(const Model& m, double q0, const WorkM& w, ContactM& c);
// Sphere dispatcher: the link ("LS") or tip ("TS") contact reached first, in the
// hand frame, on the part 'S'. No contact when the last link already reaches into
// the sphere as the joint starts to close (at -pi/2).
int FingerSphereContactA3(Sim& s, int kf, const double* q0, const WorkPose& wG, FingerContact& out);

// One finger's first touch: finger kf (1..nF) closes its last joint from the angles
// q0 until it touches the selected work (s.WORK1) in the pose wG; the cylinder's or
// the sphere's dispatcher, as the grasp driver runs it for each finger and a place
// (manip/gait.h) for one. Returns 1 with the contact in out, else 0.
int FingerFirstTouch(Sim& s, int kf, const double* q0, const WorkPose& wG, FingerContact& out);
// The reference point of a contact on the work axis (wG.r is the bottom-face centre of
// the cylinder, the centre of the sphere): the centre of the upper rim or disk for
// sgnUML 'U', the axis point at height Lw for the side ('M'), else wG.r.
void ContactReferencePoint(const Model& m, const WorkPose& wG, char sgnUML, double Lw,
                           double rwP[3]);

// grasp driver (one finger per call): finger kf (1..nF) closes its last joint from
// its initial angles s.qq0[kf] until it touches the run's work (s.WORK1 at s.rwG,
// s.EwG); the contact goes to s.qf[kf], s.GGTYPE[kf], s.sgnGRASPM[kf], s.sgnUML[kf]
// (kept as it was when there is no contact) and the record, and to out.
int FinWrkContact2(Sim& s, int kf, FingerContact& out);
int GRASP(Sim& s, int kf, FingerContact* out = nullptr);

}  // namespace rg
