// The window's own panels and decisions, from the state alone: the information
// panel, the play line, the console-wait banner, the help switch, what a frame
// draws, when play can step, the mouse camera's arithmetic, and the refusal of a
// grasp while the work cuts into the palm.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/keyboard.h"
#include "app/overlay_text.h"
#include "app/traces.h"
#include "app/window_view.h"
#include "numerics/vecmat.h"
#include "support.h"
#include "work/work.h"

using namespace rg;

namespace {

std::string Lines(const Sim& s, const WindowView& v) {
  OverlayText o;
  WindowLines(s, v, o);
  std::string all;
  for (int i = 0; i < o.n; ++i) all += o.line[i].text;
  return all;
}

bool Has(const std::string& all, const std::string& text) { return all.find(text) != std::string::npos; }

// The work's angles (degrees) as the information panel prints them; false when
// the panel has no angle line.
bool ShownAngles(const Sim& s, const WindowView& v, double deg[3]) {
  const std::string all = Lines(s, v);
  const size_t at = all.find("al=");
  return at != std::string::npos &&
         std::sscanf(all.c_str() + at, "al=%lf bet=%lf qam=%lf deg", &deg[0], &deg[1], &deg[2]) == 3;
}

// The largest difference between frame E and the frame of the printed angles.
double FrameError(const double deg[3], const double E[3][3]) {
  double I[3][3], F[3][3];
  MatIdentity(I);
  const double k = M_PI / 180.0;
  WorkOrien1(deg[0] * k, deg[1] * k, deg[2] * k, I, F);
  double err = 0.0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) err = std::max(err, std::fabs(F[i][j] - E[i][j]));
  return err;
}

}  // namespace

TEST(WindowView, HelpTableShownUnlessHidden) {
  auto s = rgtest::StartedSim();
  WindowView v;
  EXPECT_TRUE(Has(Lines(*s, v), HelpText[0]));
  EXPECT_TRUE(Has(Lines(*s, v), HelpText[10]));
  v.help = false;
  EXPECT_FALSE(Has(Lines(*s, v), HelpText[0]));
  EXPECT_TRUE(Has(Lines(*s, v), "Execution Mode : G\n"));  // the panel stays
}

TEST(WindowView, InformationPanelShowsPoseAnglesTypesStepAndLegend) {
  auto s = rgtest::StartedSim();
  WindowView v;
  v.info = true;
  EXPECT_TRUE(Has(Lines(*s, v), "Work rw=(    0.0,  140.0,  -40.0)\n"));
  EXPECT_TRUE(Has(Lines(*s, v), "al=  45.00  bet=   0.00  qam=   0.00 deg\n"));
  EXPECT_TRUE(Has(Lines(*s, v), ") rad  --\n"));  // no contact type before the grasp
  EXPECT_TRUE(Has(Lines(*s, v), "LC = link on rim"));
  EXPECT_TRUE(Has(Lines(*s, v), "Step 0 (stored row cntM=0)  time=0.0000\n"));
  // no grasp yet: nothing holds the work
  EXPECT_TRUE(Has(Lines(*s, v), "Quality (soft, mu 0.5): no force closure\n"));
  rgtest::Press(*s, "ssA" + std::string(10, 's'));
  const std::string all = Lines(*s, v);
  EXPECT_TRUE(Has(all, "F1 q=(")) << all;
  EXPECT_TRUE(Has(all, "F2 q=(")) << all;
  EXPECT_TRUE(Has(all, ") rad  LC\n")) << all;
  // the step and the stored rows of the mode panel's cntM, and the time of ten
  // steps of 0.05 (counted once per step, not once per finger)
  EXPECT_TRUE(Has(all, "Step 10 (stored row cntM=2)  time=0.5000\n")) << all;
  // the two soft fingers hold it
  EXPECT_TRUE(Has(all, "Quality (soft, mu 0.5): force closure, epsilon 0.09")) << all;
  // the angles shown are those of the drawn pose
  char f1[100];
  std::snprintf(f1, sizeof f1, "F1 q=(%6.3f %6.3f %6.3f %6.3f)", s->qqa2[1][1][1], s->qqa2[1][1][2],
                s->qqa2[1][1][3], s->qqa2[1][1][4]);
  EXPECT_TRUE(Has(all, f1)) << all;
  // the replay shows the replayed row's step, time and quality: the grasp's at row 0
  rgtest::Press(*s, "D");
  EXPECT_TRUE(Has(Lines(*s, v), "Replayed row cntR=0: step 0  time=0.0000\n"));
  EXPECT_TRUE(Has(Lines(*s, v), "force closure, epsilon 0.0933\n")) << Lines(*s, v);
  rgtest::Press(*s, "s");
  EXPECT_TRUE(Has(Lines(*s, v), "Replayed row cntR=1: step 5  time=0.2500\n"));
  v.info = false;
  EXPECT_FALSE(Has(Lines(*s, v), "F1 q=("));
}

