// Grasp references: every finger's first contact in a table of scenes (hands 1-4 and a
// hand file, on the cylinder and on the sphere, the default work and works moved so
// that every contact type occurs) is compared with the ROOT of its contact equations,
// recorded in tests/reference/grasp-roots.csv. Recording polishes the program's
// contact with this test's own equations in long double until Newton's step vanishes,
// so the reference holds the root itself, not the path of the solver that found it.
//
// The tolerance rule. A contact's unknowns are the last joint's angle q and, on a rim,
// the rim angle theta (radians); its equations are lengths (distances to the surfaces,
// the normal across the rim). A result whose equations hold to a residual r lies about
// r / sigma from the root, sigma being the smallest singular value of the equations'
// Jacobian in the unknowns (length per radian; |f'(q)| for one equation). So an angle
// may differ from the recorded root by at most
//     kTolAngle * max(1, kSigmaWell / sigma),   kTolAngle = 1e-11 rad, kSigmaWell = 1,
// and a point or a normal by that times its lever (the distance of the contact from
// the joint, at least 1). A solve stopped at the contact solvers' acceptance levels
// (1e-6 and 1e-7 in the residual) misses it (the default scenes' link-rim contacts by
// 8 to 140 times); one polished to the rounding of its lengths meets it with a margin
// of a thousand and more.
// The contact type and the part of the work touched (the first-touch decisions) must
// be the recorded ones exactly. RG_RECORD_REFERENCE=1 records the reference anew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/hand_choice.h"
#include "batch_run.h"
#include "core/state.h"
#include "hand/hand.h"
#include "hand/hand_file.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

using LD = long double;

constexpr double kTolAngle = 1e-11;
constexpr double kSigmaWell = 1.0;

double AngleTolerance(double sigma) { return kTolAngle * std::max(1.0, kSigmaWell / sigma); }

// ---- long-double vectors

struct V {
  LD x[3];
  LD operator[](int i) const { return x[i]; }
};
V operator+(const V& a, const V& b) { return {{a[0] + b[0], a[1] + b[1], a[2] + b[2]}}; }
V operator-(const V& a, const V& b) { return {{a[0] - b[0], a[1] - b[1], a[2] - b[2]}}; }
V operator*(LD k, const V& a) { return {{k * a[0], k * a[1], k * a[2]}}; }
LD Dot(const V& a, const V& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V Cross(const V& a, const V& b) {
  return {{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]}};
}
LD Len(const V& a) { return std::sqrt(Dot(a, a)); }
V Unit(const V& a) { return (1.0L / Len(a)) * a; }

// ---- one finger's contact problem in the frame of its last joint (z the joint axis;
// at angle q the last link points along u(q) = (cos q, sin q, 0))

struct Problem {
  char finger = 'L', work = 'C';  // the contact type's letters
  LD aFin = 0, lFin = 0, aCyl = 0, hCyl = 0, aSph = 0;
  V r, xw, yw, zw;  // work: bottom-face centre (sphere: centre) and axes, in the joint frame
  V C, n;           // rim or face centre and the face's outward normal
  int Unknowns() const { return work == 'C' ? 2 : 1; }

  V U(LD q) const { return {{std::cos(q), std::sin(q), 0.0L}}; }
  V RimPoint(LD th) const { return C + aCyl * (std::cos(th) * xw + std::sin(th) * yw); }
  V RimTangent(LD th) const { return (-std::sin(th)) * xw + std::cos(th) * yw; }

