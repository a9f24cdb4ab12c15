#include "app/overlay_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <initializer_list>

#include "record/grasp_quality.h"
#include "record/store.h"
#include "work/work.h"

#include "app/goal_view.h"
#include "app/script.h"
#include "app/window_view.h"

namespace rg {

const char HelpText[11][100] = {
    "'I' : (x,X) (y,Y) (z,Z),(p,P),(q,Q),(r,R):Change Coor. View\n",
    "'H' : Select Hand 1,2,3,4\n",
    "'W' : Select Work 1(Sphere), 2(Cylinder)\n",
    "'M' : (x,X) (y,Y) (z,Z):Change Work Position X,Y,Z Step-by\n",
    "      (p,P) (q,Q) (r,R):Work (X,Y,Z) Rotation Step-by\n",
    "'V' : (x,X) (y,Y) (z,Z):Change Work Velocity vw[X,Y,Z] Step-by\n",
    "      (p,P) (q,Q) (r,R):Work Om Velocity omw[X,Y,Z] Step-by\n",
    "'J' : Set 2,nth-Finger mth-Joint Initial Angle\n",
    "'G' : Sol. of Grasp\n",
    "'A' : Sol. of Manipulation\n",
    "'D' : Motion Repeat of Manipulation\n",
};

// The keys and the mouse that the window added to the table above, and how the
// window is left. The title names F and O, which have no command here.
const char HelpMore[kHelpMoreRows][100] = {
    "'B' : Goal and Path Generation (Plan), s plans\n",
    "'C' : Path Motion, s steps    space : Play/Pause\n",
    "F1 : Help   F2 : Numbers   F3 : Contacts, Traces\n",
    "Home or F5 : Camera Reset\n",
    "Mouse : left drag turns the view, right drag or\n",
    "        shift + left drag moves it, wheel zooms\n",
    "F6 : Save the Scene to a JSON File\n",
    "F7 : Write the Run's CSV, Picture and Web Page\n",
    "        beside the Scene File\n",
    "Quit : Esc in mode I, or close the window\n",
    "Robot Choice is 'H' (not F); no Obstacle mode (O)\n",
};

namespace {

const char* const kHandLine[5] = {nullptr, "H=1:RQPP 2-Finger\n", "H=2:RQPP 3-Finger\n",
                                  "H=3:PQPP 2-Finger\n", "H=4:PQPP 3-Finger\n"};

// Panel rows, top to bottom.
constexpr float kRow[5] = {340.0f, 320.0f, 300.0f, 280.0f, 260.0f};

void Add(OverlayText& o, float x, float y, const char* text) {
  if (o.n >= static_cast<int>(sizeof o.line / sizeof o.line[0])) return;
  TextLine& l = o.line[o.n++];
  l = TextLine{};
  l.x = x;
  l.y = y;
  size_t i = 0;
  for (; i + 1 < sizeof l.text && text[i] != '\0'; ++i) l.text[i] = text[i];
  l.text[i] = '\0';
}

void Row(OverlayText& o, int row, const char* text) { Add(o, 5.0f, kRow[row], text); }

void Count(OverlayText& o, float x, int n) {
  char field[6];
  CountField(n, field);
  Add(o, x, kRow[0], field);
}

char TypeChar(char c) { return c == '\0' ? '-' : c; }

// The first finger whose manipulation letter is c, 0 when none.
int FingerWith(const Sim& s, char c) {
  for (int k = 1; k <= s.nF(); ++k)
    if (s.sgnC[k] == c) return k;
  return 0;
}

// Under a stop banner: which finger (and link or surface) stopped the run, and
// what to do next. The banner line itself stays as it is.
void StopLines(const Sim& s, OverlayText& o) {
  char who[100] = "";
  const char* surface = s.WORK1 == '1' ? "sphere" : "rim";
  int kf = 0;
  switch (s.sgnMANIP) {
    case 'O':
      kf = FingerWith(s, 'O');
      if (kf > 0 && s.GGTYPE[kf][0] == 'T')
        std::snprintf(who, sizeof who, "Finger %d: contact off its tip\n", kf);
      else if (kf > 0)
        std::snprintf(who, sizeof who, "Finger %d: contact off link J%d-tip\n", kf, s.nJ());
      break;
    case 'C':
      if (s.COLLlink == 0)
        std::snprintf(who, sizeof who, "The palm meets the work\n");
      else if (s.COLLkf >= 1 && s.COLLlink >= 2 && s.COLLlink <= s.nJ())
        std::snprintf(who, sizeof who, "Finger %d, link J%d-J%d hits it\n", s.COLLkf,
                      s.COLLlink - 1, s.COLLlink);
      else if (s.COLLkf >= 1)
        std::snprintf(who, sizeof who, "Finger %d, link J%d-tip hits it\n", s.COLLkf, s.nJ());
      break;
    case 'D':
      kf = FingerWith(s, 'D');
      if (kf > 0) std::snprintf(who, sizeof who, "Finger %d cannot roll on the %s\n", kf, surface);
      break;
    case 'R':
      for (int k = 1; k <= s.nF() && kf == 0; ++k)
        if (!(s.GGTYPE[k][0] == 'L' && s.GGTYPE[k][1] == 'C')) kf = k;
      if (kf > 0)
        std::snprintf(who, sizeof who, "Finger %d grasps it as %c%c\n", kf, TypeChar(s.GGTYPE[kf][0]),
                      TypeChar(s.GGTYPE[kf][1]));
      break;
    case 'F':
      std::snprintf(who, sizeof who, "All %d rows are stored\n", kRows);
      break;
    default:
      return;
  }
  if (who[0] != '\0') Row(o, 2, who);
  Row(o, 3, s.sgnMANIP == 'F' ? "Replay with D, or G to grasp again\n"
                              : "Move the work with M, or G to grasp\n");
}

// Whether every finger's grasp contact is one the manipulation rolls on (a link
// on a rim of the cylinder, any contact on the sphere).
bool GraspRolls(const Sim& s) {
  for (int kf = 1; kf <= s.nF(); ++kf)
    if (!ContactRolls(s.WORK1, s.GGTYPE[kf], s.sgnUML[kf])) return false;
  return true;
}

double Deg(double rad) { return rad * 180.0 / 3.14159265358979323846; }

// An angle in degrees as printed with two decimals, without "-0.00" for a turn
// that rounds to nothing.
double ShownDeg(double rad) {
  const double d = Deg(rad);
  return std::fabs(d) < 0.005 ? 0.0 : d;
}

// A work pose in one line: the position and the angles of its frame in degrees.
void PoseLine(const double r[3], const double E[3][3], char out[100]) {
  double ang[3];
  WorkOrienAngles(E, ang);
  std::snprintf(out, 100, "rw=(%.1f, %.1f, %.1f)  al=%.2f bet=%.2f qam=%.2f deg\n", r[0], r[1], r[2],
                ShownDeg(ang[0]), ShownDeg(ang[1]), ShownDeg(ang[2]));
}

// Below the step lines of a running manipulation: the last gait, and the finger
// keys that lift and place. A hand of two fingers is not offered the keys: the one
// contact that would stay never holds the work alone, so its lifts are all refused.
void GaitRows(const Sim& s, OverlayText& o) {
  const std::string last = GaitPanelText(s.gait);
  if (!last.empty()) Row(o, 3, (last + "\n").c_str());
  if (s.nF() < 3) return;
  char keys[100];
  std::snprintf(keys, sizeof keys, "Hit 1-%d to lift or place a finger\n", s.nF());
  Row(o, 4, keys);
}

void ModeA(const Sim& s, OverlayText& o) {
  Row(o, 0, "Execution Mode: A cntM=\n");
  Count(o, 225.0f, s.cntMainip1);
  switch (s.sgnMANIP) {
    case 'D': Row(o, 1, "**** Motion In Deadlock ****\n"); StopLines(s, o); break;
    case 'O': Row(o, 1, "**** Contact Out of FinLink ****\n"); StopLines(s, o); break;
    case 'C': Row(o, 1, "**** Hand/Work Collision ****\n"); StopLines(s, o); break;
    case 'F': Row(o, 1, "**** Data Overflow ****\n"); StopLines(s, o); break;
    case 'R': Row(o, 1, "**** Grasp Not On Rim ****\n"); StopLines(s, o); break;
    default:
      if (s.sgnCALGEnd != 'Y') {
        // 's' steps only from a complete grasp: say how to get one
        Row(o, 1, "Complete Grasp Needed\n");
        Row(o, 2, "Hit G, then s for each finger\n");
        break;
      }
      Row(o, 1, "Manipulation Step-by\n");
      Row(o, 2, "Hit s for discrete Motion\n");
      GaitRows(s, o);
      break;
  }
}

// Rows 0, 1, ... of the mode panel.
void Rows(OverlayText& o, std::initializer_list<const char*> rows) {
  int r = 0;
  for (const char* text : rows) Row(o, r++, text);
}

void ModePanel(const Sim& s, OverlayText& o) {
  switch (s.sgnCAL) {
    case 'H':
      Rows(o, {"Execution Mode : H\n", "H:Select Hand\n", "Hit 1,2,3,4\n", "1:2F-RQPP, 2:3F-RQPP\n",
               "3:2F-PQPP, 4:3F-PQPP\n"});
      break;
    case 'G':
      if (s.sgnCALGEnd == 'Y') {
        Rows(o, {"Execution Mode : G\n", "Grasp Calcul End\n"});
        Row(o, 2, GraspRolls(s) ? "Next: A, then s or space rolls it\n"
                                : "Next: M moves the work, G grasps again\n");
      }
      else if (s.sgnGRASP == 'N')
        Rows(o, {"Execution Mode : G\n", "Grasp Calcul\n", "##------No FingerLink Grasp-------##\n",
                 "##------Change Work Position------##\n"});
      else
        Rows(o, {"Execution Mode : G\n", "Grasp Calcul\n", "Hit s to Execution\n"});
      break;
    case 'A':
      ModeA(s, o);
      break;
    case 'D':
      if (RecordLength(s) == 0) {  // nothing of the current grasp is stored
        Rows(o, {"Execution Mode : D\n", "No stored motion to replay\n",
                 "Grasp with G, s; move with A, s\n"});
        break;
      }
      Row(o, 0, "Execution Mode: D cntR=\n");
      Count(o, 225.0f, s.cntRepeat);
      Add(o, 235.0f, kRow[0], "    /\n");
      Count(o, 260.0f, s.cntMainip1);
      Add(o, 5.0f, 325.0f, "Hit s for discrete Motion\n");
      break;
    case 'I':
      Rows(o, {"Execution Mode : I\n", "Image Move/Rotation Step-by\n", "Hit x,X,y,Y,z,Z;  p,P,q,Q,r,R\n"});
      break;
    case 'W':
      Rows(o, {"Execution Mode : W\n", "Select Work\n", "Hit 1,2 : Sphere,Cylinder\n"});
      if (s.sgnCALGChk == 'C') Row(o, 3, "**** Hand/Work Collision ****\n");
      break;
    case 'M': {
      if (s.sgnGC == 'C')
        Rows(o, {"Execution Mode : M\n", "**** Finger-Work Collision ****\n", "Move Work\n"});
      else
        Rows(o, {"Execution Mode : M\n", "Work Pose Change Step-by\n", "Hit x,X,y,Y,z,Z for Linear Motion\n",
                 "Hit p,P,q,Q,r,R for Rotation\n"});
      // the pose the keys have made, in the panel's last row in the small font
      char pose[100];
      PoseLine(s.RWW, s.EWW, pose);
      AddLine(o, 5.0f, kRow[4], pose, TextLine::Small);
      break;
    }
    case 'V':
      Rows(o, {"Execution Mode : V\n", "Work Manip Velocity Change Step-by\n", "Hit x,X,y,Y,z,Z for vw[ ]\n",
               "Hit p,P,q,Q,r,R for omw[ ]\n"});
      break;
    case 'J': {
      const char nm[9] = {'n', ',', 'm', '=', s.sgnFJ[0], ',', s.sgnFJ[1], '\n', '\0'};
      // a zero selection character ends the line there
      Rows(o, {"Execution Mode : J\n", "Hit to Change, n,m\n", nm});
      if (s.cntQ >= 1) Row(o, 3, "Hit p or m to Change J-angle step-by\n");
      break;
    }
    case 'B':
    case 'C':
      GoalPanel(s, o);
      break;
    default:
      break;
  }
}

}  // namespace

void AddLine(OverlayText& o, float x, float y, const char* text, TextLine::Font font) {
  const int n = o.n;
  Add(o, x, y, text);
  if (o.n > n) o.line[o.n - 1].font = font;
}

void SetLine(OverlayText& o, float x, float y, const char* text, TextLine::Font font) {
  for (int i = 0; i < o.n; ++i) {
    if (o.line[i].x != x || o.line[i].y != y) continue;
    OverlayText one;
    AddLine(one, x, y, text, font);
    o.line[i] = one.line[0];
    return;
  }
  AddLine(o, x, y, text, font);
}

float PanelRowY(int r) { return r >= 0 && r < 5 ? kRow[r] : kRow[4] - 20.0f * (r - 4); }

void OverlayLines(const Sim& s, OverlayText& out) {
  out.n = 0;
  if (s.HAND1 >= 1 && s.HAND1 <= 4)
    Add(out, 5.0f, 20.0f, kHandLine[s.HAND1]);
  else
    Add(out, 5.0f, 20.0f, ("H=file:" + s.model().name + "\n").c_str());  // the robot's name
  if (s.WORK1 == '1') Add(out, 5.0f, 40.0f, "W=Sphere :\n");
  if (s.WORK1 == '2') Add(out, 5.0f, 40.0f, "W=Cylinder :\n");
  // the label is a fixed buffer: never read past its end
  char vel[sizeof(s.WorkVel) + 1];
  std::memcpy(vel, s.WorkVel, sizeof(s.WorkVel));
  vel[sizeof(s.WorkVel)] = '\0';
  Add(out, 5.0f, 55.0f, vel);
  ModePanel(s, out);
}

namespace {

constexpr float kBannerY = 360.0f;     // between the help table and the mode panel
constexpr float kInfoTop = 235.0f;     // first line of the information panel
constexpr float kInfoStep = 15.0f;     // its small-font line spacing

// Every contact type a finger can show: the grasp's on the cylinder and on the
// sphere, none found, and "--" before the finger's grasp.
constexpr const char* kTypeLegend[] = {
    "LC = link on rim, LL = link on side, TC = tip on rim\n",
    "TL = tip on side, TD = tip on disk, NN = no contact\n",
    "LS = link on sphere, TS = tip on sphere, -- = not grasped\n",
};

void AddSmall(OverlayText& o, float y, const char* text) {
  Add(o, 5.0f, y, text);
  o.line[o.n - 1].font = TextLine::Small;
}

// The work as the frame draws it: the replayed row's pose in the replay, else the
// drawn pose (RWW, EWW), which the manipulation moves step by step.
void DrawnWork(const Sim& s, const WindowView& v, const double** r, const double (**E)[3]) {
  if (WhatToDraw(s, v).replay && s.cntRepeat >= 0 && s.cntRepeat < RecordLength(s)) {
    *r = s.ManipRW[s.cntRepeat];
    *E = s.ManipEW[s.cntRepeat];
    return;
  }
  *r = s.RWW;
  *E = s.EWW;
}

// The joint angles of finger kf in the pose the frame draws.
const double* ShownAngles(const Sim& s, const WindowView& v, int kf) {
  const SceneParts p = WhatToDraw(s, v);
  if (p.replay && s.cntRepeat >= 0 && s.cntRepeat < kRows) return s.ManipQ[s.cntRepeat][kf];
  if (p.computedHand) return s.qqa2[1][kf];
  return s.qq0[kf];
}


// Whether finger kf is off the work in the frame drawn: at the replayed row in the
// replay, else now.
bool FingerLifted(const Sim& s, const WindowView& v, int kf) {
  const SceneParts p = WhatToDraw(s, v);
  if (p.replay && s.cntRepeat >= 0 && s.cntRepeat < RecordLength(s))
    return !TouchingAtRow(s, s.cntRepeat, kf);
  return p.computedHand && s.lifted[kf];
}

// "link J3-J4", "link J4-tip" or "palm" for what met the work.
void PartName(const Sim& s, char out[64]) {
  if (s.COLLlink == 0) {
    std::snprintf(out, 64, "the palm");
  } else if (s.COLLlink >= 2 && s.COLLlink <= s.nJ()) {
    std::snprintf(out, 64, "finger %d, link J%d-J%d", s.COLLkf, s.COLLlink - 1, s.COLLlink);
  } else if (s.COLLlink == s.nJ() + 1) {
    std::snprintf(out, 64, "finger %d, link J%d-tip", s.COLLkf, s.nJ());
  } else {
    std::snprintf(out, 64, "finger %d", s.COLLkf);
  }
}

}  // namespace

void CauseLine(const Sim& s, char out[100]) {
  out[0] = '\0';
  const bool fromI = s.sgnCAL == 'I';
  // the manipulation's stop, in mode A and in path motion (C)
  const bool manip = s.sgnCAL == 'A' || s.sgnCAL == 'C' ||
                     (fromI && (s.sgnCALold == 'A' || s.sgnCALold == 'C'));
  const bool setting = s.sgnCAL == 'M' || s.sgnCAL == 'W' || s.sgnCAL == 'G' ||
                       (fromI && s.sgnCALold == 'G');
  char part[64];
  if (manip && s.sgnMANIP == 'C') {
    PartName(s, part);
    std::snprintf(out, 100, "Collision: %s met the work\n", part);
  } else if (manip && s.sgnMANIP == 'D') {
    int kf = 0;
    for (int k = 1; k <= s.nF(); ++k)
      if (s.sgnC[k] == 'D') kf = k;
    if (kf > 0)
      std::snprintf(out, 100, "Deadlock: finger %d found no rolling motion\n", kf);
    else
      std::snprintf(out, 100, "Deadlock: no rolling motion found\n");
  } else if (manip && s.sgnMANIP == 'O') {
    int kf = 0;
    for (int k = 1; k <= s.nF() && kf == 0; ++k)
      if (s.sgnC[k] == 'O') kf = k;
    if (kf > 0)
      std::snprintf(out, 100, "Off link: finger %d's contact left link J%d-tip\n", kf, s.nJ());
  } else if (setting && s.sgnGC == 'C') {
    PartName(s, part);
    std::snprintf(out, 100, "Collision: %s meets the work\n", part);
  }
}

void QualityLine(const QualityResult& q, char out[100]) {
  const char* model = ContactModelName(q.settings.model);
  if (q.force_closure)
    std::snprintf(out, 100, "Quality (%s, mu %.2g): force closure, epsilon %.4f\n", model,
                  q.settings.mu, q.epsilon);
  else
    std::snprintf(out, 100, "Quality (%s, mu %.2g): no force closure\n", model, q.settings.mu);
}

// The step line of the information panel, in the terms of the mode panel: the
// manipulation step and the stored row it is in (cntM counts the stored rows,
// one every kDecim steps), and the physical time, once per step. In the replay,
// the replayed row's step and time.
void StepLine(const Sim& s, const WindowView& v, char out[100]) {
  const int every = kDecim;
  if (WhatToDraw(s, v).replay && s.cntRepeat >= 0 && s.cntRepeat < kRows) {
    std::snprintf(out, 100, "Replayed row cntR=%d: step %d  time=%.4f\n", s.cntRepeat,
                  s.cntRepeat * every, s.ManipTimeRow[s.cntRepeat]);
    return;
  }
  std::snprintf(out, 100, "Step %d (stored row cntM=%d)  time=%.4f\n", s.cntManip0,
                s.cntMainip1, s.ManipTime);
}

// The quality of the grasp the frame shows: the replayed row's in the replay,
// else the latest. Closure and epsilon only, no volume.
QualityResult ShownQuality(const Sim& s, const WindowView& v) {
  if (WhatToDraw(s, v).replay && s.cntRepeat >= 0 && s.cntRepeat < RecordLength(s))
    return GraspQualityOfRow(s, s.cntRepeat, QualityMeasures::ClosureAndEpsilon);
  return GraspQualityNow(s, QualityMeasures::ClosureAndEpsilon);
}

void InfoLines(const Sim& s, const WindowView& v, OverlayText& o) {
  char buf[100];
  float y = kInfoTop;
  const double* rw = nullptr;
  const double(*Ew)[3] = nullptr;
  DrawnWork(s, v, &rw, &Ew);
  std::snprintf(buf, sizeof buf, "Work rw=(%7.1f,%7.1f,%7.1f)\n", rw[0], rw[1], rw[2]);
  AddSmall(o, y, buf);
  y -= kInfoStep;
  double ang[3];
  WorkOrienAngles(Ew, ang);
  std::snprintf(buf, sizeof buf, "al=%7.2f  bet=%7.2f  qam=%7.2f deg\n", ShownDeg(ang[0]),
                ShownDeg(ang[1]), ShownDeg(ang[2]));
  AddSmall(o, y, buf);
  y -= kInfoStep;
  for (int kf = 1; kf <= s.nF(); ++kf) {
    const double* q = ShownAngles(s, v, kf);
    int len = std::snprintf(buf, sizeof buf, "F%d q=(", kf);
    for (int j = 1; j <= s.nJ() && len < 80; ++j)
      len += std::snprintf(buf + len, sizeof buf - len, j == 1 ? "%6.3f" : " %6.3f", q[j]);
    std::snprintf(buf + len, sizeof buf - len, ") rad  %c%c%s\n", TypeChar(s.GGTYPE[kf][0]),
                  TypeChar(s.GGTYPE[kf][1]), FingerLifted(s, v, kf) ? " lifted" : "");
    AddSmall(o, y, buf);
    y -= kInfoStep;
  }
  for (const char* legend : kTypeLegend) {
    AddSmall(o, y, legend);
    y -= kInfoStep;
  }
  StepLine(s, v, buf);
  AddSmall(o, y, buf);
  y -= kInfoStep;
  QualityLine(ShownQuality(s, v), buf);
  AddSmall(o, y, buf);
  y -= kInfoStep;
  CauseLine(s, buf);
  if (buf[0] != '\0') AddSmall(o, y, buf);
}

void WindowLines(const Sim& s, const WindowView& v, OverlayText& out) {
  out.n = 0;
  if (v.help)
    for (int i = 0; i < 11; ++i) Add(out, 5.0f, 580.0f - 20.0f * i, HelpText[i]);
  OverlayText base;
  OverlayLines(s, base);
  for (int i = 0; i < base.n && out.n < static_cast<int>(sizeof out.line / sizeof out.line[0]); ++i)
    out.line[out.n++] = base.line[i];
  if (v.playing) SetLine(out, 5.0f, kRow[3], "Playing: space stops\n", TextLine::Large);
  if (v.planning.running) PlanningRows(v.planning, out);
  // the keys the table does not name, in the place of the information panel
  // unless F2 shows that
  if (v.help && !v.info)
    for (int i = 0; i < kHelpMoreRows; ++i) AddSmall(out, kInfoTop - kInfoStep * i, HelpMore[i]);
  if (v.info) InfoLines(s, v, out);
  // what F6 or F7 wrote, on the window's last line, below the hand line
  if (!v.fileNote.empty()) AddLine(out, 5.0f, 6.0f, (v.fileNote + "\n").c_str(), TextLine::Small);
  if (v.waitingKey != '\0') {
    char buf[100];
    // how to avoid the waits, on the line that says the window waits
    std::snprintf(buf, sizeof buf, "waiting for the key %c on the console (--no-wait skips)\n",
                  v.waitingKey);
    Add(out, 5.0f, kBannerY, buf);
    out.line[out.n - 1].style = TextLine::Banner;
  }
}

void CountField(int n, char out[6]) {
  for (int i = 0; i < 4; ++i) out[i] = ' ';
  out[4] = '\n';
  out[5] = '\0';
  if (n < 0 || n > 9999) {
    for (int i = 0; i < 4; ++i) out[i] = '*';
    return;
  }
  char digits[4];
  int k = 0;
  do {
    digits[k++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0);
  for (int i = 0; i < k; ++i) out[i] = digits[k - 1 - i];
}

}  // namespace rg