// After the default run the panel shows the work as it is drawn, turned by the
// rolling about its own axis, not the pose it was set to; in the replay, the
// replayed row's pose.
TEST(WindowView, InformationPanelShowsTheDrawnWorksTurn) {
  auto s = rgtest::StartedSim();
  WindowView v;
  v.info = true;
  rgtest::Press(*s, "GssA" + std::string(400, 's'));  // rolls until its deadlock
  ASSERT_EQ(s->sgnMANIP, 'D');
  double deg[3];
  ASSERT_TRUE(ShownAngles(*s, v, deg)) << Lines(*s, v);
  // the printed angles (two decimals) make the drawn frame
  EXPECT_LT(FrameError(deg, s->EWW), 1e-3);
  EXPECT_GT(std::fabs(deg[2]), 10.0) << "the work has rolled about its axis";
  char rw[100];
  std::snprintf(rw, sizeof rw, "Work rw=(%7.1f,%7.1f,%7.1f)\n", s->RWW[0], s->RWW[1], s->RWW[2]);
  EXPECT_TRUE(Has(Lines(*s, v), rw));
  // the replay of a middle row shows that row's pose
  rgtest::Press(*s, "D" + std::string(30, 's'));
  ASSERT_TRUE(ShownAngles(*s, v, deg));
  EXPECT_LT(FrameError(deg, s->ManipEW[30]), 1e-3);
  EXPECT_GT(FrameError(deg, s->EWW), 1e-2) << "row 30 is turned less than the end";
}

// The legend names every contact type a finger of either work shows.
TEST(WindowView, ContactLegendNamesEveryTypeShown) {
  WindowView v;
  v.info = true;
  for (const char* keys : {"Gss", "H2Gsss", "W1Gss", "H2W1Gsss", "H4W1Gsss", "H3Gss", "H4Gsss"}) {
    SCOPED_TRACE(keys);
    auto s = rgtest::StartedSim();
    rgtest::Press(*s, keys);
    const std::string all = Lines(*s, v);
    for (int kf = 1; kf <= s->nF(); ++kf) {
      const std::string type{s->GGTYPE[kf][0], s->GGTYPE[kf][1]};
      EXPECT_TRUE(Has(all, type + " = ")) << "finger " << kf << " shows " << type;
    }
  }
  auto s = rgtest::StartedSim();
  const std::string all = Lines(*s, v);
  for (const char* type : {"LC", "LL", "TC", "TL", "TD", "LS", "TS", "NN", "--"})
    EXPECT_TRUE(Has(all, std::string(type) + " = ")) << type;
}

