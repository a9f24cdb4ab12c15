// The window's text overlay as a user reads it: which lines each mode and status
// shows, and where.
#include <gtest/gtest.h>

#include <string>

#include "app/keyboard.h"
#include "app/startup.h"
#include "app/overlay_text.h"
#include "app/script.h"
#include "support.h"

using namespace rg;

namespace {

struct Panel {
  std::unique_ptr<Sim> s = rgtest::StartedSim();
  void keys(const std::string& k) { rgtest::Press(*s, k); }
  // The text at (x, y), or "<none>".
  std::string at(float x, float y) const {
    OverlayText o;
    OverlayLines(*s, o);
    for (int i = 0; i < o.n; ++i)
      if (o.line[i].x == x && o.line[i].y == y) return o.line[i].text;
    return "<none>";
  }
  std::string row(int r) const { return at(5.0f, 340.0f - 20.0f * r); }
};

}  // namespace

TEST(Overlay, StartUpShowsGraspModeHandWorkAndVelocity) {
  Panel p;
  EXPECT_EQ(p.at(5, 20), "H=1:RQPP 2-Finger\n");
  EXPECT_EQ(p.at(5, 40), "W=Cylinder :\n");
  EXPECT_EQ(p.at(5, 55), " vw=[ 0, 0, 0]  omw=0.02*[ 0, 0, 1]\n");
  EXPECT_EQ(p.row(0), "Execution Mode : G\n");
  EXPECT_EQ(p.row(1), "Grasp Calcul\n");
  EXPECT_EQ(p.row(2), "Hit s to Execution\n");
  EXPECT_EQ(p.row(3), "<none>");
  EXPECT_EQ(std::string(HelpText[0]), "'I' : (x,X) (y,Y) (z,Z),(p,P),(q,Q),(r,R):Change Coor. View\n");
  EXPECT_EQ(std::string(HelpText[10]), "'D' : Motion Repeat of Manipulation\n");
  p.keys("H4W1");
  EXPECT_EQ(p.at(5, 20), "H=4:PQPP 3-Finger\n");
  EXPECT_EQ(p.at(5, 40), "W=Sphere :\n");
}

TEST(Overlay, GraspPanelsForEndAndFailure) {
  Panel p;
  p.keys("ss");
  EXPECT_EQ(p.row(1), "Grasp Calcul End\n");
  // under the banner, what to do next: roll the grasp, or, for a grasp the
  // manipulation refuses (a tip on the rim), set the work anew
  EXPECT_EQ(p.row(2), "Next: A, then s or space rolls it\n");
  p.s->GGTYPE[2][0] = 'T';
  EXPECT_EQ(p.row(2), "Next: M moves the work, G grasps again\n");
  EXPECT_EQ(p.row(1), "Grasp Calcul End\n");
  Panel f;
  f.keys("M" + std::string(120, 'Y') + "Gss");  // the work is out of the fingers' reach
  EXPECT_EQ(f.row(1), "Grasp Calcul\n");
  EXPECT_EQ(f.row(2), "##------No FingerLink Grasp-------##\n");
  EXPECT_EQ(f.row(3), "##------Change Work Position------##\n");
}

TEST(Overlay, ManipulationStatusLines) {
  Panel p;
  p.keys("ssA");
  EXPECT_EQ(p.row(0), "Execution Mode: A cntM=\n");
  EXPECT_EQ(p.at(225, 340), "0   \n");
  EXPECT_EQ(p.row(1), "Manipulation Step-by\n");
  EXPECT_EQ(p.row(2), "Hit s for discrete Motion\n");
  // under the specified banner: the finger (and link or surface) that stopped the
  // run, and what to do next
  const struct {
    char status, sgnC1, sgnC2;
    int collkf, colllink;
    const char* type2;
    const char* line;
    const char* who;
    const char* next;
  } cases[] = {
      {'D', 'Y', 'D', 0, -1, "LC", "**** Motion In Deadlock ****\n", "Finger 2 cannot roll on the rim\n",
       "Move the work with M, or G to grasp\n"},
      {'O', 'O', 'Y', 0, -1, "LC", "**** Contact Out of FinLink ****\n",
       "Finger 1: contact off link J4-tip\n", "Move the work with M, or G to grasp\n"},
      {'C', 'Y', 'Y', 2, 4, "LC", "**** Hand/Work Collision ****\n", "Finger 2, link J3-J4 hits it\n",
       "Move the work with M, or G to grasp\n"},
      {'C', 'Y', 'Y', 0, 0, "LC", "**** Hand/Work Collision ****\n", "The palm meets the work\n",
       "Move the work with M, or G to grasp\n"},
      {'F', 'Y', 'Y', 0, -1, "LC", "**** Data Overflow ****\n", "All 800 rows are stored\n",
       "Replay with D, or G to grasp again\n"},
      {'R', 'Y', 'Y', 0, -1, "TC", "**** Grasp Not On Rim ****\n", "Finger 2 grasps it as TC\n",
       "Move the work with M, or G to grasp\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.who);
    p.s->sgnMANIP = c.status;
    p.s->sgnC[1] = c.sgnC1;
    p.s->sgnC[2] = c.sgnC2;
    p.s->COLLkf = c.collkf;
    p.s->COLLlink = c.colllink;
    p.s->GGTYPE[2][0] = c.type2[0];
    p.s->GGTYPE[2][1] = c.type2[1];
    EXPECT_EQ(p.row(1), c.line);
    EXPECT_EQ(p.row(2), c.who);
    EXPECT_EQ(p.row(3), c.next);
  }
}

// Every stop of a run names its finger in the state's message, as the deadlock's
// does, in mode A and in path motion alike: the message says "finger k" for the
// finger the stop concerns.
TEST(Overlay, EveryStopsMessageNamesItsFinger) {
  const struct {
    const char* keys;  // hand, work, grasp
    char status;
  } runs[] = {{"GssA", 'D'}, {"H2W1GsssA", 'O'}, {"H2GsssA", 'D'}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.keys);
    Panel p;
    p.keys(std::string(run.keys) + std::string(400, 's'));
    ASSERT_EQ(p.s->sgnMANIP, run.status);
    const int kf = StatusFinger(*p.s);
    ASSERT_GT(kf, 0);
    const std::string m = StatusMessage(*p.s);
    EXPECT_NE(m.find("finger " + std::to_string(kf)), std::string::npos) << m;
    p.s->sgnCAL = 'C';  // the same stop met while following a planned path
    EXPECT_EQ(StatusMessage(*p.s), m);
  }
}

