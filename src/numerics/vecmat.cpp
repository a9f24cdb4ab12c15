#include "numerics/vecmat.h"

#include <cmath>
#include <vector>


namespace rg {

void VecCopy(const double a[3], double b[3]) {
  b[0] = a[0];
  b[1] = a[1];
  b[2] = a[2];
}

void VecCopyN(int n, const double* a, double* b) {
  for (int i = 0; i <= n; ++i) b[i] = a[i];
}

void VecNeg(const double a[3], double b[3]) {
  b[0] = -a[0];
  b[1] = -a[1];
  b[2] = -a[2];
}

void VecAdd(const double a[3], const double b[3], double c[3]) {
  c[0] = a[0] + b[0];
  c[1] = a[1] + b[1];
  c[2] = a[2] + b[2];
}

void VecSub(const double a[3], const double b[3], double c[3]) {
  c[0] = a[0] - b[0];
  c[1] = a[1] - b[1];
  c[2] = a[2] - b[2];
}

void VecAddRange(int first, int last, const double* a, const double* b, double* c) {
  for (int i = first; i <= last; ++i) c[i] = a[i] + b[i];
}

void VecSubRange(int first, int last, const double* a, const double* b, double* c) {
  for (int i = first; i <= last; ++i) c[i] = a[i] - b[i];
}

double VecDot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void VecCross(const double a[3], const double b[3], double c[3]) {
  const double c0 = a[1] * b[2] - a[2] * b[1];
  const double c1 = a[2] * b[0] - a[0] * b[2];
  const double c2 = a[0] * b[1] - a[1] * b[0];
  c[0] = c0;
  c[1] = c1;
  c[2] = c2;
}

double VecNorm(const double a[3]) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

double VecDistRange(int first, int last, const double* a, const double* b) {
  double s = 0.0;
  for (int i = first; i <= last; ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(s);
}

void VecUnit(const double a[3], double b[3]) {
  const double n = VecNorm(a);
  if (n == 0.0) {
    VecCopy(a, b);
    return;
  }
  b[0] = a[0] / n;
  b[1] = a[1] / n;
  b[2] = a[2] / n;
}

void VecScale(double s, const double a[3], double b[3]) {
  b[0] = s * a[0];
  b[1] = s * a[1];
  b[2] = s * a[2];
}

void VecAddScaled(const double a[3], double s, const double b[3], double c[3]) {
  c[0] = a[0] + s * b[0];
  c[1] = a[1] + s * b[1];
  c[2] = a[2] + s * b[2];
}

void VecSet(double x, double y, double z, double a[3]) {
  a[0] = x;
  a[1] = y;
  a[2] = z;
}

void MatCopy(const double A[3][3], double B[3][3]) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) B[i][j] = A[i][j];
}

bool VecFinite(const double v[3]) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

bool MatFinite(const double E[3][3]) { return VecFinite(E[0]) && VecFinite(E[1]) && VecFinite(E[2]); }

double WrapPiC(double a) {
  if (a < -kPiC) a += k2PiC;
  if (a > kPiC) a -= k2PiC;
  return a;
}

void MatTrans(const double A[3][3], double B[3][3]) {
  double T[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) T[i][j] = A[j][i];
  MatCopy(T, B);
}

void MatMul(const double A[3][3], const double B[3][3], double C[3][3]) {
  double T[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) T[i][j] = A[i][0] * B[0][j] + A[i][1] * B[1][j] + A[i][2] * B[2][j];
  MatCopy(T, C);
}

void MatTMul(const double A[3][3], const double B[3][3], double C[3][3]) {
  double T[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) T[i][j] = A[0][i] * B[0][j] + A[1][i] * B[1][j] + A[2][i] * B[2][j];
  MatCopy(T, C);
}

void MatMulT(const double A[3][3], const double B[3][3], double C[3][3]) {
  double T[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) T[i][j] = A[i][0] * B[j][0] + A[i][1] * B[j][1] + A[i][2] * B[j][2];
  MatCopy(T, C);
}

void MatVec(const double A[3][3], const double v[3], double w[3]) {
  double t[3];
  for (int i = 0; i < 3; ++i) t[i] = A[i][0] * v[0] + A[i][1] * v[1] + A[i][2] * v[2];
  VecCopy(t, w);
}

void MatTVec(const double A[3][3], const double v[3], double w[3]) {
  double t[3];
  for (int i = 0; i < 3; ++i) t[i] = A[0][i] * v[0] + A[1][i] * v[1] + A[2][i] * v[2];
  VecCopy(t, w);
}

void MatIdentity(double A[3][3]) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) A[i][j] = (i == j) ? 1.0 : 0.0;
}

void MatColumn(const double A[3][3], int col, double v[3]) {
  v[0] = A[0][col];
  v[1] = A[1][col];
  v[2] = A[2][col];
}

void RotLocalZ(const double A[3][3], double th, double B[3][3]) {
  const double c = std::cos(th), s = std::sin(th);
  double T[3][3];
  for (int i = 0; i < 3; ++i) {
    T[i][0] = c * A[i][0] + s * A[i][1];
    T[i][1] = -s * A[i][0] + c * A[i][1];
    T[i][2] = A[i][2];
  }
  MatCopy(T, B);
}

