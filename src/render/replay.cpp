// Replay of one stored manipulation step: the cylinder at its stored pose, the
// translucent hand at its stored angles, and on every finger the yellow trail of
// finger-side contact points from step 0 up to the shown step.
#include <cmath>

#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "render/draw.h"

namespace rg {
namespace {

constexpr float kTrail[4] = {1.0f, 1.0f, 0.0f, 1.0f};
constexpr float kWork[4] = {1.0f, 0.0f, 0.0f, 0.0f};
constexpr float kHand[4] = {0.0f, 0.5f, 1.0f, 0.3f};
constexpr double kTrailRadius = 1.2;

}  // namespace

void PSeries(Sim& s, int m) {
  if (m < 0 || m >= kRows || s.HAND1 < 1 || s.HAND1 > 4) return;
  const int n = s.njnt[s.HAND1], f = s.nfin[s.HAND1];
  draw_WrkCylinderTr2(s.ManipRW[m], s.ManipEW[m], aCyl, hCyl, kWork);
  draw_hand(s, s.ManipQ[m], kHand);
  for (int kf = 1; kf <= f && kf < kSlots; ++kf) {
    // the whole trail lies on the last link in its pose at step m
    Findirect_kineR(s, kf, n, s.ManipQ[m][kf]);
    double a[3], b[3], c[3];
    MatColumn(s.EA[kf][n], 0, a);  // link axis
    MatColumn(s.EA[kf][n], 2, b);
    VecCross(a, b, c);
    for (int i = 0; i <= m; ++i) {
      const ContactPrm& prm = s.Manip[i][kf];
      double P[3];
      for (int k = 0; k < 3; ++k)
        P[k] = s.JA[kf][n][k] + prm.Lf * a[k] +
               aFin * (std::cos(prm.fif) * b[k] + std::sin(prm.fif) * c[k]);
      DrawSphere(P, kTrailRadius, kTrail);
    }
  }
}

}  // namespace rg
