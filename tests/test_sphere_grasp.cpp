// The grasp of the work sphere and the interference of the hand with it, judged with
// this suite's own geometry (the hand rebuilt from the catalogue):
//   - every accepted contact lies on the sphere and on the finger (the last link's
//     side, or the front half of the fingertip ball), no link reaches into the
//     sphere, and it is the first touch as the last joint closes from -pi/2, found
//     here by sweeping the joint and bisecting the distance between the link (with
//     its fingertip ball) and the sphere;
//   - random sphere poses of all four hands miss no contact and invent none;
//   - the check after every move of the sphere in mode 'M' reports exactly the poses
//     in which a finger in its initial pose or the palm overlaps the sphere.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "app/keyboard.h"
#include "own_geometry.h"
#include "record_view.h"
#include "support.h"

namespace {

using namespace own;
namespace cat = rg::catalogue;

Sphere WorkOf(const Sim& s) { return {{s.rwG[0], s.rwG[1], s.rwG[2]}, FromC(s.EwG)}; }

// Clearance between the last link (with its tip ball) of finger kf and the sphere at
// last-joint angle q4; t receives where along the link the nearest point lies.
double LastLinkGap(const Sim& s, int kf, const double* q0, double q4, const Sphere& w,
                   double* t) {
  const double q[5] = {0, q0[1], q0[2], q0[3], q4};
  const Links f = FingerLinks(s.HAND1, false, kf, q);
  const AxisNearest n = SegmentToPoint(f.j4, f.tip, w.c);
  if (t != nullptr) *t = n.t;
  return n.dist - cat::aFin - cat::aSph;
}

struct Touch {
  bool found = false, fromStart = false;
  double q = 0.0, t = 0.0;
};

Touch FirstTouch(const Sim& s, int kf, const Sphere& w) {
  Touch touch;
  const double* q0 = s.qq0[kf];
  double lo = -0.5 * M_PI;
  if (LastLinkGap(s, kf, q0, lo, w, nullptr) <= 0.0) {
    touch.fromStart = true;
    return touch;
  }
  for (double hi = lo + 0.005; hi <= M_PI; lo = hi, hi += 0.005) {
    if (LastLinkGap(s, kf, q0, hi, w, nullptr) > 0.0) continue;
    for (int it = 0; it < 60; ++it) {
      const double m = 0.5 * (lo + hi);
      (LastLinkGap(s, kf, q0, m, w, nullptr) > 0.0 ? lo : hi) = m;
    }
    touch.found = true;
    touch.q = hi;
    LastLinkGap(s, kf, q0, hi, w, &touch.t);
    return touch;
  }
  return touch;
}

struct Verdict {
  int fingers = 0, found = 0, missed = 0, wrongAngle = 0, phantom = 0, offSurface = 0,
      wrongType = 0, skipped = 0, blocked = 0;
  std::map<std::string, int> types;
  std::string firstFault;
};

// Types the keys, grasps the sphere with every finger and judges each finger.
void Judge(const std::string& keys, Verdict& v) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  Press(s, keys);
  if (s.WORK1 != '1') {
    ADD_FAILURE() << keys << ": the sphere is not selected";
    return;
  }
  if (s.sgnCALGChk == 'C' || s.sgnGC == 'C') {  // the sphere already meets the hand
    v.skipped += s.nF();
    ++v.blocked;
    return;
  }
  Press(s, "G" + std::string(s.nF(), 's'));
  const Sphere w = WorkOf(s);
  for (int kf = 1; kf <= s.nF(); ++kf) {
    ++v.fingers;
    const Touch t = FirstTouch(s, kf, w);
    const bool got = s.sgnGRASPM[kf] == 'Y';
    const std::string type = got ? std::string(s.GGTYPE[kf], 2) : "NN";
    ++v.types[type];
    char what[240] = "";
    if (t.fromStart) {
      ++v.skipped;
      if (got) {
        ++v.phantom;
        std::snprintf(what, sizeof what, "finger %d: %s although the link starts in the sphere",
                      kf, type.c_str());
      }
    } else if (!t.found) {
      if (got) {
        ++v.phantom;
        std::snprintf(what, sizeof what, "finger %d: %s at %.4f, no touch at all", kf,
                      type.c_str(), s.qf[kf][4]);
      }
    } else {
      ++v.found;
      const bool tip = t.t >= cat::lFin - 1e-6;
      if (!got) {
        ++v.missed;
        std::snprintf(what, sizeof what, "finger %d: no contact, first touch at %.6f", kf, t.q);
      } else if (std::fabs(s.qf[kf][4] - t.q) > 1e-7) {
        ++v.wrongAngle;
        std::snprintf(what, sizeof what, "finger %d: %s at %.8f, first touch at %.8f", kf,
                      type.c_str(), s.qf[kf][4], t.q);
      } else if (type != (tip ? "TS" : "LS") && std::fabs(t.t - cat::lFin) > 1e-4) {
        ++v.wrongType;
        std::snprintf(what, sizeof what, "finger %d: %s, but the touch lies at t = %.4f", kf,
                      type.c_str(), t.t);
      }
    }
    if (got) {
      // the contact on both surfaces, and no link of the finger in the sphere
      const Links f = FingerLinks(s.HAND1, false, kf, s.qf[kf]);
      const V3 RC = {s.ManipCPNTA2[1][kf][0], s.ManipCPNTA2[1][kf][1], s.ManipCPNTA2[1][kf][2]};
      const double onSphere = Norm(Sub(RC, w.c));
      double onFinger;
      if (type == "TS") {
        onFinger = Norm(Sub(RC, f.tip));
        if (Dot(Sub(RC, f.tip), Sub(f.tip, f.j4)) < -1e-9) onFinger = -1.0;  // rear half
      } else {
        onFinger = SegmentToPoint(f.j4, f.tip, RC).dist;
        const double L = SegmentToPoint(f.j4, f.tip, RC).t;
        if (L <= 0.0 || L >= cat::lFin) onFinger = -1.0;  // not on the link's side
      }
      const double depth = std::max(Penetration(w, f.base, f.j4), Penetration(w, f.j4, f.tip));
      if (std::fabs(onSphere - cat::aSph) > 1e-7 || std::fabs(onFinger - cat::aFin) > 1e-7 ||
          depth > 1e-7) {
        ++v.offSurface;
        if (!*what)
          std::snprintf(what, sizeof what,
                        "finger %d: %s %.3g from the sphere, %.3g from the finger, %.3g deep", kf,
                        type.c_str(), onSphere - cat::aSph, onFinger - cat::aFin, depth);
      }
      // the record's work-side angles are those of the contact's normal
      const V3 n = Apply(T(w.Ew), Unit(Sub(RC, w.c)));
      const ContactPrm& p = s.ManipPrm2[1][kf];
      EXPECT_NEAR(p.alw, std::atan2(n[1], n[0]), 1e-9) << keys << " finger " << kf;
      EXPECT_NEAR(p.betw, std::asin(n[2]), 1e-9) << keys << " finger " << kf;
    }
    if (*what && v.firstFault.empty()) v.firstFault = keys + ": " + what;
  }
}