TEST(Overlay, ReplayCountsAndSettingModes) {
  Panel p;
  p.keys("ssA" + std::string(15, 's') + "Dss");
  EXPECT_EQ(p.row(0), "Execution Mode: D cntR=\n");
  EXPECT_EQ(p.at(225, 340), "2   \n");
  EXPECT_EQ(p.at(235, 340), "    /\n");
  EXPECT_EQ(p.at(260, 340), "3   \n");
  EXPECT_EQ(p.at(5, 325), "Hit s for discrete Motion\n");

  p.keys("I");
  EXPECT_EQ(p.row(2), "Hit x,X,y,Y,z,Z;  p,P,q,Q,r,R\n");
  p.keys("H");
  EXPECT_EQ(p.row(4), "3:2F-PQPP, 4:3F-PQPP\n");
  p.keys("V");
  EXPECT_EQ(p.row(1), "Work Manip Velocity Change Step-by\n");
  p.keys("W");
  EXPECT_EQ(p.row(2), "Hit 1,2 : Sphere,Cylinder\n");
  EXPECT_EQ(p.row(3), "<none>");
  p.s->sgnCALGChk = 'C';
  EXPECT_EQ(p.row(3), "**** Hand/Work Collision ****\n");
}

TEST(Overlay, JointSelectionAndWorkCollision) {
  Panel p;
  p.keys("J");
  EXPECT_EQ(p.row(2), "n,m=0,0\n");
  EXPECT_EQ(p.row(3), "<none>");
  p.keys("2");
  EXPECT_EQ(p.row(2), "n,m=2,");  // the joint digit is not chosen yet
  p.keys("3");
  EXPECT_EQ(p.row(2), "n,m=2,3\n");
  EXPECT_EQ(p.row(3), "Hit p or m to Change J-angle step-by\n");

  p.keys("M");
  EXPECT_EQ(p.row(1), "Work Pose Change Step-by\n");
  // the pose in the panel's last row: where the work is and how it is turned
  EXPECT_EQ(p.row(4), "rw=(0.0, 140.0, -40.0)  al=45.00 bet=0.00 qam=0.00 deg\n");
  p.keys("XXrr");  // two steps along x, two turns about the work's z axis
  char turned[100];
  std::snprintf(turned, sizeof turned, "al=45.00 bet=0.00 qam=%.2f deg\n", 2 * 1.8);
  EXPECT_NE(p.row(4).find("rw=(2.0, "), std::string::npos) << p.row(4);
  EXPECT_NE(p.row(4).find(turned), std::string::npos) << p.row(4);
  p.keys(std::string(40, 'z'));
  EXPECT_EQ(p.row(1), "**** Finger-Work Collision ****\n");
  EXPECT_EQ(p.row(2), "Move Work\n");
  // 40 steps down; turns about its own axis leave the cylinder's position
  EXPECT_EQ(p.row(4).rfind("rw=(2.0, 140.0, -80.0)  al=45.00", 0), 0u) << p.row(4);
}

TEST(Overlay, CountField) {
  char f[6];
  CountField(0, f);
  EXPECT_STREQ(f, "0   \n");
  CountField(799, f);
  EXPECT_STREQ(f, "799 \n");
  CountField(10000, f);
  EXPECT_STREQ(f, "****\n");
  CountField(-1, f);
  EXPECT_STREQ(f, "****\n");
}