  // the equations at x = (q[, theta]); lengths
  void Residual(const LD* x, LD* F) const {
    const V u = U(x[0]), T = lFin * u;
    if (work == 'C') {
      const V P = RimPoint(x[1]);
      const V e = P - (finger == 'L' ? Dot(P, u) * u : T);  // from the link axis or tip centre
      F[0] = Len(e) - aFin;                                   // P on the finger's surface
      F[1] = Dot(e, RimTangent(x[1]));                        // the normal across the rim
    } else if (work == 'L') {
      if (finger == 'L') {
        const V m = Cross(u, zw);  // the two axes aFin + aCyl apart
        F[0] = std::fabs(Dot(r, m)) / Len(m) - (aFin + aCyl);
      } else {
        F[0] = Len(Cross(T - r, zw)) - (aFin + aCyl);  // tip centre that far from the axis
      }
    } else if (work == 'D') {
      F[0] = Dot(T - C, n) - aFin;  // tip ball on the face plane
    } else {                        // the sphere
      F[0] = (finger == 'L' ? Len(Cross(r, u)) : Len(r - T)) - (aFin + aSph);
    }
  }

  LD Norm(const LD* x) const {
    LD F[2] = {0, 0};
    Residual(x, F);
    return std::fabs(F[0]) + std::fabs(F[1]);
  }

  // Jacobian by central differences (long double keeps them good to about 1e-12)
  void Jacobian(const LD* x, LD J[2][2]) const {
    const LD h = 1e-6L;
    for (int k = 0; k < Unknowns(); ++k) {
      LD xp[2] = {x[0], x[1]}, xm[2] = {x[0], x[1]}, Fp[2] = {0, 0}, Fm[2] = {0, 0};
      xp[k] += h;
      xm[k] -= h;
      Residual(xp, Fp);
      Residual(xm, Fm);
      for (int i = 0; i < 2; ++i) J[i][k] = (Fp[i] - Fm[i]) / (2 * h);
    }
  }

  // smallest singular value of the Jacobian at x
  double Sigma(const LD* x) const {
    LD J[2][2] = {};
    Jacobian(x, J);
    if (Unknowns() == 1) return static_cast<double>(std::fabs(J[0][0]));
    const LD a = J[0][0] * J[0][0] + J[1][0] * J[1][0], b = J[0][0] * J[0][1] + J[1][0] * J[1][1],
             c = J[0][1] * J[0][1] + J[1][1] * J[1][1];
    const LD lmin = 0.5L * (a + c) - std::sqrt(0.25L * (a - c) * (a - c) + b * b);
    return static_cast<double>(std::sqrt(std::max(lmin, 0.0L)));
  }

  // Newton from x until its step vanishes; the residual norm at the end
  LD Polish(LD* x) const {
    for (int it = 0; it < 60; ++it) {
      LD F[2] = {0, 0}, J[2][2] = {}, d[2] = {0, 0};
      Residual(x, F);
      Jacobian(x, J);
      if (Unknowns() == 1) {
        d[0] = F[0] / J[0][0];
      } else {
        const LD det = J[0][0] * J[1][1] - J[0][1] * J[1][0];
        d[0] = (J[1][1] * F[0] - J[0][1] * F[1]) / det;
        d[1] = (J[0][0] * F[1] - J[1][0] * F[0]) / det;
      }
      if (!std::isfinite(d[0]) || !std::isfinite(d[1])) break;
      x[0] -= d[0];
      x[1] -= d[1];
      if (std::fabs(d[0]) + std::fabs(d[1]) < 1e-17L) break;
    }
    return Norm(x);
  }

  // contact point and outward work normal at the root x, in the joint frame
  void Contact(const LD* x, V& RC, V& NW) const {
    const V u = U(x[0]), T = lFin * u;
    if (work == 'C') {
      RC = RimPoint(x[1]);
      NW = Unit((finger == 'L' ? Dot(RC, u) * u : T) - RC);
    } else if (work == 'L') {
      V foot = T;
      if (finger == 'L') {  // nearest points of the two axes
        const LD U1 = Dot(u, zw), R = Dot(r, u), S = Dot(r, zw);
        foot = ((U1 * S - R) / (U1 * U1 - 1)) * u;
      }
      const V onAxis = r + Dot(foot - r, zw) * zw;
      NW = Unit(foot - onAxis);
      RC = onAxis + aCyl * NW;
    } else if (work == 'D') {
      NW = n;
      RC = T - aFin * n;
    } else {
      const V foot = finger == 'L' ? Dot(r, u) * u : T;
      NW = Unit(foot - r);
      RC = r + aSph * NW;
    }
  }
};

