// Finger links, fingertips and the palm against the work sphere. Each link is taken
// as the solid of radius af about its axis segment with round ends (the joint and
// the fingertip balls have the link's radius), so a link meets the sphere exactly
// when its axis segment comes nearer to the centre than the two radii together.
#include <algorithm>
#include <cmath>

#include "hand/hand.h"
#include "interference/interference.h"
#include "numerics/vecmat.h"

namespace rg {

double SegmentPointDistance(const double a[3], const double b[3], const double p[3], double* t) {
  double ab[3], ap[3];
  VecSub(b, a, ab);
  VecSub(p, a, ap);
  const double len2 = VecDot(ab, ab);
  double u = len2 > 0.0 ? VecDot(ap, ab) / len2 : 0.0;
  u = std::min(std::max(u, 0.0), 1.0);
  double foot[3], d[3];
  VecAddScaled(a, u, ab, foot);
  VecSub(p, foot, d);
  if (t != nullptr) *t = u;
  return VecNorm(d);
}

char RPalmSphereCollision(double aa, double rr, const double c[3], double aw, double tol) {
  // the palm: the disc of radius rr and thickness aa about the hand frame's Y axis,
  // centred on the origin; in its own frame the axis is z and the base at -aa/2
  const double p[3] = {c[2], c[0], c[1] + aa / 2.0};
  const double d = SignedCylinderDistance(p, aa, rr);
  return (std::isfinite(d) && !(d >= aw - tol)) ? 'C' : 'F';
}

double FinSphereClearance(const Model& m, int kf, const double* q, const double c[3], double aw,
                          int* link) {
  // the finger where it sits with the sphere
  const FingerPose P = Findirect_kineR(m, m.Mount(kf, '1'), q);
  double worst = 1e300;
  // the links from the finger base to the fingertip centre (joints that coincide
  // leave a point, whose ball still counts)
  for (int k = 1; k <= m.nJ + 1; ++k) {
    const double g = SegmentPointDistance(P.JA[k - 1], P.JA[k], c, nullptr) - m.aFin - aw;
    if (g < worst) {
      worst = g;
      if (link != nullptr) *link = k;
    }
  }
  return worst;
}

char FinSphereCollision(const Model& m, int kf, const double* q, const double c[3], double aw,
                        double tol) {
  const double g = FinSphereClearance(m, kf, q, c, aw, nullptr);
  if (std::isfinite(g) && g < -tol) return 'C';
  // The palm is checked once per hand, with the last finger.
  if (kf == m.nF) return RPalmSphereCollision(m.hPalm, m.rPalm, c, aw, tol);
  return 'F';
}

bool FingerMeetsSphere(const Model& m, int kf, const double* q, const double c[3], int* link) {
  if (FinSphereCollision(m, kf, q, c, m.aSph, kLinkDepthTol) != 'C') return false;
  const double g = FinSphereClearance(m, kf, q, c, m.aSph, link);
  if (std::isfinite(g) && g >= -kLinkDepthTol) *link = 0;  // the palm, with the last finger
  return true;
}

char ALLFinSphCollCheck(const Model& m, const double qq[kSlots][kSlots], const double c[3],
                        double aw, int* kColl) {
  char sgnC = 'F';
  *kColl = 0;
  // Every finger is examined; the last one that interferes is reported.
  for (int kf = 1; kf <= m.nF; ++kf) {
    if (FinSphereCollision(m, kf, qq[kf], c, aw, 0.0) == 'C') {
      sgnC = 'C';
      *kColl = kf;
    }
  }
  return sgnC;
}

}  // namespace rg
