// Finger gaits as a user works with them: a finger lifted off the grasped work while
// the others hold it (keys 1..nF of mode A), the work rolled on without it, the
// finger placed again. The hold is judged by the quality of the contacts that stay;
// the rolling before, between and after the gaits by the whole-run checks with the
// tests' own geometry, from the record alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/export.h"
#include "app/hand_choice.h"
#include "app/html_export.h"
#include "app/overlay_text.h"
#include "app/window_view.h"
#include "app/script.h"
#include "cylinder_step_check.h"
#include "grasp/gait.h"
#include "manip/manip.h"
#include "own_geometry.h"
#include "record/grasp_quality.h"
#include "record/report.h"
#include "record/store.h"
#include "record_view.h"
#include "sphere_step_check.h"
#include "support.h"

namespace {

using namespace rg;

// The tests' four-finger hand (tests/hands/gait-4finger.urdf): built-in hand 1's finger
// at -22, 22, 158 and 202 degrees on the palm's rim.
const own::HandLayout kGaitHand({-22.0 * M_PI / 180.0, 22.0 * M_PI / 180.0, 158.0 * M_PI / 180.0,
                                 202.0 * M_PI / 180.0},
                                false, false);

// A hand grasping a work: built-in hand 1..4, or 0 for the gait hand's file.
struct Scene {
  int hand;
  char work;  // '1' sphere, '2' cylinder
};

std::string Digit(int k) { return std::string(1, static_cast<char>('0' + k)); }

// The scene grasped with every finger, in mode A.
std::unique_ptr<Sim> Grasped(const Scene& sc) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  if (sc.hand == 0) {
    std::string why;
    EXPECT_TRUE(UseHandFile(s, rgtest::SourcePath("tests/hands/gait-4finger.urdf").string(), &why))
        << why;
  } else {
    rgtest::Press(s, "H" + Digit(sc.hand));
  }
  rgtest::Press(s, std::string("W") + sc.work + "G" + std::string(s.nF(), 's') + "A");
  EXPECT_EQ(s.sgnCALGEnd, 'Y');
  return sp;
}

// What a refused gait must leave as it was: the contact set and the finger's history.
struct Kept {
  explicit Kept(const Sim& s) : r(s.roll()) {}
  void Expect(const Sim& s) const {
    EXPECT_EQ(std::memcmp(r.qqa2, s.qqa2, sizeof r.qqa2), 0) << "joint angles changed";
    EXPECT_EQ(std::memcmp(r.ManipCPNTA2, s.ManipCPNTA2, sizeof r.ManipCPNTA2), 0);
    EXPECT_EQ(std::memcmp(r.lifted, s.lifted, sizeof r.lifted), 0) << "the contact set changed";
    EXPECT_EQ(std::memcmp(r.GGTYPE, s.GGTYPE, sizeof r.GGTYPE), 0);
    EXPECT_EQ(r.nRowGaits, s.nRowGaits);
    EXPECT_EQ(r.cntManip0, s.cntManip0);
  }
  RollState r;
};

// ---- the hold: a finger may leave only while the others hold the work

struct HoldCase {
  Scene scene;
  int finger;
  char verdict;  // 'Y' lifted, 'H' refused: the rest would not hold
};

class LiftHold : public ::testing::TestWithParam<HoldCase> {};