// Below the mode panel the help names the window's own keys, the mouse and how to
// quit; F1 hides it with the table, and the information panel of F2 takes its place.
TEST(WindowView, HelpAdditionNamesTheWindowsKeys) {
  auto s = rgtest::StartedSim();
  WindowView v;
  OverlayText o;
  WindowLines(*s, v, o);
  std::string more;
  for (int i = 0; i < o.n; ++i) {
    if (o.line[i].font != TextLine::Small) continue;
    more += o.line[i].text;
    // between the mode panel's last row and the velocity line, left of the palm
    EXPECT_LT(o.line[i].y, PanelRowY(4) - 15.0f) << o.line[i].text;
    EXPECT_GT(o.line[i].y, 55.0f + 20.0f) << o.line[i].text;
  }
  for (const char* name : {"'B'", "'C'", "space", "F1", "F2", "F3", "Home", "F5", "Mouse", "left drag",
                           "right drag", "shift", "wheel", "F6", "JSON", "F7", "CSV", "Web Page",
                           "Esc in mode I", "close the window", "'H'", "Obstacle"})
    EXPECT_TRUE(Has(more, name)) << name;
  v.help = false;
  EXPECT_FALSE(Has(Lines(*s, v), HelpMore[0]));
  v.help = true;
  v.info = true;
  EXPECT_FALSE(Has(Lines(*s, v), HelpMore[0]));
  EXPECT_TRUE(Has(Lines(*s, v), "Work rw=("));
}

TEST(WindowView, CauseLineNamesDeadlockedFingerAndCollisionPart) {
  auto s = rgtest::StartedSim();
  rgtest::Press(*s, "ssA" + std::string(400, 's'));  // hand 1 ends in a deadlock of finger 2
  ASSERT_EQ(s->sgnMANIP, 'D');
  char line[100];
  CauseLine(*s, line);
  EXPECT_STREQ(line, "Deadlock: finger 2 found no rolling motion\n");
  s->sgnMANIP = 'C';
  s->COLLkf = 1;
  s->COLLlink = s->nJ() + 1;
  CauseLine(*s, line);
  EXPECT_STREQ(line, "Collision: finger 1, link J4-tip met the work\n");
  s->COLLlink = 0;
  CauseLine(*s, line);
  EXPECT_STREQ(line, "Collision: the palm met the work\n");
  s->sgnMANIP = 'Y';
  CauseLine(*s, line);
  EXPECT_STREQ(line, "");
}

TEST(WindowView, GraspIntoThePalmIsRefused) {
  auto s = rgtest::StartedSim();
  rgtest::Press(*s, "M" + std::string(20, 'y'));  // the work moved into the palm
  ASSERT_EQ(s->sgnGC, 'C');
  rgtest::Press(*s, "Gss");
  EXPECT_EQ(s->nFIN, 0);
  EXPECT_EQ(s->sgnGRASP, 'N');
  EXPECT_EQ(s->sgnCALGEnd, 'N');
  OverlayText o;
  OverlayLines(*s, o);
  std::string all;
  for (int i = 0; i < o.n; ++i) all += o.line[i].text;
  EXPECT_TRUE(Has(all, "##------No FingerLink Grasp-------##\n"));
  EXPECT_TRUE(Has(all, "##------Change Work Position------##\n"));
  char line[100];
  CauseLine(*s, line);
  EXPECT_STREQ(line, "Collision: the palm meets the work\n");
  // moved back out, the grasp runs again
  rgtest::Press(*s, "M" + std::string(20, 'Y') + "Gss");
  EXPECT_EQ(s->sgnCALGEnd, 'Y');
}

TEST(WindowView, ModeAWithoutCompleteGraspAsksForOne) {
  auto s = rgtest::StartedSim();
  rgtest::Press(*s, "A");
  WindowView v;
  const std::string all = Lines(*s, v);
  EXPECT_TRUE(Has(all, "Complete Grasp Needed\n"));
  EXPECT_TRUE(Has(all, "Hit G, then s for each finger\n"));
  EXPECT_FALSE(Has(all, "Hit s for discrete Motion\n"));
  rgtest::Press(*s, "GssA");
  EXPECT_TRUE(Has(Lines(*s, v), "Hit s for discrete Motion\n"));
}

