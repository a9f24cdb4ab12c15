// Independent geometric checks of a finger-cylinder contact, used by the grasp
// tests. Nothing here calls the contact solvers: every check is made from the
// finger pose (forward kinematics) and the work pose alone.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "core/catalogue.h"
#include "core/model.h"
#include "grasp/grasp.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"

namespace rgtest {

struct Cyl {
  double r[3], ez[3];  // bottom-face centre, axis
  double a, h;         // radius, height
};

// The work cylinder of the given dimensions (the built-in ones by default).
inline Cyl WorkCyl(const double rw[3], const double Ew[3][3],
                   const rg::Model& m = *rg::CatalogueModel(1)) {
  Cyl c{};
  rg::VecCopy(rw, c.r);
  rg::MatColumn(Ew, 2, c.ez);
  c.a = m.aCyl;
  c.h = m.hCyl;
  return c;
}

// Height along the axis and radial offset of p.
inline void AxisCoords(const Cyl& c, const double p[3], double& h, double rad[3]) {
  double v[3];
  rg::VecSub(p, c.r, v);
  h = rg::VecDot(v, c.ez);
  rg::VecAddScaled(v, -h, c.ez, rad);
}

// Signed distance from p to the solid cylinder (negative inside).
inline double DistToCyl(const Cyl& c, const double p[3]) {
  double h, rad[3];
  AxisCoords(c, p, h, rad);
  const double rho = rg::VecNorm(rad);
  const double dr = std::max(rho - c.a, 0.0), dh = std::max({-h, h - c.h, 0.0});
  if (dr == 0.0 && dh == 0.0) return -std::min({c.a - rho, h, c.h - h});
  return std::hypot(dr, dh);
}

// Largest value of n.x over the solid cylinder.
inline double CylSupport(const Cyl& c, const double n[3]) {
  const double ez = rg::VecDot(c.ez, n);
  double np[3];
  rg::VecAddScaled(n, -ez, c.ez, np);
  return rg::VecDot(c.r, n) + std::max(0.0, c.h * ez) + c.a * rg::VecNorm(np);
}

// The finger's last link: axis from o along x (length l), tip sphere centred at T;
// z is the joint axis; a is the radius of the link and of the tip.
struct Link {
  double o[3], x[3], z[3], T[3];
  double l, a;
};

inline Link LastLink(rg::Sim& s, int kf, const double* q) {
  const rg::FingerPose P = rg::Findirect_kineR(s.model(), s.mount(kf), q);
  Link L{};
  L.l = s.model().lFin;
  L.a = s.model().aFin;
  rg::VecCopy(P.JA[s.nJ()], L.o);
  rg::VecCopy(P.JA[s.nJ() + 1], L.T);
  double d[3];
  rg::VecSub(L.T, L.o, d);
  rg::VecUnit(d, L.x);
  rg::MatColumn(P.EA[s.nJ()], 2, L.z);
  return L;
}

// Closest approach to the work of the sampled link axis from a to l (balls of
// radius a around these points lie inside the finger).
inline double AxisClearance(const Link& L, const Cyl& c, int samples = 4000) {
  double best = 1e300;
  for (int i = 0; i <= samples; ++i) {
    double p[3];
    rg::VecAddScaled(L.o, L.a + (L.l - L.a) * i / samples, L.x, p);
    best = std::min(best, DistToCyl(c, p));
  }
  return best;
}

// An accepted contact of type GT (finger letter, work letter) at RC with work normal
// NW: on both surfaces, common normal, no penetration. Its parameters p, if given,
// place RC on the finger: Lf along the link, then aFin at angle psif from the link
// axis towards cos(fif) z + sin(fif) (x cross z).
inline void ExpectSoundContact(const Link& L, const Cyl& c, const char GT[2], const double RC[3],
                               const double NW[3], const rg::ContactPrm* p = nullptr,
                               double tol = 1e-6) {
  SCOPED_TRACE(std::string("contact type ") + GT[0] + GT[1]);
  ASSERT_TRUE(std::isfinite(RC[0]) && std::isfinite(RC[1]) && std::isfinite(RC[2]));
  EXPECT_NEAR(rg::VecNorm(NW), 1.0, 1e-9);

  // finger surface, with outward normal -NW
  double d[3], foot[3];
  if (GT[0] == 'L') {
    rg::VecSub(RC, L.o, d);
    const double t = rg::VecDot(d, L.x);
    EXPECT_TRUE(t >= -tol && t <= L.l + tol) << "off the link: " << t;
    rg::VecAddScaled(L.o, t, L.x, foot);
  } else {
    ASSERT_EQ(GT[0], 'T');
    rg::VecCopy(L.T, foot);
    rg::VecSub(RC, L.T, d);
    EXPECT_GE(rg::VecDot(d, L.x), -tol) << "contact on the rear half of the tip";
  }
  rg::VecSub(RC, foot, d);
  EXPECT_NEAR(rg::VecNorm(d), L.a, tol) << "not on the finger surface";
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(d[i] / L.a, -NW[i], 1e-6) << "finger normal " << i;
  double xz[3];
  rg::VecCross(L.x, L.z, xz);
  for (int i = 0; p && i < 3; ++i) {
    const double w = std::cos(p->fif) * L.z[i] + std::sin(p->fif) * xz[i];
    const double r = std::cos(p->psif) * L.x[i] + std::sin(p->psif) * w;
    EXPECT_NEAR(L.o[i] + p->Lf * L.x[i] + L.a * r, RC[i], tol) << "finger parameters " << i;
  }

  // work surface, and NW in the normal cone of the named part
  double h, rad[3], radu[3];
  AxisCoords(c, RC, h, rad);
  rg::VecUnit(rad, radu);
  const double rho = rg::VecNorm(rad), nz = rg::VecDot(NW, c.ez), nr = rg::VecDot(NW, radu);
  const double endSign = std::fabs(h) < std::fabs(h - c.h) ? -1.0 : 1.0;  // -1 bottom
  EXPECT_NEAR(DistToCyl(c, RC), 0.0, tol) << "not on the work surface";
  if (GT[1] == 'L') {
    EXPECT_NEAR(nr, 1.0, 1e-6);
  } else if (GT[1] == 'C') {
    EXPECT_NEAR(rho, c.a, tol);
    EXPECT_NEAR(std::min(std::fabs(h), std::fabs(h - c.h)), 0.0, tol);
    EXPECT_TRUE(nr >= -1e-6 && endSign * nz >= -1e-6) << nr << " " << nz;
    double t[3];
    rg::VecCross(c.ez, radu, t);
    EXPECT_NEAR(rg::VecDot(NW, t), 0.0, 1e-6) << "normal not across the rim";
  } else {
    ASSERT_EQ(GT[1], 'D');
    EXPECT_NEAR(endSign * nz, 1.0, 1e-6);
  }

  // no penetration: the work lies behind the tangent plane, and, apart from the
  // normal, the sampled link axis keeps aFin away from the work
  EXPECT_LE(CylSupport(c, NW) - rg::VecDot(RC, NW), tol) << "work crosses the tangent plane";
  EXPECT_GE(AxisClearance(L, c), L.a - 1e-6) << "link cuts into the work";
}

// Hand-built scenes, one per contact type, in the last joint's frame (joint axis z,
// link along (cos q, sin q, 0) at angle q), with the contact angle derived by hand.
// The work's bottom-face centre is (x, y, -50) with axis +z (upright), or (x, y, 0)
// with axis +y, its lower face the plane at y facing the joint.
struct HandScene {
  const char* type;
  bool upright;
  double x, y, q, tol;
  int solF, solW;
};
inline const double kR1 = std::hypot(50, 80), kR2 = std::hypot(120, 80), kR3 = std::hypot(60, 50),
                    kR4 = std::hypot(70, 50);
inline const HandScene kHandScenes[5] = {
    // axis through (50, 80): the link line passes aFin + aCyl = 72 from it
    {"LL", true, 50, 80, std::atan2(80, 50) - std::asin(72 / kR1), 1e-9, 1, 1},
    // axis through (120, 80): the tip centre lies 72 from it (the link's own tangency
    // would be sqrt(r^2 - 72^2) = 125 out, beyond lFin)
    {"TL", true, 120, 80, std::atan2(80, 120) - std::acos((6400 + kR2 * kR2 - 5184) / (160 * kR2)),
     1e-9, 2, 1},
    // rim centre (0, 50, 0): the corner P = (60, 50, 0) lies aFin from the link line
    {"LC", false, 0, 50, std::atan2(50, 60) - std::asin(12 / kR3), 1e-6, 1, 2},
    // rim centre (10, 50, 0): the corner (70, 50, 0) is beyond the link's reach
    // (sqrt(|P|^2 - 144) > lFin) and lies aFin from the tip centre
    {"TC", false, 10, 50, std::atan2(50, 70) - std::acos((kR4 * kR4 + 6400 - 144) / (160 * kR4)),
     1e-6, 2, 2},
    // face y = 40: the tip centre reaches the lifted plane y = 28
    {"TD", false, 60, 40, std::asin(28.0 / 80.0), 1e-12, 2, 3},
};

}  // namespace rgtest