TEST_P(LiftHold, AFingerLeavesOnlyWhileTheOthersHoldTheWork) {
  const HoldCase c = GetParam();
  auto sp = Grasped(c.scene);
  Sim& s = *sp;
  const Kept before(s);
  rgtest::Capture out(s);
  rgtest::Press(s, Digit(c.finger));
  const GaitEvent g = s.gait;
  EXPECT_EQ(g.kind, 'L');
  EXPECT_EQ(g.finger, c.finger);
  ASSERT_EQ(g.verdict, c.verdict) << out.text();
  const std::string f = "finger " + std::to_string(c.finger);
  if (c.verdict == 'H') {
    // refused with the finger, the reason and the rest's epsilon; nothing else changed
    EXPECT_EQ(g.epsilon, 0.0);
    EXPECT_NE(out.text().find("Lift of " + f + " refused"), std::string::npos) << out.text();
    EXPECT_NE(out.text().find("would not hold the work (no force closure, epsilon 0.0000)"),
              std::string::npos)
        << out.text();
    before.Expect(s);
    return;
  }
  // lifted: the rest hold with the epsilon the lift named, which is now the grasp's
  EXPECT_TRUE(s.lifted[c.finger]);
  EXPECT_GT(g.epsilon, 0.0);
  const QualityResult now = GraspQualityNow(s, QualityMeasures::ClosureAndEpsilon);
  EXPECT_TRUE(now.force_closure);
  EXPECT_EQ(now.epsilon, g.epsilon);
  EXPECT_NE(out.text().find("Finger " + std::to_string(c.finger) + " lifted"), std::string::npos);
  // the finger stands off the work (own geometry), the others where they were
  const bool cyl = c.scene.work == '2';
  const own::HandLayout layout = c.scene.hand == 0 ? kGaitHand : own::HandLayout(c.scene.hand);
  const own::Links L = own::FingerLinks(layout, cyl, c.finger, s.qqa2[1][c.finger]);
  const own::Cylinder w{{s.ManipRW2[1][0], s.ManipRW2[1][1], s.ManipRW2[1][2]},
                        own::FromC(s.ManipEW2[1])};
  if (cyl) {
    EXPECT_GT(own::NearestOnSegment(w, L.j4, L.tip).dist, layout.aFin);
  } else {
    EXPECT_EQ(own::Penetration(own::Sphere{w.rw, w.Ew}, L.j4, L.tip), 0.0);
    EXPECT_GT(own::SegmentToPoint(L.j4, L.tip, w.rw).dist, layout.aFin + catalogue::aSph);
  }
  for (int k = 1; k <= s.nF(); ++k) {
    if (k == c.finger) continue;
    EXPECT_EQ(std::memcmp(before.r.qqa2[1][k], s.qqa2[1][k], sizeof s.qqa2[1][k]), 0);
  }
}

// Hands 2 and 4 hold the cylinder with fingers 1 + 2 and 1 + 3 but never with 2 + 3;
// hand 2 holds the sphere with no pair; the gait hand with any three of its four.
INSTANTIATE_TEST_SUITE_P(
    BuiltInAndGaitHands, LiftHold,
    ::testing::Values(HoldCase{{2, '2'}, 1, 'H'}, HoldCase{{2, '2'}, 2, 'Y'},
                      HoldCase{{2, '2'}, 3, 'Y'}, HoldCase{{4, '2'}, 1, 'H'},
                      HoldCase{{4, '2'}, 2, 'Y'}, HoldCase{{4, '2'}, 3, 'Y'},
                      HoldCase{{2, '1'}, 2, 'H'}, HoldCase{{4, '1'}, 3, 'Y'},
                      HoldCase{{0, '2'}, 1, 'Y'}, HoldCase{{0, '2'}, 4, 'Y'},
                      HoldCase{{0, '1'}, 2, 'Y'}, HoldCase{{1, '2'}, 1, 'H'}),
    [](const testing::TestParamInfo<HoldCase>& p) {
      return std::string(p.param.scene.hand == 0 ? "GaitHand" : "Hand" + Digit(p.param.scene.hand)) +
             (p.param.scene.work == '1' ? "Sphere" : "Cylinder") + "Finger" +
             Digit(p.param.finger);
    });

// ---- refusals: each names its reason and changes nothing but the last gait

// A pre-shape: finger kf's latest angles with joint j turned by d (rad).
struct Turn {
  int j = 0;
  double d = 0.0;
};

struct RefusalCase {
  const char* name;
  char kind;              // 'L' lift, 'P' place (of the finger lifted first)
  Turn preshape;          // j 0: the default pre-shape
  const char* before;     // keys typed after the grasp, before the gait
  char verdict;
  const char* says;       // in the console line
};

class GaitRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(GaitRefusal, NamesItsReasonAndChangesNothing) {
  const RefusalCase c = GetParam();
  auto sp = Grasped({2, '2'});
  Sim& s = *sp;
  const int kf = 2;
  if (c.kind == 'P') {
    ASSERT_EQ(LiftFinger(s, kf).verdict, 'Y');
  }
  rgtest::Press(s, c.before);
  if (std::string(c.name) == "Stopped") s.sgnMANIP = 'D';  // a run that has stopped
  double q[kSlots];
  for (int j = 0; j < kSlots; ++j) q[j] = s.qqa2[1][kf][j];
  q[c.preshape.j] += c.preshape.d;
  const double* pre = c.preshape.j > 0 ? q : nullptr;
  const Kept before(s);
  const GaitEvent g = c.kind == 'L' ? LiftFinger(s, kf, pre) : PlaceFinger(s, kf, pre);
  EXPECT_EQ(g.verdict, c.verdict);
  const std::string line = GaitMessage(s, g);
  EXPECT_NE(line.find(c.says), std::string::npos) << line;
  EXPECT_NE(line.find("finger 2 refused"), std::string::npos) << line;
  before.Expect(s);
  if (c.kind == 'P' && c.verdict != 'T') {
    EXPECT_TRUE(s.lifted[kf]) << "a refused place leaves the finger lifted";
  }
  EXPECT_EQ(s.gait.verdict, c.verdict);  // the state keeps the refusal for the outputs
}

INSTANTIATE_TEST_SUITE_P(
    Hand2Cylinder, GaitRefusal,
    ::testing::Values(
        RefusalCase{"Stopped", 'L', {}, "", 'S', "the manipulation has stopped (status D)"},
        RefusalCase{"LiftedAlready", 'L', {}, "2", 'T', "finger 2 is lifted already"},
        RefusalCase{"PlacedAlready", 'P', {}, "2", 'T', "finger 2 touches the work"},
        // closing the last joint further drives the link into the work
        RefusalCase{"LiftIntoTheWork", 'L', {4, 0.3}, "", 'C', "link J4-tip would meet the work"},
        // the finger rolled a radian about its own axis sweeps past the work
        RefusalCase{"NoContact", 'P', {1, 1.0}, "", 'N', "without touching the work; it stays lifted"},
        // the proximal link bent back: the fingertip reaches the rim first
        RefusalCase{"TipOnRim", 'P', {3, -0.5}, "", 'R', "its first touch is TC"},
        RefusalCase{"LinkOnSide", 'P', {1, -1.0}, "", 'R', "its first touch is LL"},
        RefusalCase{"PlaceIntoTheWork", 'P', {2, 0.5}, "", 'C', "would meet the work on the way"}),
    [](const testing::TestParamInfo<RefusalCase>& p) { return std::string(p.param.name); });

TEST(GaitRefusal, NeedsACompleteGrasp) {
  auto sp = rgtest::StartedSim();
  Sim& s = *sp;
  rgtest::Capture out(s);
  rgtest::Press(s, "H2GsA2");  // one finger of three grasped
  EXPECT_EQ(s.gait.verdict, 'G');
  EXPECT_FALSE(s.lifted[2]);
  EXPECT_NE(out.text().find("Lift of finger 2 refused: the grasp is not complete"), std::string::npos)
      << out.text();
}

// A stored row's gait column holds the gaits since the row before; a ninth waits for
// the next stored row.
TEST(GaitRefusal, AFullGaitColumnWaitsForTheNextStoredRow) {
  auto sp = Grasped({2, '2'});
  Sim& s = *sp;
  rgtest::Press(s, std::string(kMaxRowGaits, '2'));  // lift, place, lift, ... place
  EXPECT_FALSE(s.lifted[2]);
  rgtest::Press(s, "2");
  EXPECT_EQ(s.gait.verdict, 'F');
  EXPECT_FALSE(s.lifted[2]);
  rgtest::Press(s, "sssss2");  // step 5 stores row 1 with the eight
  EXPECT_EQ(s.gait.verdict, 'Y');
  EXPECT_EQ(RowGaitText(s, 1), "lift 2; place 2; lift 2; place 2; lift 2; place 2; lift 2; place 2");
}

// A planned path was planned for the contact set it started from: a refused gait
// keeps it, a gait done drops it.
TEST(GaitRefusal, OnlyAGaitDoneDropsThePlannedPath) {
  auto sp = Grasped({2, '2'});
  Sim& s = *sp;
  s.plan.path.assign(3, StepCommand{});
  rgtest::Press(s, "1");  // refused: fingers 2 and 3 would not hold
  EXPECT_EQ(s.plan.path.size(), 3u);
  rgtest::Press(s, "2");
  EXPECT_TRUE(s.plan.path.empty());
}

