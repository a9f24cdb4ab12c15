// Independent geometric checks of a finger-cylinder contact, used by the grasp
// tests. Nothing here calls the contact solvers: every check is made from the
// finger pose (forward kinematics) and the work pose alone.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "grasp/grasp.h"
#include "hand/catalogue.h"
#include "hand/hand.h"
#include "numerics/vecmat.h"
#include "work/work.h"

namespace rgtest {

struct Cyl {
  double r[3];   // bottom-face centre
  double ez[3];  // axis
  double a, h;
};

inline Cyl WorkCyl(const double rw[3], const double Ew[3][3]) {
  Cyl c{};
  rg::VecCopy(rw, c.r);
  rg::MatColumn(Ew, 2, c.ez);
  c.a = rg::aCyl;
  c.h = rg::hCyl;
  return c;
}

// Signed distance from p to the solid finite cylinder (negative inside).
inline double DistToCyl(const Cyl& c, const double p[3]) {
  double v[3], rad[3];
  rg::VecSub(p, c.r, v);
  const double h = rg::VecDot(v, c.ez);
  rg::VecAddScaled(v, -h, c.ez, rad);
  const double rho = rg::VecNorm(rad);
  const double dr = std::max(rho - c.a, 0.0);
  const double dh = std::max({-h, h - c.h, 0.0});
  if (dr == 0.0 && dh == 0.0) return -std::min({c.a - rho, h, c.h - h});
  return std::sqrt(dr * dr + dh * dh);
}

// Largest value of n.x over the solid cylinder.
inline double CylSupport(const Cyl& c, const double n[3]) {
  const double ez = rg::VecDot(c.ez, n);
  double np[3];
  rg::VecAddScaled(n, -ez, c.ez, np);
  const double perp = rg::VecNorm(np);
  return rg::VecDot(c.r, n) + std::max(0.0, c.h * ez) + c.a * perp;
}

// The last link of a finger: axis from o along x (length lFin), radius aFin, and
// the fingertip sphere at o + lFin*x.
struct Link {
  double o[3], x[3], T[3];
};

inline Link LastLink(rg::Sim& s, int kf, const double* q) {
  rg::Findirect_kineR(s, kf, s.nJ, q);
  Link L{};
  rg::VecCopy(s.JA[kf][s.nJ], L.o);
  rg::VecCopy(s.JA[kf][s.nJ + 1], L.T);
  double d[3];
  rg::VecSub(L.T, L.o, d);
  rg::VecUnit(d, L.x);
  return L;
}

// Smallest value of n.x over the finger's last link and tip.
inline double LinkLowSupport(const Link& L, const double n[3]) {
  const double xn = rg::VecDot(L.x, n);
  double np[3];
  rg::VecAddScaled(n, -xn, L.x, np);
  const double perp = rg::VecNorm(np);
  const double cyl = rg::VecDot(L.o, n) + std::min(0.0, rg::lFin * xn) - rg::aFin * perp;
  const double tip = rg::VecDot(L.T, n) - rg::aFin;
  return std::min(cyl, tip);
}

// Closest approach of the link's axis (sampled; spheres of radius aFin around axis
// points from aFin to lFin lie inside the finger's body) to the solid work.
inline double AxisClearance(const Link& L, const Cyl& c, int samples = 4000) {
  double best = 1e300;
  for (int i = 0; i <= samples; ++i) {
    const double t = rg::aFin + (rg::lFin - rg::aFin) * i / samples;
    double p[3];
    rg::VecAddScaled(L.o, t, L.x, p);
    best = std::min(best, DistToCyl(c, p));
  }
  return best;
}

// Checks an accepted contact of type GT (finger letter, work letter) at point RC
// with work normal NW: on both surfaces, common normal, no penetration.
inline void ExpectSoundContact(const Link& L, const Cyl& c, const char GT[2], const double RC[3],
                               const double NW[3], double tol = 1e-6) {
  const std::string type(GT, 2);
  SCOPED_TRACE("contact type " + type);
  ASSERT_TRUE(std::isfinite(RC[0]) && std::isfinite(RC[1]) && std::isfinite(RC[2]));
  EXPECT_NEAR(rg::VecNorm(NW), 1.0, 1e-9);
  double NF[3];
  rg::VecNeg(NW, NF);

  // finger surface, and the finger's outward normal there is -NW
  double d[3], foot[3], fn[3];
  if (GT[0] == 'L') {
    rg::VecSub(RC, L.o, d);
    const double t = rg::VecDot(d, L.x);
    EXPECT_GE(t, -tol);
    EXPECT_LE(t, rg::lFin + tol);
    rg::VecAddScaled(L.o, t, L.x, foot);
  } else {
    ASSERT_EQ(GT[0], 'T');
    rg::VecCopy(L.T, foot);
    rg::VecSub(RC, L.T, d);
    EXPECT_GE(rg::VecDot(d, L.x), -tol) << "contact on the rear half of the tip";
  }
  rg::VecSub(RC, foot, d);
  EXPECT_NEAR(rg::VecNorm(d), rg::aFin, tol) << "not on the finger surface";
  rg::VecUnit(d, fn);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(fn[i], NF[i], 1e-6) << "finger normal " << i;

  // work surface, and NW lies in the work's normal cone there
  double v[3], rad[3], radu[3];
  rg::VecSub(RC, c.r, v);
  const double h = rg::VecDot(v, c.ez);
  rg::VecAddScaled(v, -h, c.ez, rad);
  const double rho = rg::VecNorm(rad);
  rg::VecUnit(rad, radu);
  const double nz = rg::VecDot(NW, c.ez), nr = rg::VecDot(NW, radu);
  if (GT[1] == 'L') {
    EXPECT_NEAR(rho, rg::aCyl, tol);
    EXPECT_GE(h, -tol);
    EXPECT_LE(h, rg::hCyl + tol);
    EXPECT_NEAR(nr, 1.0, 1e-6);
  } else if (GT[1] == 'C') {
    EXPECT_NEAR(rho, rg::aCyl, tol);
    const bool lower = std::fabs(h) < std::fabs(h - rg::hCyl);
    EXPECT_NEAR(h, lower ? 0.0 : rg::hCyl, tol);
    EXPECT_GE(nr, -1e-6);
    EXPECT_GE(lower ? -nz : nz, -1e-6);
    double t[3];
    rg::VecCross(c.ez, radu, t);
    EXPECT_NEAR(rg::VecDot(NW, t), 0.0, 1e-6) << "normal not across the rim";
  } else {
    ASSERT_EQ(GT[1], 'D');
    const bool lower = std::fabs(h) < std::fabs(h - rg::hCyl);
    EXPECT_NEAR(h, lower ? 0.0 : rg::hCyl, tol);
    EXPECT_LE(rho, rg::aCyl + tol);
    EXPECT_NEAR(lower ? -nz : nz, 1.0, 1e-6);
  }
  EXPECT_NEAR(DistToCyl(c, RC), 0.0, tol) << "not on the work surface";

  // no penetration: the tangent plane separates work and finger ...
  const double at = rg::VecDot(RC, NW);
  EXPECT_LE(CylSupport(c, NW) - at, tol) << "work crosses the tangent plane";
  EXPECT_GE(LinkLowSupport(L, NW) - at, -tol) << "finger crosses the tangent plane";
  // ... and, independently of the normal, the sampled link axis keeps aFin away
  EXPECT_GE(AxisClearance(L, c), rg::aFin - 1e-6) << "link cuts into the work";
}

// Selects hand h in a started simulation, as the start-up sequence does.
inline void UseHand(rg::Sim& s, int h) {
  s.HAND1 = h;
  rg::BasicFinParameter(s, h);
  rg::FinJ1Pose(s, h, s.WORK1);
  s.nJ = s.njnt[h];
  s.nF = s.nfin[h];
  for (int kf = 1; kf <= s.nF; ++kf) rg::AbsFinParameter(s, h, kf);
  rg::VecCopy(s.rwGCyl0, s.rwG0);
  rg::MatCopy(s.EwGCyl0, s.EwG0);
  rg::RESETGRASP(s);
  s.nFIN = 0;
  for (int kf = 1; kf <= s.nF; ++kf) rg::Findirect_kineR(s, kf, s.nJ, s.qq0[kf]);
}

}  // namespace rgtest