TEST(WindowView, PlayLineAndWaitBanner) {
  auto s = rgtest::StartedSim();
  WindowView v;
  EXPECT_FALSE(Has(Lines(*s, v), "Playing"));
  v.playing = true;
  EXPECT_TRUE(Has(Lines(*s, v), "Playing: space stops\n"));
  v.waitingKey = 'e';
  OverlayText o;
  WindowLines(*s, v, o);
  bool banner = false;
  for (int i = 0; i < o.n; ++i)
    if (std::string(o.line[i].text) == "waiting for the key e on the console (--no-wait skips)\n")
      banner = o.line[i].style == TextLine::Banner;
  EXPECT_TRUE(banner);
}

TEST(WindowView, PlayStepsUntilTheRunOrTheRecordEnds) {
  auto s = rgtest::StartedSim();
  EXPECT_FALSE(PlayApplies(*s));  // mode G
  rgtest::Press(*s, "A");
  EXPECT_TRUE(PlayApplies(*s));
  EXPECT_FALSE(PlayCanStep(*s));  // no grasp yet
  rgtest::Press(*s, "GssA");
  EXPECT_TRUE(PlayCanStep(*s));
  int steps = 0;
  while (PlayCanStep(*s) && steps < 1000) {
    rgtest::Press(*s, "s");
    ++steps;
  }
  EXPECT_EQ(s->sgnMANIP, 'D');
  EXPECT_GT(s->cntManip0, 300);
  EXPECT_EQ(steps, s->cntManip0 + 1);  // the completed steps and the one that deadlocks
  rgtest::Press(*s, "D");
  EXPECT_TRUE(PlayCanStep(*s));
  while (PlayCanStep(*s)) rgtest::Press(*s, "s");
  EXPECT_EQ(s->cntRepeat, s->cntMainip1);
}

TEST(WindowView, HandAlwaysDrawnOutsideTheComputedModes) {
  auto s = rgtest::StartedSim();
  WindowView v;
  EXPECT_TRUE(WhatToDraw(*s, v).initialHand);  // start-up: the initial pose
  rgtest::Press(*s, "ss");
  EXPECT_FALSE(WhatToDraw(*s, v).initialHand);
  EXPECT_TRUE(WhatToDraw(*s, v).computedHand);
  for (const char* m : {"H", "W", "J", "JI"}) {
    rgtest::Press(*s, m);
    SCOPED_TRACE(m);
    EXPECT_TRUE(WhatToDraw(*s, v).initialHand);
    EXPECT_FALSE(WhatToDraw(*s, v).computedHand);
  }
  rgtest::Press(*s, "GssAs");
  EXPECT_TRUE(WhatToDraw(*s, v).computedHand);
  EXPECT_TRUE(WhatToDraw(*s, v).traces);  // on by default
  v.traces = false;
  EXPECT_FALSE(WhatToDraw(*s, v).traces);
}

// After a hand or work change the manipulation and the grasp show the new
// hand's initial pose until it has grasped; a finger not yet grasped (or one
// that found no contact) has no contact marker.
TEST(WindowView, StaleGraspNeverDrawn) {
  for (const char* change : {"H2", "W1", "H3"}) {
    SCOPED_TRACE(change);
    auto s = rgtest::StartedSim();
    WindowView v;
    rgtest::Press(*s, "ssA" + std::string(30, 's'));
    rgtest::Press(*s, change);
    for (const char* mode : {"A", "G", "GA"}) {
      rgtest::Press(*s, mode);
      EXPECT_TRUE(WhatToDraw(*s, v).initialHand) << mode;
      EXPECT_FALSE(WhatToDraw(*s, v).computedHand) << mode;
    }
    rgtest::Press(*s, "Gs");
    EXPECT_TRUE(WhatToDraw(*s, v).computedHand);
    EXPECT_EQ(ContactShown(*s, 1), s->sgnGRASPM[1] == 'Y');
    for (int kf = 2; kf <= s->nF(); ++kf) EXPECT_FALSE(ContactShown(*s, kf)) << kf;
  }
  // a velocity change keeps the grasp of a manipulation shown
  auto s = rgtest::StartedSim();
  WindowView v;
  rgtest::Press(*s, "ssAsVzA");
  EXPECT_TRUE(WhatToDraw(*s, v).computedHand);
  EXPECT_TRUE(ContactShown(*s, 1) && ContactShown(*s, 2));
}