// ---- the window's text: the keys, the last gait, who is lifted

// The overlay's text at (5, y) (mode panel rows, information panel lines), "" for none.
std::string LineAt(const OverlayText& o, float y) {
  for (int k = 0; k < o.n; ++k)
    if (o.line[k].x == 5.0f && o.line[k].y == y) return o.line[k].text;
  return "";
}

bool HasLineEndingIn(const OverlayText& o, const std::string& end) {
  for (int k = 0; k < o.n; ++k) {
    const std::string l = o.line[k].text;
    if (l.size() >= end.size() && l.compare(l.size() - end.size(), end.size(), end) == 0) return true;
  }
  return false;
}

TEST(GaitPanel, NamesTheKeysTheLastGaitAndTheLiftedFinger) {
  auto sp = Grasped({2, '2'});
  Sim& s = *sp;
  OverlayText o;
  OverlayLines(s, o);
  EXPECT_EQ(LineAt(o, PanelRowY(3)), "");
  EXPECT_EQ(LineAt(o, PanelRowY(4)), "Hit 1-3 to lift or place a finger\n");
  rgtest::Press(s, "2");
  OverlayLines(s, o);
  EXPECT_EQ(LineAt(o, PanelRowY(3)), "Finger 2 lifted\n");
  WindowView v;
  v.info = true;
  WindowLines(s, v, o);
  EXPECT_TRUE(HasLineEndingIn(o, " rad  LC lifted\n")) << "the information panel marks finger 2";
  rgtest::Press(s, "1");
  OverlayLines(s, o);
  EXPECT_EQ(LineAt(o, PanelRowY(3)), "Lift 1 refused: rest would not hold\n");
  // a two-finger hand can lift neither finger: no keys offered
  auto two = Grasped({1, '2'});
  OverlayLines(*two, o);
  EXPECT_EQ(LineAt(o, PanelRowY(4)), "");
}

// ---- the record and the state: who touches, and the gaits of each stored row

std::vector<std::string> CsvLines(const std::string& csv) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t nl; (nl = csv.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(csv.substr(at, nl - at));
  return lines;
}

std::string LastField(const std::string& line) { return line.substr(line.rfind(',') + 1); }

