// Rotations about the work's own axes, shared by the goal's error and the planner:
// a rotation's vector (axis times angle), the rotation of a vector, and the turn
// between two frames.
#pragma once

#include <algorithm>
#include <cmath>

#include "numerics/vecmat.h"

namespace rg {
namespace plan_rotation {

constexpr double kDeg = M_PI / 180.0;


// Rotation vector of R (axis times angle). The angle comes from atan2 of the sine
// and cosine parts, exact at every angle. The axis comes from the skew part up to a
// quarter turn; beyond it, where the skew part (twice the sine) shrinks to rounding
// noise near a half turn, from the symmetric part R + R^T = 2 cos(a) I +
// 2 (1 - cos(a)) k k^T, its sign from the skew part.
inline void RotationVector(const double R[3][3], double w[3]) {
  const double v[3] = {R[2][1] - R[1][2], R[0][2] - R[2][0], R[1][0] - R[0][1]};
  const double c = 0.5 * (R[0][0] + R[1][1] + R[2][2] - 1.0);
  const double s2 = VecNorm(v);  // twice the sine
  const double a = std::atan2(0.5 * s2, c);
  if (c >= 0.0) {
    if (s2 > 0.0)
      VecScale(a / s2, v, w);
    else
      VecSet(0.0, 0.0, 0.0, w);
    return;
  }
  int i = 0;  // the axis's largest component, from the largest diagonal entry
  for (int j = 1; j < 3; ++j)
    if (R[j][j] > R[i][i]) i = j;
  const double t = 1.0 - c;  // in (1, 2]: a is beyond a quarter turn
  const double ki = std::sqrt(std::max(0.0, (R[i][i] - c) / t));
  double k[3];
  for (int j = 0; j < 3; ++j) k[j] = j == i ? ki : 0.5 * (R[i][j] + R[j][i]) / (t * ki);
  VecScale(a / VecNorm(k), k, w);
  if (VecDot(k, v) < 0.0) VecNeg(w, w);
}

// Rotation matrix of the rotation vector w.
inline void RotationOf(const double w[3], double R[3][3]) {
  const double a = VecNorm(w);
  MatIdentity(R);
  if (a < 1e-15) return;
  const double k[3] = {w[0] / a, w[1] / a, w[2] / a};
  const double c = std::cos(a), sn = std::sin(a), t = 1.0 - c;
  R[0][0] = c + t * k[0] * k[0];
  R[0][1] = t * k[0] * k[1] - sn * k[2];
  R[0][2] = t * k[0] * k[2] + sn * k[1];
  R[1][0] = t * k[1] * k[0] + sn * k[2];
  R[1][1] = c + t * k[1] * k[1];
  R[1][2] = t * k[1] * k[2] - sn * k[0];
  R[2][0] = t * k[2] * k[0] - sn * k[1];
  R[2][1] = t * k[2] * k[1] + sn * k[0];
  R[2][2] = c + t * k[2] * k[2];
}

// Angle between two frames and the rotation vector from a to b in a's own axes.
inline double TurnBetween(const double Ea[3][3], const double Eb[3][3], double w[3]) {
  double R[3][3];
  MatTMul(Ea, Eb, R);
  RotationVector(R, w);
  return VecNorm(w);
}

}  // namespace plan_rotation
}  // namespace rg
