// Fixed-size linear algebra on caller-owned double arrays.
// 3-vectors are double[3] (X, Y, Z); 3x3 matrices are double[3][3], row-major.
// A frame matrix holds the unit axes of the local frame as its COLUMNS:
// parent = r + E*local, local = E^T*(parent - r).
#pragma once

#include "numerics/notes.h"

namespace rg {

// Decimal constants the program spells out.
constexpr double kPi = 3.1415926535898;
constexpr double k2Pi = 6.2831853071796;
constexpr double kPiC = 3.1415926536;    // contact and manipulation code
constexpr double k2PiC = 6.2831853072;
constexpr double kHalfPiC = 1.5707963278;

// vector operations
void VecCopy(const double a[3], double b[3]);
void VecCopyN(int n, const double* a, double* b);  // elements 0..n inclusive
void VecNeg(const double a[3], double b[3]);
void VecAdd(const double a[3], const double b[3], double c[3]);
void VecSub(const double a[3], const double b[3], double c[3]);
void VecAddRange(int first, int last, const double* a, const double* b, double* c);
void VecSubRange(int first, int last, const double* a, const double* b, double* c);
double VecDot(const double a[3], const double b[3]);
void VecCross(const double a[3], const double b[3], double c[3]);
double VecNorm(const double a[3]);
double VecDistRange(int first, int last, const double* a, const double* b);
void VecUnit(const double a[3], double b[3]);  // a zero vector passes through unchanged
void VecScale(double s, const double a[3], double b[3]);            // b = s*a
void VecAddScaled(const double a[3], double s, const double b[3], double c[3]);  // c = a + s*b
void VecSet(double x, double y, double z, double a[3]);

// matrix operations
void MatCopy(const double A[3][3], double B[3][3]);
// true when every entry is a finite number
bool VecFinite(const double v[3]);
bool MatFinite(const double E[3][3]);
// an angle brought once into [-pi, pi] with the contact code's decimal pi
double WrapPiC(double a);
void MatTrans(const double A[3][3], double B[3][3]);
void MatMul(const double A[3][3], const double B[3][3], double C[3][3]);
void MatTMul(const double A[3][3], const double B[3][3], double C[3][3]);  // C = A^T*B
void MatMulT(const double A[3][3], const double B[3][3], double C[3][3]);  // C = A*B^T
void MatVec(const double A[3][3], const double v[3], double w[3]);
void MatTVec(const double A[3][3], const double v[3], double w[3]);       // w = A^T*v
void MatIdentity(double A[3][3]);
void MatColumn(const double A[3][3], int col, double v[3]);              // v = column col
void RotLocalZ(const double A[3][3], double th, double B[3][3]);          // B = A*Cz(th)

// elementary rotations
void Cx(double a, double E[3][3]);
void Cy(double a, double E[3][3]);
void Cz(double a, double E[3][3]);

// Inverts the n x n matrix A (element (i,j) at A[i*stride+j]) in place by
// Gaussian elimination with partial pivoting; returns the determinant.
// A pivot below 1e-16 is noted (NoInverse) and returns 0 with A unchanged;
// |det| <= 1e-15 returns det with A unchanged.
double MatInverse(int n, double* A, int stride, Notes* notes = nullptr);

// Z-Y-Z Euler angles (phi, theta, psi) of the frame with axes ex, ey, ez:
// frame = Cz(phi)*Cy(theta)*Cz(psi).
void FrameToZYZ(const double ex[3], const double ey[3], const double ez[3], double ang[3]);

char DigitChar(int k);  // '0'..'9' for 0..9, 'x' otherwise

}  // namespace rg