TEST(GaitRecord, RowsStateAndPageSayWhoTouchesAndWhatChanged) {
  KeyDriver d;
  Sim& s = d.sim();
  for (char k : std::string("H2GsssA2")) d.Press(static_cast<unsigned char>(k));
  // the state after the lift: finger 2 off the work, the event in full
  nlohmann::json st = d.State();
  EXPECT_EQ(st["fingers"][0]["touching"], true);
  EXPECT_EQ(st["fingers"][1]["touching"], false);
  EXPECT_EQ(st["fingers"][2]["touching"], true);
  EXPECT_EQ(st["gait"]["kind"], "lift");
  EXPECT_EQ(st["gait"]["finger"], 2);
  EXPECT_EQ(st["gait"]["done"], true);
  EXPECT_EQ(st["gait"]["verdict"], "Y");
  EXPECT_EQ(st["gait"]["epsilon"].get<double>(), s.gait.epsilon);
  EXPECT_EQ(st["gait"]["message"], d.console().substr(1));  // the console line, as printed
  // fingers 1 and 3 hold: the state's epsilon (from Qhull's whole hull, with the volume)
  // is the gait's (from the hull's growth) to their rounding, as quality_reference.h allows
  EXPECT_NEAR(st["quality"]["epsilon"].get<double>(), s.gait.epsilon, 1e-13 * s.gait.epsilon);
  double pre[kSlots];
  std::memcpy(pre, s.qqa2[1][2], sizeof pre);

  for (char k : std::string("sssss2")) d.Press(static_cast<unsigned char>(k));
  st = d.State();
  EXPECT_EQ(st["gait"]["kind"], "place");
  EXPECT_EQ(st["gait"]["type"], "LC");
  for (const auto& f : st["fingers"]) EXPECT_EQ(f["touching"], true);
  for (char k : std::string("sssss1")) d.Press(static_cast<unsigned char>(k));  // refused: no hold
  EXPECT_EQ(d.State()["gait"]["done"], false);
  EXPECT_EQ(d.State()["gait"]["verdict"], "H");
  ASSERT_EQ(RecordLength(s), 3);

  // the stored rows: finger 2 at its pre-shape in row 1, back on the work in row 2
  EXPECT_EQ(std::memcmp(s.ManipQ[1][2], pre, sizeof(double) * 5), 0);
  EXPECT_FALSE(TouchingAtRow(s, 1, 2));
  EXPECT_TRUE(TouchingAtRow(s, 2, 2));
  const std::vector<std::string> csv = CsvLines(TrajectoryCsv(s));
  ASSERT_EQ(csv.size(), 4u);
  EXPECT_EQ(LastField(csv[0]), "gait");
  EXPECT_EQ(LastField(csv[1]), "\"\"");
  EXPECT_EQ(LastField(csv[2]), "\"lift 2\"");
  EXPECT_EQ(LastField(csv[3]), "\"place 2\"");  // a refusal is no gait of the row
  // every earlier column keeps its place: the commanded velocity still ends the numbers
  const TrajectoryTable table = Trajectory(s);
  EXPECT_EQ(table.names.back(), "cmd_wz");

  // the quality of row 1 judges fingers 1 and 3 only, row 2 all three
  auto rowQuality = [&s](int m, std::initializer_list<int> fingers) {
    QualityContact c[3];
    int n = 0;
    for (int kf : fingers) {
      VecCopy(s.ManipCPNTA[m][kf], c[n].p);
      VecNeg(s.ManipNWA[m][kf], c[n].n);
      ++n;
    }
    double centre[3];
    for (int i = 0; i < 3; ++i) centre[i] = s.ManipRW[m][i] + 0.5 * catalogue::hCyl * s.ManipEW[m][i][2];
    return GraspQuality(c, n, centre, catalogue::aCyl, s.qualitySettings).epsilon;
  };
  EXPECT_EQ(GraspQualityOfRow(s, 1).epsilon, rowQuality(1, {1, 3}));
  EXPECT_NE(GraspQualityOfRow(s, 1).epsilon, rowQuality(1, {1, 2, 3}));
  EXPECT_EQ(GraspQualityOfRow(s, 2).epsilon, rowQuality(2, {1, 2, 3}));

  // the web page's data: the gait column and each finger's touching at each row
  const nlohmann::json page = ReplayData(s);
  EXPECT_EQ(page["gait"], nlohmann::json({"", "lift 2", "place 2"}));
  EXPECT_EQ(page["geometry"][1][1]["touching"], false);
  EXPECT_EQ(page["geometry"][2][1]["touching"], true);
}

// ---- whole runs with gaits, every rolling step judged from the record

struct GaitRun {
  const char* name;
  Scene scene;
  const char* keys;  // after the grasp, in mode A: 's' steps and finger digits
};

class GaitWholeRun : public ::testing::TestWithParam<GaitRun> {};

// Steps and gaits by the keys: every step judged by the whole-run checks (the lifted
// fingers standing still and clear of the work), every gait done, and a placed
// contact on the work's surface and on the finger's by the tests' own geometry.
template <class Work, class Result, class StepCheck, class OnBoth>
void RunWithGaits(Sim& s, const own::HandLayout& hand, const std::string& keys, StepCheck check,
                  OnBoth onBoth) {
  Result r;
  int gaits = 0;
  for (size_t i = 0; i < keys.size() && !testing::Test::HasFailure(); ++i) {
    SCOPED_TRACE(testing::Message() << "key " << i << " '" << keys[i] << "' after step "
                                    << s.cntManip0);
    if (keys[i] != 's') {
      const int kf = keys[i] - '0';
      const bool wasLifted = s.lifted[kf];
      rgtest::Press(s, std::string(1, keys[i]));
      ASSERT_EQ(s.gait.verdict, 'Y') << GaitMessage(s, s.gait);
      ASSERT_EQ(s.lifted[kf], !wasLifted) << "the contact set changes at the gait";
      ++gaits;
      if (wasLifted) onBoth(s, kf, own::TakeRecord<Work>(s));
      continue;
    }
    own::RecordState<Work> a, b;
    ASSERT_TRUE(own::RecordedStep(s, a, b, r)) << "status " << s.sgnMANIP;
    ASSERT_EQ(s.sgnMANIP, 'Y');
    check(s, hand, a, b, s.vw, s.omww, r, s.lifted);
    for (int kf = 1; kf <= s.nF(); ++kf) {  // the solver's own account, a placed finger's too
      if (s.lifted[kf]) continue;
      EXPECT_LT(s.ManipRootErr[kf], kRootTol) << "finger " << kf;
    }
  }
  EXPECT_GE(gaits, 4);
  std::printf("[ gaits    ] %d gaits, %d steps (%d reduced); worst spin %.2g rad, slip %.2g\n",
              gaits, r.steps, r.reduced, r.worstSpin, r.worstSlip);
}

