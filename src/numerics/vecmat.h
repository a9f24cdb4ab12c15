// Fixed-size linear algebra on caller-owned double arrays.
// 3-vectors are double[3] (X, Y, Z); 3x3 matrices are double[3][3], row-major.
// A frame matrix holds the unit axes of the local frame as its COLUMNS:
// parent = r + E*local, local = E^T*(parent - r).
#pragma once

#include <cmath>

#include "numerics/notes.h"

namespace rg {

// Decimal constants the program spells out.
constexpr double kPi = 3.1415926535898;
constexpr double k2Pi = 6.2831853071796;
constexpr double kPiC = 3.1415926536;    // contact and manipulation code
constexpr double k2PiC = 6.2831853072;
constexpr double kHalfPiC = 1.5707963278;

// Vector and 3x3 matrix operations, defined here so that the compiler can
// inline them into the geometry's inner loops. An output may be one of the inputs.
inline void VecCopy(const double a[3], double b[3]) {
  b[0] = a[0];
  b[1] = a[1];
  b[2] = a[2];
}

// elements 0..n inclusive
inline void VecCopyN(int n, const double* a, double* b) {
  for (int i = 0; i <= n; ++i) b[i] = a[i];
}

inline void VecNeg(const double a[3], double b[3]) {
  b[0] = -a[0];
  b[1] = -a[1];
  b[2] = -a[2];
}

inline void VecAdd(const double a[3], const double b[3], double c[3]) {
  c[0] = a[0] + b[0];
  c[1] = a[1] + b[1];
  c[2] = a[2] + b[2];
}

inline void VecSub(const double a[3], const double b[3], double c[3]) {
  c[0] = a[0] - b[0];
  c[1] = a[1] - b[1];
  c[2] = a[2] - b[2];
}

inline void VecAddRange(int first, int last, const double* a, const double* b, double* c) {
  for (int i = first; i <= last; ++i) c[i] = a[i] + b[i];
}

inline void VecSubRange(int first, int last, const double* a, const double* b, double* c) {
  for (int i = first; i <= last; ++i) c[i] = a[i] - b[i];
}

inline double VecDot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

inline void VecCross(const double a[3], const double b[3], double c[3]) {
  const double c0 = a[1] * b[2] - a[2] * b[1];
  const double c1 = a[2] * b[0] - a[0] * b[2];
  const double c2 = a[0] * b[1] - a[1] * b[0];
  c[0] = c0;
  c[1] = c1;
  c[2] = c2;
}

inline double VecNorm(const double a[3]) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

inline double VecDistRange(int first, int last, const double* a, const double* b) {
  double s = 0.0;
  for (int i = first; i <= last; ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(s);
}

// a zero vector passes through unchanged
inline void VecUnit(const double a[3], double b[3]) {
  const double n = VecNorm(a);
  if (n == 0.0) {
    VecCopy(a, b);
    return;
  }
  b[0] = a[0] / n;
  b[1] = a[1] / n;
  b[2] = a[2] / n;
}

// b = s*a
inline void VecScale(double s, const double a[3], double b[3]) {
  b[0] = s * a[0];
  b[1] = s * a[1];
  b[2] = s * a[2];
}

// c = a + s*b
inline void VecAddScaled(const double a[3], double s, const double b[3], double c[3]) {
  c[0] = a[0] + s * b[0];
  c[1] = a[1] + s * b[1];
  c[2] = a[2] + s * b[2];
}

inline void VecSet(double x, double y, double z, double a[3]) {
  a[0] = x;
  a[1] = y;
  a[2] = z;
}

inline void MatCopy(const double A[3][3], double B[3][3]) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) B[i][j] = A[i][j];
}

// true when every entry is a finite number
inline bool VecFinite(const double v[3]) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

inline bool MatFinite(const double E[3][3]) { return VecFinite(E[0]) && VecFinite(E[1]) && VecFinite(E[2]); }

// an angle brought once into [-pi, pi] with the contact code's decimal pi
inline double WrapPiC(double a) {
  if (a < -kPiC) a += k2PiC;
  if (a > kPiC) a -= k2PiC;
  return a;
}

inline void MatTrans(const double A[3][3], double B[3][3]) {
  double T[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) T[i][j] = A[j][i];
  MatCopy(T, B);
}

inline void MatMul(const double A[3][3], const double B[3][3], double C[3][3]) {
  double T[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) T[i][j] = A[i][0] * B[0][j] + A[i][1] * B[1][j] + A[i][2] * B[2][j];
  MatCopy(T, C);
}

// C = A^T*B
inline void MatTMul(const double A[3][3], const double B[3][3], double C[3][3]) {
  double T[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) T[i][j] = A[0][i] * B[0][j] + A[1][i] * B[1][j] + A[2][i] * B[2][j];
  MatCopy(T, C);
}

// C = A*B^T
inline void MatMulT(const double A[3][3], const double B[3][3], double C[3][3]) {
  double T[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) T[i][j] = A[i][0] * B[j][0] + A[i][1] * B[j][1] + A[i][2] * B[j][2];
  MatCopy(T, C);
}