// ---- the scenes

struct Scene {
  std::string name;
  std::string hand;  // "1".."4", or a hand file under hands/
  std::string keys;  // typed after the hand is chosen, before G and one s per finger
};

std::vector<Scene> Scenes() {
  std::vector<Scene> scenes;
  for (int h = 1; h <= 4; ++h) {
    const std::string H = std::to_string(h);
    scenes.push_back({"hand" + H + "-cylinder", H, ""});
    scenes.push_back({"hand" + H + "-sphere", H, "W1"});
  }
  // works moved in mode 'M' so that every contact type occurs
  scenes.push_back({"hand1-sphere-tip", "1", "W1M" + std::string(30, 'Y')});
  scenes.push_back({"hand1-tip-on-side", "1", "M" + std::string(16, 'p')});
  scenes.push_back({"hand1-tip-on-rim", "1", "MXXPPPPPPPPPPQ"});
  scenes.push_back({"hand1-tip-on-disk", "1", "M" + std::string(14, 'P') + "R"});
  scenes.push_back({"hand2-link-on-side", "2", "Mx" + std::string(18, 'Q')});
  scenes.push_back({"hand4-tip-on-rim", "4", "MzzzZZ" + std::string(11, 'P')});
  scenes.push_back({"file-example-4finger-cylinder", "example-4finger.urdf", ""});
  scenes.push_back({"file-example-4finger-sphere", "example-4finger.urdf", "W1"});
  return scenes;
}

std::unique_ptr<rg::Sim> Grasped(const Scene& sc) {
  auto s = rgtest::StartedSim();
  if (sc.hand.size() == 1) {
    rgtest::Press(*s, "H" + sc.hand);
  } else {
    rg::HandFileResult r = rg::LoadHandFile(rgtest::SourcePath("hands/" + sc.hand).string());
    EXPECT_TRUE(r.model != nullptr) << r.error;
    if (r.model) rg::SelectHandModel(*s, r.model);
  }
  rgtest::Press(*s, sc.keys + "G" + std::string(s->nF(), 's'));
  return s;
}

// Finger kf's contact problem, started from the program's result x.
Problem ProblemOf(const rg::Sim& s, int kf, LD x[2]) {
  const rg::Model& m = s.model();
  const int nJ = m.nJ;
  const rg::FingerPose P = rg::Findirect_kineR(m, s.mount(kf), s.qf[kf]);
  Problem p;
  p.finger = s.GGTYPE[kf][0];
  p.work = s.GGTYPE[kf][1];
  p.aFin = m.aFin;
  p.lFin = m.lFin;
  p.aCyl = m.aCyl;
  p.hCyl = m.hCyl;
  p.aSph = m.aSph;
  // the work in the frame of joint nJ before its own turn: columns of EAs^T (E_w)
  V E[3];
  for (int k = 0; k < 3; ++k) {
    V col{};
    for (int i = 0; i < 3; ++i) col.x[i] = s.EwG[i][k];
    for (int i = 0; i < 3; ++i) {
      LD a = 0;
      for (int j = 0; j < 3; ++j) a += static_cast<LD>(P.EAs[nJ][j][i]) * col[j];
      E[k].x[i] = a;
    }
  }
  for (int i = 0; i < 3; ++i) {
    LD a = 0;
    for (int j = 0; j < 3; ++j) a += static_cast<LD>(P.EAs[nJ][j][i]) * (static_cast<LD>(s.rwG[j]) - P.JA[nJ][j]);
    p.r.x[i] = a;
  }
  p.xw = E[0];
  p.yw = E[1];
  p.zw = E[2];
  const bool upper = s.sgnUML[kf] == 'U';
  p.C = upper ? p.r + p.hCyl * p.zw : p.r;
  p.n = upper ? p.zw : (-1.0L) * p.zw;
  x[0] = s.qf[kf][nJ];
  x[1] = s.Manip[0][kf].thw;
  return p;
}