TEST_P(GaitWholeRun, RollsWithoutSlipOrSpinAcrossItsGaits) {
  const GaitRun c = GetParam();
  auto sp = Grasped(c.scene);
  Sim& s = *sp;
  const own::HandLayout hand = c.scene.hand == 0 ? kGaitHand : own::HandLayout(c.scene.hand);
  if (c.scene.work == '2') {
    RunWithGaits<own::Cylinder, own::RunResult>(
        s, hand, c.keys, own::CheckCylinderStepLifted,
        [&hand](const Sim& sim, int kf, const own::RecordState<own::Cylinder>& p) {
          const own::ContactView v =
              own::View(own::FingerLinks(hand, true, kf, p.q[kf]), p.w, sim.sgnUML[kf], p.RC[kf]);
          EXPECT_NEAR(v.rimR, catalogue::aCyl, 1e-5);
          EXPECT_NEAR(v.rimH, 0.0, 1e-5);
          EXPECT_NEAR(v.axisR, hand.aFin, 1e-5);
          EXPECT_GE(v.L, 0.0);
          EXPECT_LE(v.L, hand.lFin);
        });
  } else {
    RunWithGaits<own::Sphere, own::sphere::RunResult>(
        s, hand, c.keys, own::sphere::CheckSphereStepLifted,
        [&hand](const Sim& sim, int kf, const own::RecordState<own::Sphere>& p) {
          const bool tip = sim.GGTYPE[kf][0] == 'T';
          const own::sphere::ContactView v =
              own::sphere::View(own::FingerLinks(hand, false, kf, p.q[kf]), p.w, tip, p.RC[kf]);
          EXPECT_NEAR(v.onSphere, catalogue::aSph, 1e-5);
          EXPECT_NEAR(v.onFinger, hand.aFin, 1e-5);
        });
  }
}

INSTANTIATE_TEST_SUITE_P(
    LiftRollPlaceRoll, GaitWholeRun,
    ::testing::Values(
        GaitRun{"GaitHandCylinder", {0, '2'},
                "ssssssssss" "2" "sssssssssssssss" "2" "sssssssssssssss" "4" "ssssssssss" "4"
                "ssssssssss" "1" "sssss" "3" "sssss"},
        GaitRun{"GaitHandSphere", {0, '1'},
                "ssssssssss" "3" "sssssssssssssss" "3" "sssssssssssssss" "2" "ssssssssss" "2"
                "ssssssssss"},
        GaitRun{"Hand2Cylinder", {2, '2'},
                "ssssssssss" "3" "ssssssssss" "3" "ssssssssss" "2" "ssssssssss" "2" "ssssssssss"}),
    [](const testing::TestParamInfo<GaitRun>& p) { return std::string(p.param.name); });

