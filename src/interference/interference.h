// Interference checking between the finger links, the palm and the cylinder work.
// Feature letters: 'I' side surface, 'L' lower end circle, 'U' upper end circle.
// Verdicts: 'C' interference, 'F' free; 'N', 'L', 'U' undecided by a test.
#pragma once

#include "core/state.h"
#include "hand/hand.h"

namespace rg {

// cylinder and circle tests, each in the frame of its first solid (axis +z from the origin)
char CylCylColl(double L1, double a1, const double r2[3], const double E2[3][3], double L2,
                double a2, double* d, double* t1, double* t2, double p1[3], double p2[3],
                double n[3], char sgn[2]);
// (TRI2's notes go to notes)
char CylCirCollisionm(double L1, double a1, const double rc[3], const double Ec[3][3], double ac,
                      double* d, double* t, double p[3], double q[3], Notes* notes = nullptr);
char CirCirCollisionm(double a1, const double r2[3], const double E2[3][3], double a2, double q[3],
                      double* d);

// The work cylinder as a solid: base centre r, axes E (columns, z along the axis),
// height h and radius a.
struct CylinderSolid {
  double r[3] = {};
  double E[3][3] = {};
  double h = 0.0, a = 0.0;
};
// Model m's work cylinder in the pose (r, E).
CylinderSolid WorkCylinder(const Model& m, const double r[3], const double E[3][3]);

// model m's palm disc against the work cylinder w, in the hand frame
char RPalmCylinderCollision2(const Model& m, const CylinderSolid& w, double* Lc);
// True when the work cylinder w lies wholly beyond the plane of model m's palm face,
// by more than a margin far above the palm test's own tolerances, so that the palm
// cannot meet it: told from the end circles alone, before RPalmCylinderCollision2.
bool PalmFaceClearOfCylinder(const Model& m, const CylinderSolid& w);
int EllipseCircleCPnt(double a, double b, double Xp, double Zp, double rr, double pts[4][2]);

// a cylinder (base r, frame E, height h) expressed in the frame (rm, Em)
void CylinderToFrame(const double rm[3], const double Em[3][3], const double r[3],
                     const double E[3][3], double h, double rL[3], double rU[3], double Ep[3][3]);

// How deep a finger link reaches into the work cylinder w: the link is the solid of
// radius af about the segment from a to b, with round ends (the fingertip ball, and
// the joint at its base); 0 when clear.
double LinkCylinderDepth(const double a[3], const double b[3], double af, const CylinderSolid& w);
// The point of the segment from a to b nearest the solid work cylinder w: returns its
// signed distance from the work (minus the depth inside) and its parameter t in
// [0, 1] (0 at a, 1 at b).
double SegmentCylinderDistance(const double a[3], const double b[3], const CylinderSolid& w,
                               double* t);
// SegmentCylinderDistance where only its side of a level matters: the search stops
// as soon as it can tell, with *side = -1 when its result would lie below the level
// and +1 when at or above it (by a margin of 1e-9 of the sizes involved; the value
// returned is then meaningless). When it cannot tell, *side = 0 and the value is
// SegmentCylinderDistance's own, bit for bit, for the caller's exact comparison.
double SegmentCylinderDistanceAgainst(const double a[3], const double b[3], const CylinderSolid& w,
                                      double level, int* side);
// LinkCylinderDepth(a, b, af, w) <= tol, mostly without the full search; tHint, when
// given, is where along the segment (length units from a) the link is expected to
// come nearest the work, which often decides it at once.
bool LinkWithinDepth(const double a[3], const double b[3], double af, const CylinderSolid& w,
                     double tol, const double* tHint = nullptr);

// Signed distance of a point p, given in a cylinder's frame (origin at the base
// centre, z along the axis), from that solid cylinder (height hw, radius aw):
// positive outside, minus the depth inside.
double SignedCylinderDistance(const double p[3], double hw, double aw);

// What met the work: sgnCC names the link feature and the work feature ('F', 'F'
// when no link feature did, also when only the palm interferes); link the link that
// ends at joint kL (2..n), or 0 for the palm (-1: none).
struct LinkMeeting {
  char sgnCC[2] = {'F', 'F'};
  int link = -1;
};
// The links 2..n of a finger in pose P (radius af) alone against the work w, as
// FinCylinderCollision tests them (the palm left out).
char FinLinksCylinderCollision(const FingerPose& P, int n, double af, const CylinderSolid& w,
                               LinkMeeting& met, Notes* notes);
// Finger kf of model m (where it sits with the cylinder) in pose q against the work
// w; with the last finger, the palm too. The circle tests' notes (TRI2's) go to notes.
char FinCylinderCollision(const Model& m, int kf, const double* q, const CylinderSolid& w,
                          LinkMeeting& met, Notes* notes);
// How deep a finger may reach into the work and still only touch it: well above a
// contact's own tolerance, so a link touching the rim is never taken for one in it.
constexpr double kLinkDepthTol = 1e-4;
// Whether finger kf of model m in pose P (Findirect_kineR where it sits with the
// cylinder) meets the work cylinder w: one of its links before the last meets it, or
// the last link with its fingertip ball reaches deeper than kLinkDepthTol into it (a
// link that touches the rim only does not). Lf, when given, is where along the last
// link it is expected nearest the work (its contact). link receives the link that
// meets it (nJ + 1: the last one).
bool FingerMeetsCylinder(const Model& m, const FingerPose& P, const CylinderSolid& w,
                         const double* Lf, Notes* notes, int* link);

// Every finger in the pose qq and the palm against the work: 'C' and the last
// interfering finger in *kColl (its link, or 0 for the palm, in *kLink when given).
char ALLFinCylCollCheck(const Model& m, const double qq[kSlots][kSlots], const CylinderSolid& w,
                        Notes* notes, int* kColl, int* kLink = nullptr);

// Distance between the segment from a0 to a1 and the segment from b0 to b1.
double SegmentSegmentDistance(const double a0[3], const double a1[3], const double b0[3],
                              const double b1[3]);

// ---- the work sphere (centre c, radius aw, in the hand frame)

// Distance of the point p from the segment from a to b; t receives the parameter
// (0 at a, 1 at b) of the segment point nearest p.
double SegmentPointDistance(const double a[3], const double b[3], const double p[3], double* t);
// The palm disc (thickness aa about the hand frame's Y axis, radius rr) against the
// sphere: 'C' when they come nearer than -tol (overlap deeper than tol), else 'F'.
char RPalmSphereCollision(double aa, double rr, const double c[3], double aw, double tol);
// Smallest clearance between the sphere and the links of finger kf of model m (where
// it sits with the sphere) in pose q (each link the solid of radius aFin about its
// axis segment, the last one ending in the fingertip ball): negative when a link
// reaches into the sphere; link receives the index k of the segment from joint k-1
// to k (nJ+1: the last link with the tip).
double FinSphereClearance(const Model& m, int kf, const double* q, const double c[3], double aw,
                          int* link = nullptr);
// Finger kf (and, with the last finger, the palm) against the sphere: 'C' when a
// link reaches deeper than tol into it, else 'F'.
char FinSphereCollision(const Model& m, int kf, const double* q, const double c[3], double aw,
                        double tol);
// Whether finger kf of model m at the angles q (and, with the last finger, the palm)
// reaches deeper than kLinkDepthTol into the sphere; link receives the link that does
// (0: the palm).
bool FingerMeetsSphere(const Model& m, int kf, const double* q, const double c[3], int* link);

// Every finger in its pose qq[kf] (tol 0): 'C' with kColl the last finger that
// interferes (the palm counts with the last finger).
char ALLFinSphCollCheck(const Model& m, const double qq[kSlots][kSlots], const double c[3],
                        double aw, int* kColl);

// ---- either work

// Whether finger kf of model m at the angles q meets the work WORK1 ('1' the sphere,
// '2' the cylinder) whose reference point is r and frame E (hand frame), as the
// rolling step judges a finger: FingerMeetsCylinder or FingerMeetsSphere.
bool FingerMeetsWork(const Model& m, char work, int kf, const double* q, const double r[3],
                     const double E[3][3], Notes* notes, int* link);
// How far finger kf of model m at the angles q stays from that work: the smallest
// distance between the work and the surface of its links (radius aFin about their
// axes, the last one ending in the fingertip ball); negative when one reaches in.
// link receives the link that comes nearest (nJ + 1: the last one).
double FingerClearance(const Model& m, char work, int kf, const double* q, const double r[3],
                       const double E[3][3], int* link = nullptr);

}  // namespace rg