// The frame of joint nJ, to bring joint-frame vectors to the hand frame.
void ToHand(const rg::Sim& s, int kf, const V& RCm, const V& NWm, double RC[3], double NW[3]) {
  const rg::FingerPose P = rg::Findirect_kineR(s.model(), s.mount(kf), s.qf[kf]);
  const int nJ = s.model().nJ;
  for (int i = 0; i < 3; ++i) {
    LD a = P.JA[nJ][i], b = 0;
    for (int j = 0; j < 3; ++j) {
      a += P.EAs[nJ][i][j] * RCm[j];
      b += P.EAs[nJ][i][j] * NWm[j];
    }
    RC[i] = static_cast<double>(a);
    NW[i] = static_cast<double>(b);
  }
}

// One line of the reference: scene, finger, type, part, q, theta, RC, NW, sigma, lever.
struct Root {
  std::string scene, type;
  int kf = 0;
  char uml = 'N';
  double q = 0, th = 0, RC[3] = {}, NW[3] = {}, sigma = 0, lever = 1;
};

std::string Line(const Root& r) {
  char b[600];
  std::snprintf(b, sizeof b,
                "%s,%d,%s,%c,%.21Lg,%.21Lg,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.6g,%.6g",
                r.scene.c_str(), r.kf, r.type.c_str(), r.uml, static_cast<LD>(r.q),
                static_cast<LD>(r.th), r.RC[0], r.RC[1], r.RC[2], r.NW[0], r.NW[1], r.NW[2], r.sigma,
                r.lever);
  return b;
}

Root Parse(const std::string& line) {
  std::vector<std::string> c;
  std::stringstream ss(line);
  for (std::string cell; std::getline(ss, cell, ',');) c.push_back(cell);
  Root r;
  if (c.size() != 14) return r;
  r.scene = c[0];
  r.kf = std::atoi(c[1].c_str());
  r.type = c[2];
  r.uml = c[3].empty() ? '?' : c[3][0];
  auto d = [&](int k) { return std::strtod(c[k].c_str(), nullptr); };
  r.q = d(4);
  r.th = d(5);
  for (int i = 0; i < 3; ++i) {
    r.RC[i] = d(6 + i);
    r.NW[i] = d(9 + i);
  }
  r.sigma = d(12);
  r.lever = d(13);
  return r;
}

// The root of every finger's contact in the scene, polished from the program's result.
std::vector<Root> PolishedRoots(const Scene& sc) {
  auto s = Grasped(sc);
  std::vector<Root> roots;
  for (int kf = 1; kf <= s->nF(); ++kf) {
    Root r;
    r.scene = sc.name;
    r.kf = kf;
    r.type = std::string(s->GGTYPE[kf], 2);
    r.uml = s->sgnGRASPM[kf] == 'Y' ? s->sgnUML[kf] : 'N';
    if (s->sgnGRASPM[kf] == 'Y') {
      LD x[2];
      const Problem p = ProblemOf(*s, kf, x);
      const LD x0[2] = {x[0], x[1]};
      const LD norm = p.Polish(x);
      EXPECT_LT(static_cast<double>(norm), 1e-15) << sc.name << " finger " << kf << ": no root";
      // the program's contact lies next to this root (its solvers stop at 1e-6)
      EXPECT_LT(static_cast<double>(std::fabs(x[0] - x0[0]) + std::fabs(x[1] - x0[1])), 1e-4)
          << sc.name << " finger " << kf << ": polished to another root";
      V RC, NW;
      p.Contact(x, RC, NW);
      r.q = static_cast<double>(x[0]);
      r.th = p.Unknowns() == 2 ? static_cast<double>(x[1]) : 0.0;
      ToHand(*s, kf, RC, NW, r.RC, r.NW);
      r.sigma = p.Sigma(x);
      r.lever = std::max(1.0, static_cast<double>(Len(RC)));
    }
    roots.push_back(r);
  }
  return roots;
}

