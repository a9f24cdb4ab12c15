// Vector and matrix library: the operations every geometric computation rests on.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "numerics/vecmat.h"
#include "support.h"

using namespace rg;

namespace {

void ExpectMatNear(const double A[3][3], const double B[3][3], double tol) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(A[i][j], B[i][j], tol) << "at " << i << "," << j;
}

}  // namespace

TEST(Vectors, CrossDotNormAndUnit) {
  const double a[3] = {1, 2, 3}, b[3] = {-4, 0.5, 2};
  double c[3];
  VecCross(a, b, c);
  EXPECT_NEAR(VecDot(c, a), 0.0, 1e-12);
  EXPECT_NEAR(VecDot(c, b), 0.0, 1e-12);
  EXPECT_DOUBLE_EQ(c[0], 2 * 2 - 3 * 0.5);
  EXPECT_DOUBLE_EQ(c[1], 3 * -4 - 1 * 2);
  EXPECT_DOUBLE_EQ(c[2], 1 * 0.5 - 2 * -4);
  // the output may alias an input
  double d[3] = {1, 2, 3};
  VecCross(d, b, d);
  EXPECT_DOUBLE_EQ(d[0], c[0]);
  EXPECT_DOUBLE_EQ(d[2], c[2]);

  const double z[3] = {0, 0, 0};
  double u[3];
  VecUnit(z, u);
  EXPECT_EQ(u[0], 0.0);
  EXPECT_EQ(u[2], 0.0);
  const double tiny[3] = {0, 0, 1e-3};
  VecUnit(tiny, u);
  EXPECT_DOUBLE_EQ(u[2], 1.0);
}

TEST(Vectors, RangedOperationsTouchOnlyTheRange) {
  double a[7] = {9, 1, 2, 3, 4, 9, 9}, b[7] = {9, 1, 1, 1, 1, 9, 9}, c[7] = {0, 0, 0, 0, 0, 0, 0};
  VecAddRange(1, 4, a, b, c);
  EXPECT_EQ(c[0], 0.0);
  EXPECT_EQ(c[1], 2.0);
  EXPECT_EQ(c[4], 5.0);
  EXPECT_EQ(c[5], 0.0);
  VecSubRange(2, 3, a, b, c);
  EXPECT_EQ(c[2], 1.0);
  EXPECT_EQ(c[3], 2.0);
  EXPECT_DOUBLE_EQ(VecDistRange(1, 4, a, b), std::sqrt(0 + 1 + 4 + 9));
  double n[7] = {};
  VecCopyN(4, a, n);  // elements 0..4 inclusive
  EXPECT_EQ(n[4], 4.0);
  EXPECT_EQ(n[5], 0.0);
}

TEST(Rotations, ElementaryRotationsAndFrames) {
  double R[3][3];
  Cz(M_PI / 2, R);
  const double x[3] = {1, 0, 0};
  double y[3];
  MatVec(R, x, y);
  EXPECT_NEAR(y[1], 1.0, 1e-15);  // Cz turns x onto y
  Cx(M_PI / 2, R);
  const double ey[3] = {0, 1, 0};
  MatVec(R, ey, y);
  EXPECT_NEAR(y[2], 1.0, 1e-15);  // Cx turns y onto z
  Cy(M_PI / 2, R);
  const double ez[3] = {0, 0, 1};
  MatVec(R, ez, y);
  EXPECT_NEAR(y[0], 1.0, 1e-15);  // Cy turns z onto x

  double I[3][3], B[3][3];
  MatIdentity(I);
  RotLocalZ(I, M_PI / 2, B);
  EXPECT_NEAR(B[0][0], 0, 1e-15);
  EXPECT_NEAR(B[1][0], 1, 1e-15);  // ex = (0,1,0)
  EXPECT_NEAR(B[0][1], -1, 1e-15);  // ey = (-1,0,0)
  EXPECT_NEAR(B[2][2], 1, 1e-15);

  // RotLocalZ is post-multiplication by Cz
  double A[3][3], C1[3][3], C2[3][3];
  Cx(0.3, A);
  RotLocalZ(A, 0.7, C1);
  Cz(0.7, R);
  MatMul(A, R, C2);
  ExpectMatNear(C1, C2, 1e-15);

  // A^T * A = I for a product of rotations
  Cy(1.1, R);
  MatMul(A, R, C1);
  MatTMul(C1, C1, C2);
  ExpectMatNear(C2, I, 1e-15);
}

