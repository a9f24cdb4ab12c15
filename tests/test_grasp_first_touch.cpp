// The grasp finds where each finger really first touches the work. The first touch
// is found here independently of the contact solvers: the hand rebuilt from the
// catalogue, the last joint swept upward from -pi/2, and at every angle the distance
// between the last link (with its fingertip ball) and the solid work cylinder; the
// first angle at which it reaches zero is refined by bisection.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "app/hand_choice.h"
#include "app/keyboard.h"
#include "own_geometry.h"
#include "support.h"

namespace {

using namespace own;

struct Touch {
  enum Kind { None, FromStart, Base, Found } kind = None;
  double q = 0.0;  // last-joint angle of the first touch
  double t = 0.0;  // where along the link (0 at joint 4, lFin at the fingertip centre)
};

// First touch of finger kf of the hand laid out as `hand`, its other joints at q0,
// with the work w.
Touch FirstTouch(const HandLayout& hand, bool cylinderWork, int kf, const double* q0,
                 const Cylinder& w) {
  double q[5] = {0, q0[1], q0[2], q0[3], 0};
  auto gap = [&](double q4, double* t) {
    q[4] = q4;
    const Links f = FingerLinks(hand, cylinderWork, kf, q);
    const AxisNearest n = NearestOnSegment(w, f.j4, f.tip);
    if (t != nullptr) *t = n.t;
    return n.dist - hand.aFin;
  };
  Touch touch;
  const double h = 0.005;
  double lo = -0.5 * M_PI;
  if (gap(lo, nullptr) <= 0.0) {
    touch.kind = Touch::FromStart;
    return touch;
  }
  for (double hi = lo + h; hi <= M_PI; lo = hi, hi += h) {
    if (gap(hi, nullptr) > 0.0) continue;
    for (int it = 0; it < 60; ++it) {
      const double m = 0.5 * (lo + hi);
      (gap(m, nullptr) > 0.0 ? lo : hi) = m;
    }
    touch.q = hi;
    gap(hi, &touch.t);
    // the ball about joint 4 stands for the joint, not for the link: not a finger contact
    touch.kind = touch.t < 1e-6 ? Touch::Base : Touch::Found;
    return touch;
  }
  return touch;
}

struct Verdict {
  int fingers = 0, found = 0, missed = 0, wrongAngle = 0, phantom = 0, skipped = 0;
  std::map<std::string, int> types;  // contact types reported by the grasp
  std::string firstFault;
};

// Built-in hand `hand` with links `link` long and `radius` thick.
std::shared_ptr<const rg::Model> Resized(int hand, double link, double radius) {
  auto m = std::make_shared<rg::Model>(*rg::CatalogueModel(hand));
  m->lFin = link;
  m->aFin = radius;
  m->Ls[4][0] = m->Ls[5][0] = link;  // joint 4 and the tip, one link along
  return m;
}

// Types the keys (after "H<n>", the resized model when given), grasps with every
// finger and compares each finger's result with its independent first touch.
void Judge(const std::string& keys, Verdict& v, double link = 0.0, double radius = 0.0) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  HandLayout layout(keys[1] - '0');
  rgtest::Press(s, keys.substr(0, 2));  // "H<n>"
  if (link > 0.0) {
    rg::SelectHandModel(s, Resized(keys[1] - '0', link, radius));
    layout = layout.Sized(link, radius, rg::catalogue::rPalm);
  }
  rgtest::Press(s, keys.substr(2));
  if (s.sgnCALGChk == 'C' || s.sgnGC == 'C') {  // the work already meets a finger
    ++v.skipped;
    return;
  }
  rgtest::Press(s, "G" + std::string(s.nF(), 's'));
  const Cylinder w{{s.rwG[0], s.rwG[1], s.rwG[2]}, FromC(s.EwG)};
  for (int kf = 1; kf <= s.nF(); ++kf) {
    ++v.fingers;
    const Touch t = FirstTouch(layout, s.WORK1 == '2', kf, s.qq0[kf], w);
    const bool got = s.sgnGRASPM[kf] == 'Y';
    ++v.types[got ? std::string(s.GGTYPE[kf], 2) : "NN"];
    char what[200] = "";
    if (t.kind == Touch::FromStart || t.kind == Touch::Base) {
      ++v.skipped;
      continue;
    }
    if (t.kind == Touch::None) {
      if (got) {
        ++v.phantom;
        std::snprintf(what, sizeof what, "finger %d: contact %.2s at %.4f, no touch at all", kf,
                      s.GGTYPE[kf], s.qf[kf][4]);
      }
    } else {
      ++v.found;
      if (!got) {
        ++v.missed;
        std::snprintf(what, sizeof what, "finger %d: no contact, first touch at %.4f (t %.2f)",
                      kf, t.q, t.t);
      } else if (std::fabs(s.qf[kf][4] - t.q) > 1e-3) {
        ++v.wrongAngle;
        std::snprintf(what, sizeof what, "finger %d: %.2s at %.4f, first touch at %.4f (t %.2f)",
                      kf, s.GGTYPE[kf], s.qf[kf][4], t.q, t.t);
      }
    }
    if (*what && v.firstFault.empty()) v.firstFault = keys + ": " + what;
  }
}