// A lifted finger does not roll, but the work may run into it: the step then stops
// as at any collision, naming that finger.
TEST(GaitWholeRun, TheWorkRunningIntoALiftedFingerStopsTheStep) {
  auto sp = Grasped({0, '2'});
  Sim& s = *sp;
  const int kf = 2;
  double q[kSlots];
  for (int j = 0; j < kSlots; ++j) q[j] = s.qqa2[1][kf][j];
  q[4] -= 0.02;  // just off the rim
  double towards[3];  // from the work to the finger's contact
  VecCopy(s.ManipNWA2[1][kf], towards);
  ASSERT_EQ(LiftFinger(s, kf, q).verdict, 'Y') << GaitMessage(s, s.gait);
  VecScale(4.0, towards, s.vw);  // 0.2 length units a step towards the lifted finger
  VecSet(0, 0, 0, s.omww);
  int steps = 0;
  while (s.sgnMANIP == 'Y' && steps < 40) {
    rgtest::Press(s, "s");
    ++steps;
    EXPECT_EQ(std::memcmp(s.qqa2[1][kf], q, sizeof(double) * 5), 0) << "the lifted finger moved";
  }
  EXPECT_EQ(s.sgnMANIP, 'C') << "after " << steps << " steps";
  EXPECT_EQ(s.COLLkf, kf);
  EXPECT_EQ(s.sgnC[kf], 'L');
  // the work does reach into the finger at the stopped step (own geometry)
  const own::Links L = own::FingerLinks(kGaitHand, true, kf, s.qqa2[1][kf]);
  const own::Cylinder w{{s.ManipRW2[1][0], s.ManipRW2[1][1], s.ManipRW2[1][2]},
                        own::FromC(s.ManipEW2[1])};
  EXPECT_GT(own::Penetration(w, L.j4, L.tip, true), 1e-4);
}

}  // namespace

// ---- a planned path with gaits

// The cylinder turned a quarter about its own axis, the mid-point back: rolling alone
// stops near 18 degrees (docs' goal table), so the planner lifts and places fingers
// where the straight command stalls. The path, followed through the keys of mode C,
// rolls every step by the whole-run checks, changes the contact set at each of its
// gaits, and ends within the goal's tolerances by the tests' own measure.
TEST(GaitPlan, TheGaitHandTurnsTheCylinderAQuarterAboutItsOwnAxis) {
  auto sp = Grasped({0, '2'});
  Sim& s = *sp;
  const own::M3 E0 = own::FromC(s.ManipEW[0]);
  const own::V3 mid0 = own::Add({s.ManipRW[0][0], s.ManipRW[0][1], s.ManipRW[0][2]},
                                own::Scale(0.5 * catalogue::hCyl, own::Col(E0, 2)));
  s.plan.goal = GoalPose{0, 0, 90, 0, 0, 0};
  rgtest::Press(s, "Bs");
  const PlanOutcome o = s.plan.outcome;
  ASSERT_TRUE(o.reached) << o.reason;
  EXPECT_EQ(o.how, "gaits");
  ASSERT_GT(o.gaits, 0);
  rgtest::Press(s, "C");
  own::RunResult r;
  int gaits = 0;
  const std::vector<StepCommand> path = s.plan.path;
  for (size_t i = 0; i < path.size() && !testing::Test::HasFailure(); ++i) {
    SCOPED_TRACE(testing::Message() << "path element " << i << " after step " << s.cntManip0);
    const StepCommand& c = path[i];
    if (IsGait(c)) {
      const bool was = s.lifted[c.finger];
      rgtest::Press(s, "s");
      ASSERT_EQ(s.gait.verdict, 'Y') << GaitMessage(s, s.gait);
      ASSERT_EQ(s.lifted[c.finger], !was);
      ++gaits;
      continue;
    }
    own::RecordState<own::Cylinder> a, b;
    ASSERT_TRUE(own::RecordedStep(s, a, b, r)) << "status " << s.sgnMANIP;
    ASSERT_EQ(s.sgnMANIP, 'Y');
    own::CheckCylinderStep(s, kGaitHand, a, b, c.vw, c.omww, r);
  }
  EXPECT_EQ(gaits, o.gaits);
  EXPECT_EQ(r.steps, o.steps);
  const own::M3 want = own::Mul(E0, own::RotZ(90.0 * M_PI / 180.0));
  const own::M3 now = own::FromC(s.ManipEW2[1]);
  EXPECT_LE(own::Norm(own::RotationVector(own::Mul(own::T(want), now))), 0.5 * M_PI / 180.0);
  const own::V3 mid = own::Add({s.ManipRW2[1][0], s.ManipRW2[1][1], s.ManipRW2[1][2]},
                               own::Scale(0.5 * catalogue::hCyl, own::Col(now, 2)));
  EXPECT_LE(own::Norm(own::Sub(mid, mid0)), 1.0);
}