void Cx(double a, double E[3][3]) {
  const double c = std::cos(a), s = std::sin(a);
  E[0][0] = 1; E[0][1] = 0; E[0][2] = 0;
  E[1][0] = 0; E[1][1] = c; E[1][2] = -s;
  E[2][0] = 0; E[2][1] = s; E[2][2] = c;
}

void Cy(double a, double E[3][3]) {
  const double c = std::cos(a), s = std::sin(a);
  E[0][0] = c;  E[0][1] = 0; E[0][2] = s;
  E[1][0] = 0;  E[1][1] = 1; E[1][2] = 0;
  E[2][0] = -s; E[2][1] = 0; E[2][2] = c;
}

void Cz(double a, double E[3][3]) {
  const double c = std::cos(a), s = std::sin(a);
  E[0][0] = c; E[0][1] = -s; E[0][2] = 0;
  E[1][0] = s; E[1][1] = c;  E[1][2] = 0;
  E[2][0] = 0; E[2][1] = 0;  E[2][2] = 1;
}

namespace {

// Orders up to this size are inverted in stack storage; the solvers use 2 and 4.
constexpr int kInvStackMax = 8;

double InvertWith(int n, double* A, int stride, double* S, int* R, int* P, int* Q,
                  Notes* notes) {
  for (int i = 0; i < n; ++i) {
    R[i] = i;
    for (int j = 0; j < n; ++j) S[i * n + j] = A[i * stride + j];
  }
  for (int i = 0; i < n; ++i) {
    int jbest = i;
    double best = std::fabs(S[R[i] * n + i]);
    for (int j = i + 1; j < n; ++j) {
      const double v = std::fabs(S[R[j] * n + i]);
      if (v > best) {
        best = v;
        jbest = j;
      }
    }
    const int tmp = R[i];
    R[i] = R[jbest];
    R[jbest] = tmp;
    const int m = R[i];
    const double u = S[m * n + i];
    if (!(std::fabs(u) >= 1e-16)) {
      AddNote(notes, Note{Note::NoInverse, m, 0, u, 0.0});
      return 0.0;
    }
    for (int k = i + 1; k < n; ++k) {
      const int g = R[k];
      const double f = S[g * n + i] / u;
      S[g * n + i] = f;
      for (int l = i + 1; l < n; ++l) S[g * n + l] -= f * S[m * n + l];
    }
  }
  for (int i = 0; i < n; ++i) P[i] = R[i];
  for (int i = 0; i < n; ++i) Q[P[i]] = i;
  double sign = 1.0;
  for (int i = 0; i < n - 1; ++i) {
    if (P[i] != i) {
      P[Q[i]] = P[i];
      Q[P[i]] = Q[i];
      sign = -sign;
    }
  }
  double det = sign;
  for (int i = 0; i < n; ++i) det *= S[R[i] * n + i];
  if (std::fabs(det) > 1e-15) {
    for (int j = 0; j < n; ++j) {
      for (int k = 0; k < n; ++k) {
        const int g = R[k];
        double t = (g == j) ? 1.0 : 0.0;
        for (int l = 0; l < k; ++l) t -= S[g * n + l] * A[l * stride + j];
        A[k * stride + j] = t;
      }
      for (int k = n - 1; k >= 0; --k) {
        const int g = R[k];
        double t = A[k * stride + j];
        for (int l = k + 1; l < n; ++l) t -= S[g * n + l] * A[l * stride + j];
        A[k * stride + j] = t / S[g * n + k];
      }
    }
  }
  return det;
}

}  // namespace

double MatInverse(int n, double* A, int stride, Notes* notes) {
  if (n <= 0) return 1.0;
  if (n <= kInvStackMax) {
    double S[kInvStackMax * kInvStackMax] = {};
    int R[kInvStackMax], P[kInvStackMax], Q[kInvStackMax];
    return InvertWith(n, A, stride, S, R, P, Q, notes);
  }
  // larger orders in heap storage; without it the matrix is left as it was
  std::vector<double> S(static_cast<size_t>(n) * n);
  std::vector<int> idx(static_cast<size_t>(3) * n);
  return InvertWith(n, A, stride, S.data(), idx.data(), idx.data() + n, idx.data() + 2 * n, notes);
}

void FrameToZYZ(const double ex[3], const double ey[3], const double ez[3], double ang[3]) {
  const double rho = std::sqrt(ez[0] * ez[0] + ez[1] * ez[1]);
  if (rho > 1e-6) {
    ang[0] = std::atan2(ez[1], ez[0]);
    ang[1] = std::atan2(rho, ez[2]);
    ang[2] = std::atan2(ey[2], -ex[2]);
  } else {
    ang[0] = 0.0;
    ang[1] = (ez[2] >= 0.0) ? 0.0 : kPi;
    ang[2] = std::atan2(ex[1], ey[1]);
  }
}

char DigitChar(int k) { return (k >= 0 && k <= 9) ? static_cast<char>('0' + k) : 'x'; }

}  // namespace rg
