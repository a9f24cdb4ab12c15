// Replay of one stored manipulation step: the work at its stored pose (the
// translucent cylinder, or the sphere), the translucent hand at its stored angles,
// and on every finger the yellow trail of finger-side contact points from step 0
// up to the shown step; on the sphere also the trail of its own contact points.
#include "record/store.h"
#include "render/draw.h"

namespace rg {
namespace {

constexpr float kTrail[4] = {1.0f, 1.0f, 0.0f, 1.0f};
constexpr float kWorkTrail[4] = {0.0f, 0.8f, 0.0f, 1.0f};
constexpr float kWork[4] = {1.0f, 0.0f, 0.0f, 0.0f};
constexpr float kHand[4] = {0.0f, 0.5f, 1.0f, 0.3f};
constexpr double kTrailRadius = 1.2;

}  // namespace

void PSeries(const Sim& s, int m) {
  if (m < 0 || m >= RecordLength(s) || s.HAND1 < 0 || s.HAND1 > 4) return;
  const int f = s.model().nF;
  const bool sphere = s.WORK1 == '1';
  if (sphere)
    draw_WrkSphere(s.ManipRW[m], s.ManipEW[m], s.model().aSph);
  else
    draw_WrkCylinderTr2(s.ManipRW[m], s.ManipEW[m], s.model().aCyl, s.model().hCyl, kWork);
  draw_hand(s, s.ManipQ[m], kHand);
  // the whole trail lies on the last link in its pose at step m (and on the sphere
  // in its pose at step m)
  double trail[kRows][3];  // rows 0..m filled, for one finger at a time
  for (int kf = 1; kf <= f && kf < kSlots; ++kf) {
    ManipCPNTFTrail(s, m, kf, trail);
    for (int i = 0; i <= m; ++i) DrawSphere(trail[i], kTrailRadius, kTrail);
    if (!sphere) continue;
    ManipCPNTWTrail(s, m, kf, trail);
    for (int i = 0; i <= m; ++i) DrawSphere(trail[i], kTrailRadius, kWorkTrail);
  }
}

}  // namespace rg
