// Solvers for the trigonometric and polynomial equations that the contact and
// distance problems reduce to. Angles are returned in (-pi, pi].
//
// Second-degree trigonometric form solved by TRI2:
//   BC2*cos^2 + 2*BCS*cos*sin + BS2*sin^2 + 2*BC1*cos + 2*BS1*sin + BX = 0
#pragma once

#include "numerics/notes.h"

namespace rg {

// trigonometric equations; coefficients that are not finite numbers give no solution
// (an equation in sin alone is noted, as SineOnly)
int TRI2(double BC2, double BS2, double BCS, double BC1, double BS1, double BX, double th[4],
         Notes* notes = nullptr);
int TRI1(double a, double b, double c, double th[2]);  // a*cos + b*sin + c = 0
// Scan-and-secant roots of A cos^2 + B sin^2 + 2C cos sin + 2D cos + 2E sin = 0, in
// increasing order from -pi; writes at most maxRoots roots (callers reserve at least 8).
// A sign change whose secant search does not reach |f| < 1e-6 within 100 steps, or
// leaves its 0.1-wide bracket, records no root.
int TRI22(double A, double B, double C, double D, double E, double* th, int maxRoots = 64);
double TrigForm2(double A, double B, double C, double D, double E, double th);

// polynomial equations
int SolveQuadratic(double p, double q, double x[2]);                     // x^2 + 2p x + q
int SolveCubic(double a, double b, double c, double x[3]);               // x^3 + a x^2 + b x + c
int SolveQuartic(double a, double b, double c, double d, double x[4]);   // x^4 + a x^3 + ...
double CubeRoot(double x);
double PolyRootPolish(int n, double x0, const double* c);  // x^n + c0 x^(n-1) + ... + c(n-1)

}  // namespace rg