TEST(WindowView, TracesLieOnTheWorkAndGrowWithTheSteps) {
  auto s = rgtest::StartedSim();
  rgtest::Press(*s, "ssA" + std::string(50, 's'));
  std::vector<Point3> w, l;
  WorkTrace(*s, 2, w);
  LinkTrace(*s, 2, l);
  ASSERT_EQ(w.size(), static_cast<size_t>(s->cntMainip1 + 2));
  ASSERT_EQ(l.size(), w.size());
  for (const Point3& p : w) {  // on a rim of the drawn cylinder: radius aCyl about its axis
    double d[3], local[3];
    for (int i = 0; i < 3; ++i) d[i] = p.p[i] - s->RWW[i];
    for (int j = 0; j < 3; ++j) local[j] = s->EWW[0][j] * d[0] + s->EWW[1][j] * d[1] + s->EWW[2][j] * d[2];
    EXPECT_NEAR(std::hypot(local[0], local[1]), catalogue::aCyl, 1e-6);
  }
  // both traces end at the latest contact point
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(w.back().p[i], s->ManipCPNTA2[1][2][i], 1e-9);
    EXPECT_NEAR(l.back().p[i], s->ManipCPNTA2[1][2][i], 1e-9);
  }
  const size_t before = w.size();
  rgtest::Press(*s, std::string(20, 's'));
  WorkTrace(*s, 2, w);
  EXPECT_EQ(w.size(), before + 4);  // a stored row every fifth step
}

TEST(WindowView, MouseCameraArithmetic) {
  Camera c;
  EXPECT_TRUE(CameraIsHome(c));
  CameraOrbit(c, 10, -4);
  EXPECT_DOUBLE_EQ(c.yaw, 5.0);
  EXPECT_DOUBLE_EQ(c.pitch, -2.0);
  CameraPan(c, 60, 30, 600);
  EXPECT_DOUBLE_EQ(c.panX, 0.1);
  EXPECT_DOUBLE_EQ(c.panY, -0.05);
  for (int i = 0; i < 100; ++i) CameraZoom(c, 1);
  EXPECT_DOUBLE_EQ(c.zoom, kZoomMax);
  for (int i = 0; i < 100; ++i) CameraZoom(c, -1);
  EXPECT_DOUBLE_EQ(c.zoom, kZoomMin);
  CameraReset(c);
  EXPECT_TRUE(CameraIsHome(c));
  double fovy = 0, aspect = 0;
  Perspective(600, 600, 1.0, &fovy, &aspect);
  EXPECT_EQ(fovy, 30.0);
  EXPECT_EQ(aspect, 1.0);
  Perspective(1000, 700, 1.0, &fovy, &aspect);
  EXPECT_EQ(fovy, 30.0);  // a wide window sees more at the sides
  EXPECT_DOUBLE_EQ(aspect, 1000.0 / 700.0);
  Perspective(400, 800, 1.0, &fovy, &aspect);
  // a tall window keeps the 30 degrees across
  EXPECT_NEAR(std::tan(fovy * M_PI / 360.0) * aspect, std::tan(15.0 * M_PI / 180.0), 1e-12);
  Perspective(600, 600, 2.0, &fovy, &aspect);
  EXPECT_NEAR(std::tan(fovy * M_PI / 360.0), std::tan(15.0 * M_PI / 180.0) / 2.0, 1e-12);
}