TEST(Rotations, FrameToZYZRebuildsTheFrame) {
  double ang[3];
  const double ex[3] = {1, 0, 0}, ey[3] = {0, 1, 0}, ez[3] = {0, 0, 1};
  FrameToZYZ(ex, ey, ez, ang);
  EXPECT_EQ(ang[0], 0.0);
  EXPECT_EQ(ang[1], 0.0);
  EXPECT_EQ(ang[2], 0.0);
  const double fx[3] = {-1, 0, 0}, fz[3] = {0, 0, -1};
  FrameToZYZ(fx, ey, fz, ang);
  EXPECT_EQ(ang[0], 0.0);
  EXPECT_NEAR(ang[1], M_PI, 1e-12);
  EXPECT_EQ(ang[2], 0.0);

  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-3, 3);
  for (int t = 0; t < 200; ++t) {
    double E[3][3], R[3][3], T[3][3];
    Cz(u(rng), E);
    Cy(u(rng) / 2 + 1.6, R);
    MatMul(E, R, T);
    Cz(u(rng), R);
    MatMul(T, R, E);
    double cx[3], cy[3], cz[3];
    MatColumn(E, 0, cx);
    MatColumn(E, 1, cy);
    MatColumn(E, 2, cz);
    FrameToZYZ(cx, cy, cz, ang);
    double F[3][3];
    Cz(ang[0], F);
    Cy(ang[1], R);
    MatMul(F, R, T);
    Cz(ang[2], R);
    MatMul(T, R, F);
    ExpectMatNear(F, E, 1e-9);
  }
}

// A small turn carried on from an angle's cos and sin lands within a few units in the
// last place of the turned angle's own, over both lengths of its series; the kinematics'
// version turns the joints that moved little and computes the others afresh.
TEST(Rotations, SmallTurnsCarryCosAndSinToRounding) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int trial = 0; trial < 3000; ++trial) {
    const double a = 3.2 * u(gen);
    const double d = rg::kSmallTurn * u(gen) * std::pow(10.0, -8.0 * std::fabs(u(gen)));
    double c, s;
    rg::TurnSinCos(std::cos(a), std::sin(a), d, &c, &s);
    EXPECT_NEAR(c, std::cos(a + d), 1e-15) << a << " " << d;
    EXPECT_NEAR(s, std::sin(a + d), 1e-15) << a << " " << d;
  }
}

TEST(Inverse, PivotsAndSolves) {
  double A[4] = {0, 1, 1, 0};
  EXPECT_DOUBLE_EQ(MatInverse(2, A, 2), -1.0);
  EXPECT_EQ(A[0], 0.0);
  EXPECT_EQ(A[1], 1.0);
  EXPECT_EQ(A[2], 1.0);
  EXPECT_EQ(A[3], 0.0);

  // random well-conditioned 4x4: A * inv(A) = I, determinant by cofactors of a known product
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int t = 0; t < 50; ++t) {
    double M[16], Inv[16];
    for (int i = 0; i < 16; ++i) M[i] = u(rng) + (i % 5 == 0 ? 3.0 : 0.0);
    for (int i = 0; i < 16; ++i) Inv[i] = M[i];
    const double det = MatInverse(4, Inv, 4);
    ASSERT_GT(std::fabs(det), 1e-3);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        double s = 0;
        for (int k = 0; k < 4; ++k) s += M[i * 4 + k] * Inv[k * 4 + j];
        EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12);
      }
    // solving for one right-hand side: the same determinant, the inverse's solution
    const double b[4] = {u(rng), u(rng), u(rng), u(rng)};
    double x[4];
    EXPECT_NEAR(MatSolve(4, M, 4, b, x), det, 1e-12 * std::fabs(det));
    for (int i = 0; i < 4; ++i) {
      double want = 0;
      for (int k = 0; k < 4; ++k) want += Inv[i * 4 + k] * b[k];
      EXPECT_NEAR(x[i], want, 1e-12);
    }
  }
  // a singular system is noted, as the inverse notes it
  Notes notes;
  const double Z[4] = {0, 1, 0, 2}, b2[2] = {1, 1};
  double x2[2] = {7, 7};
  EXPECT_EQ(MatSolve(2, Z, 2, b2, x2, &notes), 0.0);
  EXPECT_EQ(notes.size(), 1u);
  EXPECT_EQ(x2[0], 7.0);
}

// The smallest singular value of Q1 diag(s) Q2 is the smallest of s (found through
// A^T A, so its square is what rounding bounds).
TEST(Inverse, SmallestSingularValueOfRotatedDiagonals) {
  for (const double smin : {2.0, 1e-2, 1e-5, 0.0}) {
    double A[3][3], B[3][3], C[3][3], D[3][3] = {{3, 0, 0}, {0, smin, 0}, {0, 0, 5}};
    Cz(0.7, A);
    Cx(-1.1, B);
    MatMul(A, D, C);
    MatMul(C, B, D);
    const double got = MatMinSingular(3, &D[0][0], 3);
    EXPECT_NEAR(got * got, smin * smin, 1e-13) << smin;
  }
}

