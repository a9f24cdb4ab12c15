// Interference checking between the finger links, the palm and the cylinder work.
// Feature letters: 'I' side surface, 'L' lower end circle, 'U' upper end circle.
// Verdicts: 'C' interference, 'F' free; 'N', 'L', 'U' undecided by a test.
#pragma once

#include "core/state.h"

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

// palm disc against the work cylinder, in the hand frame
char RPalmCylinderCollision2(double aa, double rr, const double r[3], double aw, double Lw,
                             const double EwT[3][3], double* Lc);
int EllipseCircleCPnt(double a, double b, double Xp, double Zp, double rr, double pts[4][2]);

// a cylinder (base r, frame E, height h) expressed in the frame (rm, Em)
void CylinderToFrame(const double rm[3], const double Em[3][3], const double r[3],
                     const double E[3][3], double h, double rL[3], double rU[3], double Ep[3][3]);

// How deep a finger link reaches into the work cylinder (base r, frame E, height hw,
// radius aw): the link is the solid of radius af about the segment from a to b,
// with round ends (the fingertip ball, and the joint at its base); 0 when clear.
double LinkCylinderDepth(const double a[3], const double b[3], double af, const double r[3],
                         const double E[3][3], double hw, double aw);
// The point of the segment from a to b nearest the solid work cylinder: returns its
// signed distance from the work (minus the depth inside) and its parameter t in
// [0, 1] (0 at a, 1 at b).
double SegmentCylinderDistance(const double a[3], const double b[3], const double r[3],
                               const double E[3][3], double hw, double aw, double* t);

// finger and hand against the work cylinder; sgnCC names the link feature and the work
// feature that met ('F', 'F' when no link feature did, also when only the palm interferes).
// kLink, when given, receives what met the work: the link that ends at joint kL
// (2..n), or 0 for the palm.
char FinCylinderCollision(Sim& s, int kf, int n, const double* q, double af, const double r[3],
                          const double E[3][3], double hw, double aw, char sgnCC[2],
                          int* kLink = nullptr);
// Every finger in the pose qq and the palm against the work: 'C' and the last
// interfering finger in *kColl (its link, or 0 for the palm, in *kLink when given).
char ALLFinCylCollCheck(Sim& s, const double qq[kSlots][kSlots], double af, const double r[3],
                        const double E[3][3], double hw, double aw, int* kColl,
                        int* kLink = nullptr);

}  // namespace rg
