// Hand-built rolling contacts for the manipulation tests: a rim circle of the
// work placed so that it touches a finger's last link at a chosen point.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "core/state.h"
#include "hand/hand.h"
#include "manip/manip.h"
#include "numerics/vecmat.h"
#include "support.h"

namespace rgtest {

// A bent finger: joints 3 and 4 closed by 0.6 and 0.9 rad.
const double kBentQ[5] = {0, 0.05, 0.1, 0.6, 0.9};

// A started simulation whose console waits are answered at once.
class StartedSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s_ = StartedSim();
  }
  rg::Sim& s() { return *s_; }
  std::unique_ptr<rg::Sim> s_;
};

struct RimScene {
  double q[rg::kSlots] = {};  // finger angles of the contact
  double Lf = 0, fif = 0, thw = 0;
  double p[3] = {};      // contact point (hand frame)
  double N[3] = {};      // unit normal from the contact into the link
  double x[3] = {};      // link axis
  double rwP[3] = {};    // rim centre
  double Ew[3][3] = {};  // work frame: rim in the plane of its x and y axes
};

// A rim of radius aCyl touching finger kf's last link at (Lf, fif) for angles q, at
// rim angle thw; the rim tangent makes the angle beta with the link axis towards N x x.
inline RimScene PlaceRim(rg::Sim& s, int kf, const double q[5], double Lf, double fif, double thw,
                         double beta) {
  using namespace rg;
  RimScene sc;
  for (int j = 0; j <= 4; ++j) sc.q[j] = q[j];
  sc.Lf = Lf;
  sc.fif = fif;
  sc.thw = thw;
  const FingerPose P = Findirect_kineR(s.model(), s.mount(kf), sc.q);
  double z[3], xz[3], Nx[3], t[3], e[3][3];
  MatColumn(P.EA[s.nJ()], 0, sc.x);
  MatColumn(P.EA[s.nJ()], 2, z);
  VecCross(sc.x, z, xz);
  for (int i = 0; i < 3; ++i) {
    sc.N[i] = -(std::cos(fif) * z[i] + std::sin(fif) * xz[i]);
    sc.p[i] = P.JA[s.nJ()][i] + Lf * sc.x[i] - s.model().aFin * sc.N[i];
  }
  VecCross(sc.N, sc.x, Nx);
  // the rim's outward radius at the contact is N, its tangent t
  for (int i = 0; i < 3; ++i) {
    t[i] = std::cos(beta) * sc.x[i] + std::sin(beta) * Nx[i];
    e[0][i] = std::cos(thw) * sc.N[i] - std::sin(thw) * t[i];
    e[1][i] = std::sin(thw) * sc.N[i] + std::cos(thw) * t[i];
    sc.rwP[i] = sc.p[i] - s.model().aCyl * sc.N[i];
  }
  VecCross(e[0], e[1], e[2]);
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) sc.Ew[i][k] = e[k][i];
  return sc;
}

// The constraint-solve inputs of a finger resting in the scene's exact contact, the
// work not moved by the step.
inline rg::PRStepFixed FixedAt(const rg::Sim& s, const RimScene& sc, int kf) {
  rg::PRStepFixed in;
  in.kf = kf;
  for (int j = 0; j < rg::kSlots; ++j) in.q1[j] = in.q12[j] = sc.q[j];
  in.Lf1 = sc.Lf;
  in.fif1 = sc.fif;
  in.thw1 = sc.thw;
  rg::VecCopy(sc.p, in.RC1);
  rg::VecCopy(sc.N, in.NW1);
  rg::VecCopy(sc.rwP, in.rwP2);
  rg::MatCopy(sc.Ew, in.Ew2);
  rg::VecCopy(sc.p, in.rwc3);
  rg::PRStepBefore(s.model(), in, sc.Ew);
  return in;
}

// Distance of point p from the line through o along the unit vector x.
inline double DistFromLine(const double p[3], const double o[3], const double x[3]) {
  double d[3], c[3];
  rg::VecSub(p, o, d);
  rg::VecCross(d, x, c);
  return rg::VecNorm(c);
}

}  // namespace rgtest