// The unrolled sweeps of a 4 x 4 array (the rolling matrices, on every step of a plan)
// give the general sweeps' value to the last bit, on matrices of every conditioning.
TEST(Inverse, SmallestSingularValueOfA4x4ArrayIsTheGeneralOne) {
  std::mt19937_64 g(7);
  std::uniform_real_distribution<double> u(-50.0, 50.0);
  for (int t = 0; t < 3000; ++t) {
    double A[4][4], W[4][5] = {};  // W: the same matrix in rows of five, the general sweeps
    for (auto& row : A)
      for (double& v : row) v = u(g);
    if (t % 3 == 0)  // a row of another scale, as the rolling matrix's spin row
      for (double& v : A[3]) v *= 1e-2;
    if (t % 5 == 0)  // nearly singular
      for (auto& row : A) row[2] = 0.999 * row[1] + 1e-4 * (t % 7) * row[0];
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) W[i][j] = A[i][j];
    EXPECT_EQ(MatMinSingular(4, &A[0][0], 4), MatMinSingular(4, &W[0][0], 5)) << t;
  }
}

TEST(Inverse, DeterminantSignFollowsRowExchanges) {
  // a cyclic permutation of three rows has determinant +1; a swap -1
  double P3[9] = {0, 1, 0, 0, 0, 1, 1, 0, 0};
  EXPECT_DOUBLE_EQ(MatInverse(3, P3, 3), 1.0);
  double S3[9] = {0, 1, 0, 1, 0, 0, 0, 0, 1};
  EXPECT_DOUBLE_EQ(MatInverse(3, S3, 3), -1.0);
  double D[9] = {2, 0, 0, 0, 3, 0, 0, 0, -4};
  EXPECT_DOUBLE_EQ(MatInverse(3, D, 3), -24.0);
  EXPECT_DOUBLE_EQ(D[0], 0.5);
  EXPECT_DOUBLE_EQ(D[8], -0.25);
}

TEST(Inverse, TiesKeepTheFirstRowAndStrideIsHonoured) {
  // column 0 values 2 and -2: row 0 stays the pivot, so no exchange and det = 2*1 - (-2)*... = 2*(1+1)
  double A[2 * 3] = {2, 1, 99, -2, 1, 99};  // stride 3, the third column is padding
  const double det = MatInverse(2, A, 3);
  EXPECT_DOUBLE_EQ(det, 4.0);
  EXPECT_DOUBLE_EQ(A[2], 99);  // padding untouched
  EXPECT_DOUBLE_EQ(A[5], 99);
  EXPECT_DOUBLE_EQ(A[0], 0.25);
  EXPECT_DOUBLE_EQ(A[1], -0.25);
  EXPECT_DOUBLE_EQ(A[3], 0.5);
  EXPECT_DOUBLE_EQ(A[4], 0.5);
}

TEST(Inverse, SingularAndTinyMatricesAreLeftUnchanged) {
  Notes notes;
  double Z[9] = {0, 1, 2, 0, 3, 4, 0, 5, 7};
  const double before[9] = {0, 1, 2, 0, 3, 4, 0, 5, 7};
  EXPECT_EQ(MatInverse(3, Z, 3, &notes), 0.0);
  ASSERT_EQ(notes.size(), 1u);  // a zero pivot in row 0
  EXPECT_EQ(notes[0].kind, Note::NoInverse);
  EXPECT_EQ(notes[0].i, 0);
  EXPECT_EQ(notes[0].a, 0.0);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(Z[i], before[i]);

  notes.clear();
  double T[9] = {1e-6, 0, 0, 0, 1e-6, 0, 0, 0, 1e-6};
  const double det = MatInverse(3, T, 3, &notes);
  EXPECT_NEAR(det, 1e-18, 1e-30);
  EXPECT_EQ(T[0], 1e-6);     // unchanged
  EXPECT_TRUE(notes.empty());  // silently

  // a zero pivot found later reports the original row number
  double L[9] = {1, 2, 3, 2, 4, 6, 0, 0, 1};
  EXPECT_EQ(MatInverse(3, L, 3, &notes), 0.0);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].a, 0.0);

  // NaN never passes as a usable inverse
  double N[4] = {NAN, 1, 1, 1};
  EXPECT_EQ(MatInverse(2, N, 2), 0.0);
}

TEST(Inverse, LargeOrdersUseHeapStorageAndStillWork) {
  constexpr int n = 12;
  double A[n * n] = {};
  for (int i = 0; i < n; ++i) A[i * n + i] = i + 1.0;
  const double det = MatInverse(n, A, n);
  double expect = 1;
  for (int i = 1; i <= n; ++i) expect *= i;
  EXPECT_DOUBLE_EQ(det, expect);
  EXPECT_DOUBLE_EQ(A[(n - 1) * n + n - 1], 1.0 / n);
}

TEST(Digits, DigitChar) {
  EXPECT_EQ(DigitChar(0), '0');
  EXPECT_EQ(DigitChar(9), '9');
  EXPECT_EQ(DigitChar(10), 'x');
  EXPECT_EQ(DigitChar(-1), 'x');
}