inline void MatVec(const double A[3][3], const double v[3], double w[3]) {
  double t[3];
  for (int i = 0; i < 3; ++i) t[i] = A[i][0] * v[0] + A[i][1] * v[1] + A[i][2] * v[2];
  VecCopy(t, w);
}

// w = A^T*v
inline void MatTVec(const double A[3][3], const double v[3], double w[3]) {
  double t[3];
  for (int i = 0; i < 3; ++i) t[i] = A[0][i] * v[0] + A[1][i] * v[1] + A[2][i] * v[2];
  VecCopy(t, w);
}

inline void MatIdentity(double A[3][3]) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) A[i][j] = (i == j) ? 1.0 : 0.0;
}

// v = column col
inline void MatColumn(const double A[3][3], int col, double v[3]) {
  v[0] = A[0][col];
  v[1] = A[1][col];
  v[2] = A[2][col];
}

// sin and cos of a in one call (the same values as std::sin and std::cos); a
// compiler fuses the two calls when both results meet in one expression, not always
// when they go to separate places
inline void SinCos(double a, double* s, double* c) {
#if defined(__GLIBC__)
  ::sincos(a, s, c);
#else
  *s = std::sin(a);
  *c = std::cos(a);
#endif
}

// cos and sin of a + d from c = cos a and s = sin a, for a small turn d (|d| at most
// kSmallTurn): the angle-sum formulas with cos d - 1 and sin d from their Taylor
// series, whose first omitted terms are below 1e-21 there (below 1e-24 with the
// shorter series for |d| up to 1e-3). Within a few units in the last place of
// cos(a + d) and sin(a + d), at a tenth of a sincos's cost.
constexpr double kSmallTurn = 0.05;
inline void TurnSinCos(double c, double s, double d, double* cn, double* sn) {
  constexpr double k3 = 1.0 / 6.0, k5 = 1.0 / 20.0, k7 = 1.0 / 42.0, k9 = 1.0 / 72.0;
  constexpr double k4 = 1.0 / 12.0, k6 = 1.0 / 30.0, k8 = 1.0 / 56.0, k10 = 1.0 / 90.0;
  const double d2 = d * d;
  double sd, cm;  // sin d and cos d - 1
  if (d2 <= 1e-6) {
    sd = d * (1.0 - d2 * k3 * (1.0 - d2 * k5));
    cm = -0.5 * d2 * (1.0 - d2 * k4 * (1.0 - d2 * k6));
  } else {
    sd = d * (1.0 - d2 * k3 * (1.0 - d2 * k5 * (1.0 - d2 * k7 * (1.0 - d2 * k9))));
    cm = -0.5 * d2 * (1.0 - d2 * k4 * (1.0 - d2 * k6 * (1.0 - d2 * k8 * (1.0 - d2 * k10))));
  }
  *cn = c + (c * cm - s * sd);
  *sn = s + (s * cm + c * sd);
}

// B = A*Cz(th) for c = cos th, s = sin th; B may be A
inline void RotLocalZcs(const double A[3][3], double c, double s, double B[3][3]) {
  for (int i = 0; i < 3; ++i) {
    const double a0 = A[i][0], a1 = A[i][1];
    B[i][0] = c * a0 + s * a1;
    B[i][1] = -s * a0 + c * a1;
    B[i][2] = A[i][2];
  }
}

// B = A*Cz(th); B may be A
inline void RotLocalZ(const double A[3][3], double th, double B[3][3]) {
  RotLocalZcs(A, std::cos(th), std::sin(th), B);
}

// elementary rotations
void Cx(double a, double E[3][3]);
void Cy(double a, double E[3][3]);
void Cz(double a, double E[3][3]);

// Inverts the n x n matrix A (element (i,j) at A[i*stride+j]) in place by
// Gaussian elimination with partial pivoting; returns the determinant.
// A pivot below 1e-16 is noted (NoInverse) and returns 0 with A unchanged;
// |det| <= 1e-15 returns det with A unchanged.
double MatInverse(int n, double* A, int stride, Notes* notes = nullptr);

// Solves A x = b for the n x n matrix A (n <= 8) by Gaussian elimination with partial
// pivoting; returns the determinant. A pivot below 1e-16 is noted (NoInverse) and
// returns 0; x is written only when |det| > 1e-15, as MatInverse inverts.
double MatSolve(int n, const double* A, int stride, const double* b, double* x,
                Notes* notes = nullptr);

// The smallest singular value of the n x n matrix A (n <= 8, element (i,j) at
// A[i*stride+j]): the square root of the smallest eigenvalue of A^T A, found by
// cyclic Jacobi rotations (unrolled for a 4 x 4 array, to the same bits).
double MatMinSingular(int n, const double* A, int stride);

// Z-Y-Z Euler angles (phi, theta, psi) of the frame with axes ex, ey, ez:
// frame = Cz(phi)*Cy(theta)*Cz(psi).
void FrameToZYZ(const double ex[3], const double ey[3], const double ez[3], double ang[3]);

char DigitChar(int k);  // '0'..'9' for 0..9, 'x' otherwise

}  // namespace rg