std::string Rep(char k, int n) { return std::string(n, k); }

void ExpectClean(const Verdict& v) {
  EXPECT_EQ(v.missed, 0) << v.firstFault;
  EXPECT_EQ(v.wrongAngle, 0) << v.firstFault;
  EXPECT_EQ(v.phantom, 0) << v.firstFault;
  EXPECT_EQ(v.offSurface, 0) << v.firstFault;
  EXPECT_EQ(v.wrongType, 0) << v.firstFault;
}

TEST(SphereGrasp, DefaultScenesTouchWithTheLinksSide) {
  for (const char* hand : {"H1", "H2", "H3", "H4"}) {
    Verdict v;
    Judge(std::string(hand) + "W1", v);
    ExpectClean(v);
    EXPECT_EQ(v.found, v.fingers) << hand;
    EXPECT_EQ(v.types["LS"], v.fingers) << hand;
  }
}

TEST(SphereGrasp, ASphereFartherOutIsTouchedByFingertips) {
  Verdict v;
  Judge("H2W1M" + Rep('Y', 30), v);
  ExpectClean(v);
  EXPECT_EQ(v.types["TS"], 2);
  EXPECT_EQ(v.types["LS"], 1);
}

TEST(SphereGrasp, RandomPosesOfAllHandsMissNoContact) {
  std::mt19937 rng(20261209);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n)(rng); };
  Verdict v;
  for (int scene = 0; scene < 300; ++scene) {
    std::string keys = "H" + std::to_string(1 + pick(3)) + "W1";
    if (pick(3) == 0)
      keys += "J" + std::to_string(1 + pick(1)) + std::to_string(1 + pick(3)) +
              Rep(pick(1) ? 'p' : 'm', pick(6));
    // mostly away from the palm, where the open fingers can close on the sphere
    keys += "M";
    const char* moves = "xXyYzZpPqQrR";
    const int most[12] = {25, 25, 3, 110, 10, 10, 30, 30, 30, 30, 30, 30};
    for (int k = 0; k < 12; ++k) keys += Rep(moves[k], pick(most[k]));
    Judge(keys, v);
  }
  std::printf("[ sphere   ] %d fingers: %d touch the sphere, %d missed, %d at a wrong angle, "
              "%d phantom, %d off a surface, %d of a wrong type, %d skipped; %d scenes blocked\n",
              v.fingers, v.found, v.missed, v.wrongAngle, v.phantom, v.offSurface, v.wrongType,
              v.skipped, v.blocked);
  for (const auto& [type, n] : v.types) std::printf("[ sphere   ]   %s %d\n", type.c_str(), n);
  ExpectClean(v);
  EXPECT_GT(v.found, 300);
  EXPECT_GT(v.types["LS"], 50);
  EXPECT_GT(v.types["TS"], 50);
  EXPECT_GT(v.types["NN"], 20);
}