TEST(GraspReference, EveryFingerReachesTheRecordedRootWithinItsConditioning) {
  const fs::path ref = rgtest::SourcePath("tests/reference/grasp-roots.csv");
  const std::vector<Scene> scenes = Scenes();
  if (std::getenv("RG_RECORD_REFERENCE") != nullptr) {
    std::ofstream out(ref);
    out << "scene,kf,type,part,q,theta,RCx,RCy,RCz,NWx,NWy,NWz,sigma,lever\n";
    for (const Scene& sc : scenes)
      for (const Root& r : PolishedRoots(sc)) out << Line(r) << '\n';
    return;
  }
  ASSERT_TRUE(fs::exists(ref)) << "no reference " << ref;
  std::vector<std::string> want = rgtest::Lines(ref);
  ASSERT_GT(want.size(), 1u);
  want.erase(want.begin());  // the header
  size_t at = 0;
  int compared = 0;
  double worst = 0.0;  // the largest difference over its tolerance
  std::string typesSeen;
  for (const Scene& sc : scenes) {
    SCOPED_TRACE(sc.name);
    auto s = Grasped(sc);
    for (int kf = 1; kf <= s->nF(); ++kf, ++at) {
      SCOPED_TRACE("finger " + std::to_string(kf));
      ASSERT_LT(at, want.size()) << "the reference ends early";
      const Root w = Parse(want[at]);
      ASSERT_EQ(w.scene + " " + std::to_string(w.kf), sc.name + " " + std::to_string(kf));
      // the first-touch decisions, exactly
      ASSERT_EQ(std::string(s->GGTYPE[kf], 2), w.type);
      ASSERT_EQ(s->sgnGRASPM[kf] == 'Y' ? s->sgnUML[kf] : 'N', w.uml);
      if (w.type == "NN") continue;
      typesSeen += w.type + " ";
      // the recorded root is still a root of this scene's equations
      LD x[2];
      const Problem p = ProblemOf(*s, kf, x);
      const LD root[2] = {w.q, w.th};
      EXPECT_LT(static_cast<double>(p.Norm(root)), 1e-11 * w.lever) << "the reference is no root here";
      const double tolA = AngleTolerance(w.sigma), tolL = tolA * w.lever;
      auto check = [&](double got, double ref, double tol, const char* what) {
        const double d = std::fabs(got - ref);
        worst = std::max(worst, d / tol);
        EXPECT_LE(d, tol) << what << ": " << got << " against the root " << ref << " (sigma "
                          << w.sigma << ")";
      };
      check(s->qf[kf][s->nJ()], w.q, tolA, "last joint angle");
      if (p.Unknowns() == 2) check(s->Manip[0][kf].thw, w.th, tolA, "rim angle");
      for (int i = 0; i < 3; ++i) {
        check(s->ManipCPNTA[0][kf][i], w.RC[i], tolL, "contact point");
        check(s->ManipNWA[0][kf][i], w.NW[i], tolA, "work normal");
      }
      ++compared;
    }
  }
  EXPECT_EQ(at, want.size()) << "the reference holds more fingers";
  std::printf("[ compared ] %d contacts (%s); largest difference %.3g of its tolerance\n", compared,
              typesSeen.c_str(), worst);
  // every contact type of both works is among them
  for (const char* t : {"LC", "TC", "LL", "TL", "TD", "LS", "TS"})
    EXPECT_NE(typesSeen.find(t), std::string::npos) << t;
}

}  // namespace
