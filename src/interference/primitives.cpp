// Pairwise tests between cylinder sides and end circles. Each test works in the frame
// of its first solid: that solid's axis is +z from the origin.
#include <algorithm>
#include <cmath>

#include "interference/interference.h"
#include "numerics/solve.h"
#include "numerics/vecmat.h"

namespace rg {
namespace {

// Feature letter of an axial parameter against a cylinder of length L.
char AxialFeature(double t, double L) {
  if (t < 0.0) return 'L';
  if (t > L) return 'U';
  return 'I';
}

// Point of the circle (centre rc, in-plane axes ex, ey, radius ac) at angle th.
void CirclePoint(const double rc[3], const double ex[3], const double ey[3], double ac, double th,
                 double c[3]) {
  const double co = std::cos(th), si = std::sin(th);
  for (int i = 0; i < 3; ++i) c[i] = rc[i] + ac * (co * ex[i] + si * ey[i]);
}

}  // namespace

void CylinderToFrame(const double rm[3], const double Em[3][3], const double r[3], const double E[3][3],
                     double h, double rL[3], double rU[3], double Ep[3][3]) {
  double ez[3], top[3], d[3];
  MatColumn(E, 2, ez);
  VecAddScaled(r, h, ez, top);
  VecSub(r, rm, d);
  MatTVec(Em, d, rL);
  VecSub(top, rm, d);
  MatTVec(Em, d, rU);
  MatTMul(Em, E, Ep);
}

char CylCylColl(double L1, double a1, const double r2[3], const double E2[3][3], double L2, double a2,
                double* d, double* t1, double* t2, double p1[3], double p2[3], double n[3], char sgn[2]) {
  double e2[3];
  MatColumn(E2, 2, e2);
  const double exy2 = e2[0] * e2[0] + e2[1] * e2[1];
  double c1[3], q[3], dq[3];
  if (std::sqrt(exy2) >= 1e-6) {
    // Common perpendicular of the two axes: q on axis 2 nearest to axis 1, c1 its foot.
    *t2 = -(e2[0] * r2[0] + e2[1] * r2[1]) / exy2;
    VecAddScaled(r2, *t2, e2, q);
    *t1 = q[2];
    VecSet(0.0, 0.0, *t1, c1);
    const double rho = std::sqrt(q[0] * q[0] + q[1] * q[1]);
    *d = rho - (a1 + a2);
  } else {
    // Parallel axes: the gap is the axis distance less both radii; the sides face each
    // other only where the axial ranges overlap, so the parameters are taken in the middle
    // of that overlap (outside both ranges when there is none).
    const double sig = (e2[2] >= 0.0) ? 1.0 : -1.0;
    const double lo = std::fmin(r2[2], r2[2] + sig * L2);
    const double hi = std::fmax(r2[2], r2[2] + sig * L2);
    *t1 = 0.5 * (std::fmax(0.0, lo) + std::fmin(L1, hi));
    *t2 = (*t1 - r2[2]) * sig;
    VecSet(0.0, 0.0, *t1, c1);
    VecAddScaled(r2, *t2, e2, q);
    *d = std::sqrt(r2[0] * r2[0] + r2[1] * r2[1]) - (a1 + a2);
  }
  VecSub(q, c1, dq);
  VecUnit(dq, n);
  VecAddScaled(c1, a1, n, p1);
  VecAddScaled(q, -a2, n, p2);
  sgn[0] = AxialFeature(*t1, L1);
  sgn[1] = AxialFeature(*t2, L2);
  if (sgn[0] == 'I' && sgn[1] == 'I' && *d < 0.0) return 'C';
  if (*d >= 0.0) return 'F';
  return 'N';
}

char CylCirCollisionm(double L1, double a1, const double rc[3], const double Ec[3][3], double ac, double* d,
                      double* t, double p[3], double q[3], Notes* notes) {
  double ex[3], ey[3], nc[3];
  MatColumn(Ec, 0, ex);
  MatColumn(Ec, 1, ey);
  MatColumn(Ec, 2, nc);
  // Squared axis distance of the circle point at th, less |rc_xy|^2:
  //   2 b0 cos + 2 b8 sin + c0 cos^2 + c8 sin^2 + 2 d0 cos sin; its derivative vanishes at the roots.
  const double b0 = ac * (ex[0] * rc[0] + ex[1] * rc[1]);
  const double b8 = ac * (ey[0] * rc[0] + ey[1] * rc[1]);
  const double c0 = ac * ac * (ex[0] * ex[0] + ex[1] * ex[1]);
  const double c8 = ac * ac * (ey[0] * ey[0] + ey[1] * ey[1]);
  const double d0 = ac * ac * (ex[0] * ey[0] + ex[1] * ey[1]);
  double th[4];
  const int sol = TRI2(d0, -d0, (c8 - c0) / 2.0, b8 / 2.0, -b0 / 2.0, 0.0, th, notes);

  double rhoMin = INFINITY;
  if (sol > 0) {
    for (int k = 0; k < sol; ++k) {
      double c[3];
      CirclePoint(rc, ex, ey, ac, th[k], c);
      const double rho = std::sqrt(c[0] * c[0] + c[1] * c[1]);
      if (rho < rhoMin) {
        rhoMin = rho;
        VecCopy(c, q);
      }
    }
  }
  if (!(rhoMin < INFINITY)) {
    // No stationary point: every circle point lies at the same distance from the axis
    // (a circle centred on the axis in a plane across it), so any point stands for all.
    CirclePoint(rc, ex, ey, ac, 0.0, q);
    rhoMin = std::sqrt(q[0] * q[0] + q[1] * q[1]);
  }
  *d = rhoMin - a1;
  double nxy[3] = {q[0], q[1], 0.0}, n[3];
  VecUnit(nxy, n);
  *t = q[2];
  VecScale(a1, n, p);
  p[2] += *t;

  if (*d <= 0.0) return AxialFeature(*t, L1) == 'I' ? 'C' : AxialFeature(*t, L1);
  // The circle stays clear of the side surface; the axis may still pass through its disc.
  // It does when the point where the axis meets the circle's plane lies inside the circle;
  // that counts only where the axis belongs to the cylinder.
  if (std::fabs(nc[2]) < 1e-9) return 'F';
  const double tc = VecDot(rc, nc) / nc[2];
  const double off[3] = {-rc[0], -rc[1], tc - rc[2]};
  if (!(VecNorm(off) < ac)) return 'F';
  const char f = AxialFeature(tc, L1);
  return f == 'I' ? 'C' : f;
}

char CirCirCollisionm(double a1, const double r2[3], const double E2[3][3], double a2, double q[3], double* d) {
  double ex[3], ey[3];
  MatColumn(E2, 0, ex);
  MatColumn(E2, 1, ey);
  const double D = a2 * std::sqrt(ex[2] * ex[2] + ey[2] * ey[2]);
  if (D == 0.0) {
    // Circle 2 lies parallel to the plane z = 0: apart from it, or in it.
    if (std::fabs(r2[2]) > 1e-7) return 'F';
    // In the plane: the part of disc 2 nearest to the origin.
    const double rho = std::sqrt(r2[0] * r2[0] + r2[1] * r2[1]);
    if (rho <= a2) {
      VecSet(0.0, 0.0, 0.0, q);
      *d = 0.0;
    } else {
      const double f = (rho - a2) / rho;
      VecSet(r2[0] * f, r2[1] * f, 0.0, q);
      *d = rho - a2;
    }
    return (a1 <= *d) ? 'F' : 'C';
  }
  // Circle 2 meets the plane z = 0 where cos(th - alpha) = cb.
  const double alpha = std::atan2(ey[2], ex[2]);
  double cb = -r2[2] / D;
  if (!(std::fabs(cb) <= 1.0 + 1e-7)) return 'F';
  cb = std::fmax(-1.0, std::fmin(1.0, cb));
  const double beta = std::acos(cb);
  double th1 = alpha + beta, th2 = alpha - beta;
  if (th1 < -kPiC) th1 += k2PiC;
  if (th1 > kPiC) th1 -= k2PiC;
  if (th2 < -kPiC) th2 += k2PiC;
  if (th2 > kPiC) th2 -= k2PiC;
  double P1[3], P2[3];
  CirclePoint(r2, ex, ey, a2, th1, P1);
  CirclePoint(r2, ex, ey, a2, th2, P2);
  P1[2] = 0.0;
  P2[2] = 0.0;
  const double n1 = VecNorm(P1), n2 = VecNorm(P2);
  if (n1 < n2) {
    *d = n1;
    VecCopy(P1, q);
  } else {
    *d = n2;
    VecCopy(P2, q);
  }
  char res = (a1 <= *d) ? 'F' : 'C';
  // The chord P1-P2 (disc 2 cut by the plane) may pass nearer to the origin than its ends.
  double v[3];
  VecSub(P2, P1, v);
  const double lv = VecNorm(v);
  if (lv >= 1e-6) {
    double u[3], m[3];
    VecScale(1.0 / lv, v, u);
    const double s = -VecDot(P1, u);
    VecAddScaled(P1, s, u, m);
    if (s > 0.0 && s < lv && VecNorm(m) < *d) {
      *d = VecNorm(m);
      VecCopy(m, q);
      res = (a1 <= *d) ? 'F' : 'C';
    }
  }
  return res;
}

int EllipseCircleCPnt(double a, double b, double Xp, double Zp, double rr, double pts[4][2]) {
  // Lengths in units of a: ellipse x^2 + z^2/u^2 = 1, circle (x-xp)^2 + (z-zp)^2 = R^2.
  const double u = b / a, xp = Xp / a, zp = Zp / a, R = rr / a;
  const double e = 1.0 - u * u;
  const double K = xp * xp + u * u + zp * zp - R * R;
  // With z^2 = u^2 (1 - x^2) the circle becomes G(x) = 2 zp z, G = e x^2 - 2 xp x + K;
  // squaring gives F(x) = G^2 - 4 zp^2 u^2 (1 - x^2) = 0.
  const double H[5] = {K * K - 4.0 * zp * zp * u * u, -4.0 * xp * K, 4.0 * xp * xp + 2.0 * e * K + 4.0 * zp * zp * u * u,
                       -4.0 * xp * e, e * e};
  double Hmax = 0.0;
  for (double h : H) Hmax = std::fmax(Hmax, std::fabs(h));
  if (!(Hmax > 0.0) || !std::isfinite(Hmax)) return 0;
  auto G = [&](double x) { return (e * x - 2.0 * xp) * x + K; };
  auto F = [&](double x) { return (((H[4] * x + H[3]) * x + H[2]) * x + H[1]) * x + H[0]; };

  double xs[4];
  int nx = 0;
  // Circle centre on the short axis: F = G^2 up to a vanishing term, so the roots of G
  // stand for the double roots of F (the quartic solver may split those into complex pairs).
  const bool onAxis = std::fabs(zp) <= 1e-6;
  if (onAxis) {
    double r[2];
    if (std::fabs(e) > 1e-12) {
      if (SolveQuadratic(-xp / e, K / e, r) == 2) {
        xs[nx++] = r[0];
        xs[nx++] = r[1];
      }
    } else if (xp != 0.0) {
      xs[nx++] = K / (2.0 * xp);
    }
  } else if (H[4] != 0.0) {
    // A long ellipse (an axis near the face) puts the roots of F in close pairs, where the
    // closed form keeps few digits: each real root is refined by Newton steps on F while
    // |F| lies above its rounding error, a step kept only when it lowers |F|.
    double r[4];
    const int nr = SolveQuartic(H[3] / H[4], H[2] / H[4], H[1] / H[4], H[0] / H[4], r);
    auto polish = [&](double x) {
      const double ax = std::fabs(x);
      const double noise = 1e-15 * ((((std::fabs(H[4]) * ax + std::fabs(H[3])) * ax + std::fabs(H[2])) * ax +
                                     std::fabs(H[1])) * ax + std::fabs(H[0]));
      double fx = F(x);
      for (int it = 0; it < 60 && std::fabs(fx) > noise; ++it) {
        const double d = ((4.0 * H[4] * x + 3.0 * H[3]) * x + 2.0 * H[2]) * x + H[1];
        const double x2 = x - fx / d, f2 = F(x2);
        if (!(std::fabs(f2) < std::fabs(fx))) break;
        x = x2;
        fx = f2;
      }
      return x;
    };
    for (int i = 0; i < nr; ++i) xs[nx++] = polish(r[i]);
  } else if (H[2] != 0.0) {  // the ellipse is the unit circle: F is a quadratic
    double r[2];
    if (SolveQuadratic(H[1] / (2.0 * H[2]), H[0] / H[2], r) == 2) {
      xs[nx++] = r[0];
      xs[nx++] = r[1];
    }
  }

  auto ellErr = [&](double x, double z) { return x * x + z * z / (u * u) - 1.0; };
  auto cirErr = [&](double x, double z) { return (x - xp) * (x - xp) + (z - zp) * (z - zp) - R * R; };
  // Newton steps on the pair (ellipse, circle) from a root of the quartic.
  auto refine = [&](double& x, double& z) {
    for (int it = 0; it < 4; ++it) {
      const double f1 = ellErr(x, z), f2 = cirErr(x, z);
      const double j11 = 2.0 * x, j12 = 2.0 * z / (u * u), j21 = 2.0 * (x - xp), j22 = 2.0 * (z - zp);
      const double det = j11 * j22 - j12 * j21;
      if (!(std::fabs(det) > 1e-12)) return;
      x -= (f1 * j22 - f2 * j12) / det;
      z -= (j11 * f2 - j21 * f1) / det;
    }
  };

  int np = 0;
  for (int i = 0; i < nx; ++i) {
    // z from the ellipse (either sign) or from the circle through G; the best that passes
    // the three residual tests and is not a repeat of a kept point is kept.
    const double zs = u * std::sqrt(std::fmax(0.0, 1.0 - xs[i] * xs[i]));
    double cand[3][2] = {{xs[i], zs}, {xs[i], -zs}, {xs[i], onAxis ? zs : G(xs[i]) / (2.0 * zp)}};
    double score[3];
    for (int c = 0; c < 3; ++c) {
      refine(cand[c][0], cand[c][1]);
      const double x = cand[c][0], z = cand[c][1];
      const double err1 = onAxis ? 0.0 : F(x) / Hmax;  // equation
      score[c] = std::fmax(std::fabs(err1), std::fmax(std::fabs(ellErr(x, z)), std::fabs(cirErr(x, z))));
    }
    for (int pass = 0; pass < 3; ++pass) {
      int best = -1;
      for (int c = 0; c < 3; ++c)
        if (score[c] < err6 && (best < 0 || score[c] < score[best])) best = c;
      if (best < 0) break;
      const double x = cand[best][0], z = cand[best][1];
      score[best] = INFINITY;
      bool repeat = false;
      for (int k = 0; k < np; ++k)
        if (std::fabs(pts[k][0] - x) < 1e-7 && std::fabs(pts[k][1] - z) < 1e-7) repeat = true;
      if (repeat) continue;
      if (np < 4) {
        pts[np][0] = x;
        pts[np][1] = z;
        ++np;
      }
      if (!onAxis) break;  // one point per root of F; a root of G stands for two
    }
  }
  return np;
}

double SegmentSegmentDistance(const double a0[3], const double a1[3], const double b0[3],
                              const double b1[3]) {
  // closest points a0 + s d1, b0 + t d2 with s, t in [0, 1]: minimise over s for the
  // best t, clamping each in turn
  double d1[3], d2[3], r[3];
  VecSub(a1, a0, d1);
  VecSub(b1, b0, d2);
  VecSub(a0, b0, r);
  const double a = VecDot(d1, d1), e = VecDot(d2, d2), f = VecDot(d2, r);
  double sa = 0.0, tb = 0.0;
  if (a <= 0.0 && e <= 0.0) {
    // two points
  } else if (a <= 0.0) {
    tb = std::clamp(f / e, 0.0, 1.0);
  } else {
    const double c = VecDot(d1, r);
    if (e <= 0.0) {
      sa = std::clamp(-c / a, 0.0, 1.0);
    } else {
      const double b = VecDot(d1, d2), den = a * e - b * b;
      sa = den > 0.0 ? std::clamp((b * f - c * e) / den, 0.0, 1.0) : 0.0;
      tb = (b * sa + f) / e;
      if (tb < 0.0) {
        tb = 0.0;
        sa = std::clamp(-c / a, 0.0, 1.0);
      } else if (tb > 1.0) {
        tb = 1.0;
        sa = std::clamp((b - c) / a, 0.0, 1.0);
      }
    }
  }
  double pa[3], pb[3], d[3];
  VecAddScaled(a0, sa, d1, pa);
  VecAddScaled(b0, tb, d2, pb);
  VecSub(pa, pb, d);
  return VecNorm(d);
}

}  // namespace rg
