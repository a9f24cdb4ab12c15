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


// Rotation vector of R (axis times angle).
inline void RotationVector(const double R[3][3], double w[3]) {
  const double c = std::clamp(0.5 * (R[0][0] + R[1][1] + R[2][2] - 1.0), -1.0, 1.0);
  const double a = std::acos(c);
  const double v[3] = {R[2][1] - R[1][2], R[0][2] - R[2][0], R[1][0] - R[0][1]};
  const double sn = std::sin(a);
  if (sn < 1e-9) {
    if (a < 1e-6) {
      VecScale(0.5, v, w);
      return;
    }
    // a half turn, R = 2 k k^T - I: the axis from its largest component's row
    int i = 0;
    for (int j = 1; j < 3; ++j)
      if (R[j][j] > R[i][i]) i = j;
    const double ki = std::sqrt(std::max(0.0, 0.5 * (R[i][i] + 1.0)));
    for (int j = 0; j < 3; ++j) w[j] = a * (j == i ? ki : R[i][j] / (2.0 * ki));
    return;
  }
  VecScale(a / (2.0 * sn), v, w);
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
