// Finger links and the palm against the work cylinder. Each link is a solid cylinder
// of radius af with its two end discs; the pairwise feature tests run in the link's
// frame and in the work's frame.
#include <algorithm>
#include <cmath>

#include "hand/hand.h"
#include "interference/interference.h"
#include "numerics/vecmat.h"

namespace rg {

double SignedCylinderDistance(const double p[3], double hw, double aw) {
  const double dr = std::hypot(p[0], p[1]) - aw;
  const double dh = std::max(-p[2], p[2] - hw);
  if (dr <= 0.0 && dh <= 0.0) return std::max(dr, dh);
  return std::hypot(std::max(dr, 0.0), std::max(dh, 0.0));
}

namespace {

// Clearance (length units) beyond which two bodies are taken apart without their
// exact test: far above any tolerance of the exact tests.
constexpr double kClearMargin = 1.0;

// The golden-section search along the segment from a to b for the point nearest the
// solid work cylinder. With a level given it may stop early and say on which side
// of the level the full search's result lies: the signed distance is 1-Lipschitz in
// space, so over the current bracket it cannot fall below the best value found less
// the segment's length times the bracket's width, and the full search only ever
// lowers its best value. Returns the full search's distance (and t) when it runs to
// the end; *side (when given) is -1 or +1 after an early stop, 0 otherwise.
double GoldenDistance(const double a[3], const double b[3], const double r[3],
                      const double E[3][3], double hw, double aw, double* t,
                      const double* level, int* side, const double* uHint = nullptr) {
  // the segment in the work frame
  double d[3], A[3], B[3];
  VecSub(a, r, d);
  MatTVec(E, d, A);
  VecSub(b, r, d);
  MatTVec(E, d, B);
  auto dist = [&](double u) {
    const double p[3] = {A[0] + u * (B[0] - A[0]), A[1] + u * (B[1] - A[1]),
                         A[2] + u * (B[2] - A[2])};
    return SignedCylinderDistance(p, hw, aw);
  };
  if (side != nullptr) *side = 0;
  double length = 0.0, margin = 0.0;
  if (level != nullptr) {
    VecSub(B, A, d);
    length = VecNorm(d);
    margin = 1e-9 * (std::fabs(*level) + length + hw + aw);
  }
  // The side of the level the values seen so far decide, 0 when none: a value
  // below it (the full search ends at or below any value it has seen), or a lower
  // bound over the bracket, and the two ends, at or above it. The margin keeps
  // rounding out of the decision.
  auto decide = [&](double best, double width, double ends) {
    if (best < *level - margin) return -1;
    if (best - length * width >= *level + margin && ends >= *level + margin) return 1;
    return 0;
  };
  bool deciding = level != nullptr && std::isfinite(length) && std::isfinite(*level);
  // Near the expected minimum u0, the secants to u0 +- hu bound the convex distance
  // from below on either side (beyond them), and its 1-Lipschitz bound between them:
  // a bound over the whole segment, its ends included, so it decides first.
  if (deciding && uHint != nullptr && *uHint >= 0.0 && *uHint <= 1.0) {
    constexpr double hu = 1e-7;
    const double u0 = *uHint, g0 = dist(u0);
    const double up = std::fmin(u0 + hu, 1.0), um = std::fmax(u0 - hu, 0.0);
    const double sp = up > u0 ? (dist(up) - g0) / (up - u0) : 0.0;
    const double sm = um < u0 ? (g0 - dist(um)) / (u0 - um) : 0.0;
    const double bound = std::min({g0 + std::fmin(sp, 0.0) * (1.0 - u0), g0 - std::fmax(sm, 0.0) * u0,
                                   g0 - length * hu});
    if (std::isfinite(bound) && bound >= *level + margin) {
      *side = 1;
      return HUGE_VAL;
    }
  }
  // The signed distance from a convex solid is convex along a line, so a golden-section
  // search finds the segment point nearest the work.
  const double g = 0.5 * (std::sqrt(5.0) - 1.0);
  double lo = 0.0, hi = 1.0;
  double t1 = hi - g * (hi - lo), t2 = lo + g * (hi - lo);
  double f1 = dist(t1), f2 = dist(t2);
  // The ends are candidates of the result too; looked at first only when deciding.
  // Anything not finite leaves the decision to the full search.
  double ends = 0.0, e0 = 0.0, e1 = 0.0;
  bool endsKnown = false;
  if (deciding) {
    e0 = dist(0.0);
    e1 = dist(1.0);
    endsKnown = true;
    deciding = std::isfinite(e0) && std::isfinite(e1);
    ends = std::fmin(e0, e1);
    if (deciding && ends < *level - margin) {
      *side = -1;
      return HUGE_VAL;
    }
  }
  for (int it = 0; it < 60; ++it) {
    if (f1 <= f2) {
      hi = t2;
      t2 = t1;
      f2 = f1;
      t1 = hi - g * (hi - lo);
      f1 = dist(t1);
    } else {
      lo = t1;
      t1 = t2;
      f1 = f2;
      t2 = lo + g * (hi - lo);
      f2 = dist(t2);
    }
    // the minimum of the convex distance lies in [lo, hi]
    if (deciding && !(std::isfinite(f1) && std::isfinite(f2))) deciding = false;
    if (deciding) {
      if (const int s = decide(std::fmin(f1, f2), hi - lo, ends); s != 0) {
        *side = s;
        return HUGE_VAL;
      }
    }
  }
  // the ends, where the minimum may sit (already known when deciding)
  if (!endsKnown) {
    e0 = dist(0.0);
    e1 = dist(1.0);
  }
  const double cand[4][2] = {{f1, t1}, {f2, t2}, {e0, 0.0}, {e1, 1.0}};
  int k = 0;
  for (int i = 1; i < 4; ++i)
    if (cand[i][0] < cand[k][0]) k = i;
  if (t != nullptr) *t = cand[k][1];
  return cand[k][0];
}

}  // namespace

CylinderSolid WorkCylinder(const Model& m, const double r[3], const double E[3][3]) {
  CylinderSolid w;
  VecCopy(r, w.r);
  MatCopy(E, w.E);
  w.h = m.hCyl;
  w.a = m.aCyl;
  return w;
}

double SegmentCylinderDistance(const double a[3], const double b[3], const CylinderSolid& w,
                               double* t) {
  return GoldenDistance(a, b, w.r, w.E, w.h, w.a, t, nullptr, nullptr);
}

double SegmentCylinderDistanceAgainst(const double a[3], const double b[3], const CylinderSolid& w,
                                      double level, int* side) {
  return GoldenDistance(a, b, w.r, w.E, w.h, w.a, nullptr, &level, side);
}

double LinkCylinderDepth(const double a[3], const double b[3], double af, const CylinderSolid& w) {
  const double fmin = SegmentCylinderDistance(a, b, w, nullptr);
  return std::isfinite(fmin) ? std::max(af - fmin, 0.0) : 0.0;
}

bool LinkWithinDepth(const double a[3], const double b[3], double af, const CylinderSolid& w,
                     double tol, const double* tHint) {
  const double(*E)[3] = w.E;
  const double *r = w.r, hw = w.h, aw = w.a;
  int side = 0;
  double uHint = 0.0;
  if (tHint != nullptr) {
    double d[3];
    VecSub(b, a, d);
    const double len = VecNorm(d);
    uHint = len > 0.0 ? *tHint / len : 0.0;
  }
  const double level = af - tol;
  const double fmin = GoldenDistance(a, b, r, E, hw, aw, nullptr, &level, &side,
                                     tHint != nullptr ? &uHint : nullptr);
  if (side != 0) return side > 0;
  return (std::isfinite(fmin) ? std::max(af - fmin, 0.0) : 0.0) <= tol;
}

char FinLinksCylinderCollision(const FingerPose& P, int n, double af, const CylinderSolid& w,
                               LinkMeeting& met, Notes* notes) {
  const double(*E)[3] = w.E;
  const double *r = w.r, hw = w.h, aw = w.a;
  met = LinkMeeting{};
  // the work's axis: the work lies within aw of it
  double wTop[3];
  for (int i = 0; i < 3; ++i) wTop[i] = r[i] + hw * E[i][2];

  for (int kL = 2; kL <= n; ++kL) {
    const double* Jf = P.JA[kL - 1];
    double link[3];
    VecSub(P.JA[kL], Jf, link);
    const double Lf = VecNorm(link);
    if (Lf < 1e-4) continue;  // joints that coincide: no link body
    // The link lies within af of its axis, the work within aw of its axis and between
    // the planes of its end faces: with the link's axis beyond one of those planes by
    // more than af, or the two axes farther apart than af + aw (each with a margin well
    // above the exact tests' own tolerances), nothing can meet.
    const double clear = af + kClearMargin;
    double d0[3], d1[3];
    VecSub(Jf, r, d0);
    VecSub(P.JA[kL], r, d1);
    const double h0 = E[0][2] * d0[0] + E[1][2] * d0[1] + E[2][2] * d0[2];
    const double h1 = E[0][2] * d1[0] + E[1][2] * d1[1] + E[2][2] * d1[2];
    if (std::max(h0, h1) < -clear || std::min(h0, h1) > hw + clear) continue;
    if (SegmentSegmentDistance(Jf, P.JA[kL], r, wTop) > aw + clear) continue;

    // Link frame: z along the link (x axis of the link frame), x along the joint axis
    // (its z axis), y = x_L x z_L.
    double xL[3], zL[3], yf[3], Ef[3][3];
    MatColumn(P.EA[kL - 1], 0, xL);
    MatColumn(P.EA[kL - 1], 2, zL);
    VecCross(xL, zL, yf);
    for (int i = 0; i < 3; ++i) {
      Ef[i][0] = zL[i];
      Ef[i][1] = yf[i];
      Ef[i][2] = xL[i];
    }

    double RwmL[3], RwmU[3], Ewm2[3][3];  // the work in the link frame
    CylinderToFrame(Jf, Ef, r, E, hw, RwmL, RwmU, Ewm2);
    double RfmL[3], RfmU[3], Efm2[3][3];  // the link in the work frame
    CylinderToFrame(r, E, Jf, Ef, Lf, RfmL, RfmU, Efm2);

    double d, t1, t2, p1[3], p2[3], nv[3], qc[3];
    char sgn[2];
    auto hit = [&](char f0, char f1) {
      met.link = kL;
      met.sgnCC[0] = f0;
      met.sgnCC[1] = f1;
      return 'C';
    };
    // link side against work side
    if (CylCylColl(Lf, af, RwmL, Ewm2, hw, aw, &d, &t1, &t2, p1, p2, nv, sgn) == 'C') return hit('I', 'I');
    // link side against the work's end circles
    if (CylCirCollisionm(Lf, af, RwmL, Ewm2, aw, &d, &t1, p1, qc, notes) == 'C') return hit('I', 'L');
    if (CylCirCollisionm(Lf, af, RwmU, Ewm2, aw, &d, &t1, p1, qc, notes) == 'C') return hit('I', 'U');
    // the link's end circles against the work side
    if (CylCirCollisionm(hw, aw, RfmL, Efm2, af, &d, &t1, p1, qc, notes) == 'C') return hit('L', 'I');
    if (CylCirCollisionm(hw, aw, RfmU, Efm2, af, &d, &t1, p1, qc, notes) == 'C') return hit('U', 'I');
    // end circles against end circles; for the link's upper circle the work circle is
    // given relative to that circle's centre (0, 0, Lf)
    if (CirCirCollisionm(af, RwmL, Ewm2, aw, qc, &d) == 'C') return hit('L', 'L');
    if (CirCirCollisionm(af, RwmU, Ewm2, aw, qc, &d) == 'C') return hit('L', 'U');
    double RwmLu[3] = {RwmL[0], RwmL[1], RwmL[2] - Lf};
    double RwmUu[3] = {RwmU[0], RwmU[1], RwmU[2] - Lf};
    if (CirCirCollisionm(af, RwmLu, Ewm2, aw, qc, &d) == 'C') return hit('U', 'L');
    if (CirCirCollisionm(af, RwmUu, Ewm2, aw, qc, &d) == 'C') return hit('U', 'U');
  }
  return 'F';
}

char FinCylinderCollision(const Model& m, int kf, const double* q, const CylinderSolid& w,
                          LinkMeeting& met, Notes* notes) {
  // the finger in the pose under test, where it sits with the cylinder
  const FingerPose P = Findirect_kineR(m, m.Mount(kf, '2'), q);
  if (FinLinksCylinderCollision(P, m.nJ, m.aFin, w, met, notes) == 'C') return 'C';
  // The palm is checked once per hand, with the last finger.
  if (kf == m.nF) {
    double Lc;
    const char palm = RPalmCylinderCollision2(m, w, &Lc);
    if (palm == 'C') met.link = 0;
    return palm;
  }
  return 'F';
}

bool FingerMeetsCylinder(const Model& m, const FingerPose& P, const CylinderSolid& w,
                         const double* Lf, Notes* notes, int* link) {
  const int nJ = m.nJ;
  LinkMeeting met;
  if (FinLinksCylinderCollision(P, nJ, m.aFin, w, met, notes) == 'C') {
    *link = met.link;
    return true;
  }
  // the last link may touch the rim, not enter the side or an end face
  if (LinkWithinDepth(P.JA[nJ], P.JA[nJ + 1], m.aFin, w, kLinkDepthTol, Lf)) return false;
  *link = nJ + 1;
  return true;
}

bool FingerMeetsWork(const Model& m, char work, int kf, const double* q, const double r[3],
                     const double E[3][3], Notes* notes, int* link) {
  if (work == '1') return FingerMeetsSphere(m, kf, q, r, link);
  const FingerPose P = Findirect_kineR(m, m.Mount(kf, '2'), q);
  return FingerMeetsCylinder(m, P, WorkCylinder(m, r, E), nullptr, notes, link);
}

double FingerClearance(const Model& m, char work, int kf, const double* q, const double r[3],
                       const double E[3][3], int* link) {
  if (work == '1') return FinSphereClearance(m, kf, q, r, m.aSph, link);
  const FingerPose P = Findirect_kineR(m, m.Mount(kf, '2'), q);
  const CylinderSolid w = WorkCylinder(m, r, E);
  double clear = HUGE_VAL;
  for (int kL = 2; kL <= m.nJ + 1; ++kL) {
    double d[3], t;
    VecSub(P.JA[kL], P.JA[kL - 1], d);
    if (VecNorm(d) < 1e-4) continue;  // joints that coincide: no link body
    const double c = SegmentCylinderDistance(P.JA[kL - 1], P.JA[kL], w, &t) - m.aFin;
    if (c < clear) {
      clear = c;
      if (link != nullptr) *link = kL;
    }
  }
  return clear;
}

char ALLFinCylCollCheck(const Model& m, const double qq[kSlots][kSlots], const CylinderSolid& w,
                        Notes* notes, int* kColl, int* kLink) {
  char sgnC = 'F';
  *kColl = 0;
  // Every finger is examined; the last one that interferes is reported.
  for (int kf = 1; kf <= m.nF; ++kf) {
    LinkMeeting met;
    if (FinCylinderCollision(m, kf, qq[kf], w, met, notes) == 'C') {
      sgnC = 'C';
      *kColl = kf;
      if (kLink != nullptr) *kLink = met.link;
    }
  }
  return sgnC;
}

}  // namespace rg
