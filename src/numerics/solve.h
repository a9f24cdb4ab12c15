// Solvers for the trigonometric and polynomial equations that the contact and
// distance problems reduce to. Angles are returned in (-pi, pi].
//
// Second-degree trigonometric form solved by TRI2:
//   BC2*cos^2 + 2*BCS*cos*sin + BS2*sin^2 + 2*BC1*cos + 2*BS1*sin + BX = 0
#pragma once

#include "numerics/notes.h"

namespace rg {

// trigonometric equations; coefficients that are not finite numbers give no solution

// TRI2: the closed form (a quartic in cos, or one of its special forms) proposes angles;
// each is refined by Newton on f itself in th and kept only where |f| <= 1e-7 * S, with
// S = |BC2| + |BS2| + 2|BCS| + 2|BC1| + 2|BS1| + |BX|. The circle is then cut into arcs on
// each of which f has at most one root (between the stationary points of f written in
// a half-angle tangent), and an arc whose ends differ in sign but holds none of those
// angles adds the root the closed form lost. The closed form's angles come first, in its order.
// Every root where f changes sign is returned, to the rounding of f (about
// 1e-15 * S / |f'| rad), except:
//  - two roots so close that f between them stays within rounding of zero (below about
//    1e-15 * S, which takes roots less than about 1e-6 rad apart): one angle for both,
//    or none;
// and it can miss:
//  - a tangential double root, where f touches zero without changing sign: returned only
//    when the closed form finds it (with |f| <= 1e-7 * S there).
// An equation in sin alone is noted (SineOnly).
int TRI2(double BC2, double BS2, double BCS, double BC1, double BS1, double BX, double th[4],
         Notes* notes = nullptr);
// Whether TRI2 with these coefficients notes an equation in sin alone (SineOnly).
bool TRI2NotesSineOnly(double BC2, double BS2, double BCS, double BC1, double BS1, double BX);
int TRI1(double a, double b, double c, double th[2]);  // a*cos + b*sin + c = 0
// The step (rad) of TRI22's scan: it brackets a root only where f changes sign between
// two points this far apart, so it may miss two roots closer than this, and a root in
// the stretch of up to this width it leaves unexamined below pi.
constexpr double kTri22ScanStep = 0.1;
// Scan-and-secant roots of A cos^2 + B sin^2 + 2C cos sin + 2D cos + 2E sin = 0, in
// increasing order from -pi; writes at most maxRoots roots (callers reserve at least 8).
// A sign change whose secant search does not reach |f| < 1e-6 within 100 steps, or
// leaves its kTri22ScanStep-wide bracket, records no root. The steps of kTri22ScanStep
// from -pi stop short of pi: the scan never examines the last 0.083 rad below pi (after
// a root the steps restart one step past it, which moves that unexamined end), so a
// sign change there is not seen.
int TRI22(double A, double B, double C, double D, double E, double* th, int maxRoots = 64);
double TrigForm2(double A, double B, double C, double D, double E, double th);

// polynomial equations
int SolveQuadratic(double p, double q, double x[2]);                     // x^2 + 2p x + q
int SolveCubic(double a, double b, double c, double x[3]);               // x^3 + a x^2 + b x + c
int SolveQuartic(double a, double b, double c, double d, double x[4]);   // x^4 + a x^3 + ...
double CubeRoot(double x);
double PolyRootPolish(int n, double x0, const double* c);  // x^n + c0 x^(n-1) + ... + c(n-1)

}  // namespace rg
