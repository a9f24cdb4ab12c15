#include "numerics/vecmat.h"

#include <cmath>
#include <utility>
#include <vector>


namespace rg {

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

namespace {

// MatSolve's elimination for the size N (0: n given at run time). A size known when
// compiling lets the compiler unroll the loops, which does the same operations in the
// same order: the solution is the same to the last bit.
template <int N>
double SolveGauss(int nRun, const double* A, int stride, const double* b, double* x,
                  Notes* notes) {
  constexpr int kMax = 8;
  const int n = N > 0 ? N : nRun;
  double S[kMax][kMax + 1];  // the matrix with b as its last column, eliminated in place
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) S[i][j] = A[i * stride + j];
    S[i][n] = b[i];
  }
  double det = 1.0;
  for (int i = 0; i < n; ++i) {
    int best = i;
    for (int j = i + 1; j < n; ++j)
      if (std::fabs(S[j][i]) > std::fabs(S[best][i])) best = j;
    if (best != i) {
      for (int l = 0; l <= n; ++l) std::swap(S[i][l], S[best][l]);
      det = -det;
    }
    const double u = S[i][i];
    if (!(std::fabs(u) >= 1e-16)) {
      AddNote(notes, Note{Note::NoInverse, i, 0, u, 0.0});
      return 0.0;
    }
    det *= u;
    for (int k = i + 1; k < n; ++k) {
      const double f = S[k][i] / u;
      for (int l = i + 1; l <= n; ++l) S[k][l] -= f * S[i][l];
    }
  }
  if (!(std::fabs(det) > 1e-15)) return det;
  for (int i = n - 1; i >= 0; --i) {
    double v = S[i][n];
    for (int l = i + 1; l < n; ++l) v -= S[i][l] * x[l];
    x[i] = v / S[i][i];
  }
  return det;
}

}  // namespace

double MatSolve(int n, const double* A, int stride, const double* b, double* x, Notes* notes) {
  if (n <= 0 || n > 8) return 0.0;
  // the rolling matrix of a four-joint finger, on every step's prediction
  if (n == 4) return SolveGauss<4>(n, A, stride, b, x, notes);
  return SolveGauss<0>(n, A, stride, b, x, notes);
}

namespace {

// MatMinSingular's Jacobi sweeps for the size N and row stride S (0: those given at
// run time). A size known when compiling lets the compiler unroll the rotations, which
// does the same operations in the same order: the value is the same to the last bit.
template <int N, int S>
double MinSingularJacobi(int n, const double* A, int stride) {
  constexpr int kMax = 8;
  const int m = N > 0 ? N : n;
  if (S > 0) stride = S;
  double B[kMax][kMax];
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) {
      B[i][j] = 0.0;
      for (int k = 0; k < m; ++k) B[i][j] += A[k * stride + i] * A[k * stride + j];
    }
  // cyclic Jacobi sweeps until the off-diagonal part is negligible against the diagonal
  for (int sweep = 0; sweep < 50; ++sweep) {
    double off = 0.0, diag = 0.0;
    for (int i = 0; i < m; ++i) {
      diag += B[i][i] * B[i][i];
      for (int j = i + 1; j < m; ++j) off += B[i][j] * B[i][j];
    }
    if (!(off > 1e-32 * diag)) break;
    for (int p = 0; p < m; ++p)
      for (int q = p + 1; q < m; ++q) {
        if (B[p][q] == 0.0) continue;
        const double theta = (B[q][q] - B[p][p]) / (2.0 * B[p][q]);
        const double t =
            (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), sn = t * c;
        for (int k = 0; k < m; ++k) {  // B = J^T B J, columns then rows
          const double bkp = B[k][p], bkq = B[k][q];
          B[k][p] = c * bkp - sn * bkq;
          B[k][q] = sn * bkp + c * bkq;
        }
        for (int k = 0; k < m; ++k) {
          const double bpk = B[p][k], bqk = B[q][k];
          B[p][k] = c * bpk - sn * bqk;
          B[q][k] = sn * bpk + c * bqk;
        }
      }
  }
  double lmin = B[0][0];
  for (int i = 1; i < m; ++i) lmin = std::fmin(lmin, B[i][i]);
  return std::sqrt(std::fmax(lmin, 0.0));
}

}  // namespace

double MatMinSingular(int n, const double* A, int stride) {
  if (n <= 0 || n > 8) return 0.0;
  // a rolling matrix (double[4][4]) of a four-joint finger, on every step of a plan
  if (n == 4 && stride == 4) return MinSingularJacobi<4, 4>(n, A, stride);
  return MinSingularJacobi<0, 0>(n, A, stride);
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