std::string Rep(char k, int n) { return std::string(n, k); }

// Scenes of new users: the work moved and turned in mode 'M', joint angles edited.
TEST(GraspFirstTouch, SceneTableEveryFingerAtItsFirstTouch) {
  const std::string scenes[] = {
      // a link-rim Newton that fails from its single start
      "H4M" + Rep('X', 27) + Rep('Y', 6) + Rep('z', 10) + Rep('r', 53),
      // a link-rim Newton that lands on a wrong branch whose contact cuts into the work
      "H4J22mmM" + Rep('X', 30) + "Y" + Rep('Z', 8) + Rep('P', 12) + Rep('r', 42),
      // a side contact whose work axis crosses the link plane behind the joint
      "H2M" + Rep('X', 11) + Rep('Y', 5) + Rep('Z', 4) + Rep('p', 27) + Rep('Q', 9),
      // the default scenes of every hand
      "H1", "H2", "H3", "H4",
  };
  for (const std::string& keys : scenes) {
    Verdict v;
    Judge(keys, v);
    EXPECT_EQ(v.missed + v.wrongAngle + v.phantom, 0) << v.firstFault;
    EXPECT_EQ(v.skipped, 0) << keys;
  }
}

// Random scenes of all hands, with the catalogue's sizes (link 0) or resized links.
Verdict RandomScenes(int scenes, double link, double radius) {
  std::mt19937 rng(20261208);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n)(rng); };
  Verdict v;
  for (int scene = 0; scene < scenes; ++scene) {
    std::string keys = "H" + std::to_string(1 + pick(3));
    if (pick(3) == 0) keys += "J" + std::to_string(1 + pick(1)) + std::to_string(1 + pick(3)) + Rep(pick(1) ? 'p' : 'm', pick(6));
    keys += "M";
    const char* moves = "xXyYzZpPqQrR";
    for (int k = 0; k < 12; ++k) keys += Rep(moves[k], pick(k < 6 ? 12 : 30));
    Judge(keys, v, link, radius);
  }
  return v;
}

TEST(GraspFirstTouch, RandomScenesOfAllHandsMissNoContact) {
  const Verdict v = RandomScenes(300, 0.0, 0.0);
  std::printf("[ grasp    ] %d fingers: %d touch the work, %d missed, %d at a wrong angle, "
              "%d phantom, %d skipped\n",
              v.fingers, v.found, v.missed, v.wrongAngle, v.phantom, v.skipped);
  for (const auto& [type, n] : v.types) std::printf("[ grasp    ]   %s %d\n", type.c_str(), n);
  EXPECT_GT(v.found, 200);
  EXPECT_EQ(v.missed, 0) << v.firstFault;
  EXPECT_EQ(v.wrongAngle, 0) << v.firstFault;
  EXPECT_EQ(v.phantom, 0) << v.firstFault;
}

// Hands from files may have other sizes: longer, thinner and thicker links.
TEST(GraspFirstTouch, RandomScenesOfResizedHandsMissNoContact) {
  const struct {
    double link, radius;
  } sizes[] = {{100.0, 12.0}, {80.0, 8.0}, {80.0, 16.0}, {60.0, 10.0}};
  for (const auto& z : sizes) {
    const Verdict v = RandomScenes(150, z.link, z.radius);
    SCOPED_TRACE(testing::Message() << "link " << z.link << " radius " << z.radius << ": "
                                    << v.found << " touches, " << v.missed << " missed, "
                                    << v.wrongAngle << " wrong angle, " << v.phantom << " phantom");
    EXPECT_GT(v.found, 80);
    EXPECT_EQ(v.missed, 0) << v.firstFault;
    EXPECT_EQ(v.wrongAngle, 0) << v.firstFault;
    EXPECT_EQ(v.phantom, 0) << v.firstFault;
  }
}

}  // namespace