// ---- interference after every move of the sphere

// This file's verdict: a finger in its initial pose, or the palm, overlaps the sphere.
bool Overlaps(const Sim& s, const Sphere& w, int* finger) {
  bool any = false;
  for (int kf = 1; kf <= s.nF(); ++kf) {
    const Links f = FingerLinks(s.HAND1, false, kf, s.qq0[kf]);
    if (Penetration(w, f.base, f.j4) > 0.0 || Penetration(w, f.j4, f.tip) > 0.0) {
      any = true;
      *finger = kf;
    }
  }
  // the palm: the disc of radius rPalm about the Y axis, hPalm thick
  const double rho = std::hypot(w.c[0], w.c[2]) - cat::rPalm,
               h = std::fabs(w.c[1]) - 0.5 * cat::hPalm;
  const double palm = (rho <= 0 && h <= 0) ? std::max(rho, h)
                                           : std::hypot(std::max(rho, 0.0), std::max(h, 0.0));
  if (palm < cat::aSph) {
    any = true;
    *finger = s.nF();  // the palm counts with the last finger
  }
  return any;
}

TEST(SphereInterference, EveryMoveIsCheckedAgainstTheFingersAndThePalm) {
  struct Push {
    const char* hand;
    char key;
    int n;
  };
  // towards the palm, sideways into finger 1 and finger 2, up and down
  const Push pushes[] = {{"H1", 'y', 40}, {"H2", 'y', 40}, {"H3", 'Z', 70},
                         {"H4", 'z', 70}, {"H1", 'z', 70}, {"H2", 'X', 70}};
  int reported = 0, palm = 0;
  for (const Push& p : pushes) {
    auto sp = rgtest::StartedSim();
    Sim& s = *sp;
    Press(s, std::string(p.hand) + "W1M");
    bool seen = false;
    for (int k = 0; k < p.n; ++k) {
      Press(s, std::string(1, p.key));
      int finger = 0;
      const bool own = Overlaps(s, WorkOf(s), &finger);
      SCOPED_TRACE(testing::Message() << p.hand << " '" << p.key << "' x" << k + 1);
      EXPECT_EQ(s.sgnGC, own ? 'C' : 'F');
      if (own) {
        seen = true;
        ++reported;
        EXPECT_EQ(s.sgnCALGChk, 'C');
        EXPECT_EQ(s.sgnGRASP, 'N');
        EXPECT_EQ(s.COLLkf, finger);
        if (std::hypot(s.rwG[0], s.rwG[2]) < cat::rPalm && s.rwG[1] - 0.5 * cat::hPalm < cat::aSph)
          ++palm;
      }
    }
    EXPECT_TRUE(seen) << p.hand << " '" << p.key << "': the push never met the hand, centre "
                      << s.rwG[0] << " " << s.rwG[1] << " " << s.rwG[2];
    // a blocked grasp computes nothing
    Press(s, "G");
    if (s.sgnGRASP == 'N') Press(s, "s");
  }
  EXPECT_GT(palm, 0);  // the palm itself was met
  EXPECT_GT(reported, 20);
}

}  // namespace
