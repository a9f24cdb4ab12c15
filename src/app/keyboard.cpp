// The keyboard command machine. Nine upper-case letters switch the execution
// mode (sgnCAL); every other key is a sub-command of the current mode. Every key
// press ends with a redraw request.
#include "app/keyboard.h"

#include <cmath>

#include "core/keys.h"

#include "app/script.h"
#include "grasp/gait.h"
#include "grasp/grasp.h"
#include "hand/hand.h"
#include "interference/interference.h"
#include "manip/manip.h"
#include "numerics/vecmat.h"
#include "plan/plan.h"
#include "record/report.h"
#include "record/store.h"
#include "work/work.h"

namespace rg {
namespace {

// Switches of the record's console reports: above 0 prints the grasp record after
// the last finger, and the manipulation record after every step.
constexpr int kGraspReport = 0;
constexpr int kManipReport = 0;

constexpr unsigned char kEscape = 27;

bool IsMoveKey(unsigned char key) {
  switch (key) {
    case 'x': case 'X': case 'y': case 'Y': case 'z': case 'Z':
    case 'p': case 'P': case 'q': case 'Q': case 'r': case 'R':
      return true;
    default:
      return false;
  }
}

void DrawnWorkIsSetPose(Sim& s) {
  VecCopy(s.rwG0, s.RWW);
  MatCopy(s.EwG0, s.EWW);
}

// After a work selection or work move: check the fingers in their initial pose
// and the palm against the work. A collision blocks the grasp until the work is moved.
void InterferenceStep(Sim& s) {
  if (s.sgnCalColl != 'n') {
    int kColl = 0, link = -1;
    const Model& m = s.model();
    s.sgnGC = (s.WORK1 == '1') ? ALLFinSphCollCheck(m, s.qq0, s.rwG, m.aSph, &kColl)
                               : ALLFinCylCollCheck(m, s.qq0, WorkCylinder(m, s.rwG, s.EwG),
                                                    &s.notes, &kColl, &link);
    s.sgnGRASP = 'Y';
    if (s.sgnGC == 'C') {
      s.sgnCALGChk = 'C';
      s.COLLkf = kColl;
      s.COLLlink = link;
      s.sgnGRASP = 'N';
      return;
    }
  }
  VecCopy(s.rwG, s.RWW);
  MatCopy(s.EwG, s.EWW);
  usrdisplay(s);
}

// Mode 'G', key 's': the grasp of the next finger.
void GraspStep(Sim& s) {
  if (s.sgnCALGEnd == 'Y' || s.sgnGRASP == 'N') return;
  if (s.nFIN >= s.nF()) return;  // every finger of this hand is solved already
  s.sgnCALGChk = 'Y';
  s.nFIN += 1;
  const int kf = s.nFIN;
  // this finger and those not yet solved are drawn in their initial pose; a finger
  // whose contact is then found is drawn in its grasp pose instead
  for (int k = kf; k <= s.nF(); ++k) {
    VecCopyN(s.nJ(), s.qq0[k], s.qf[k]);
    VecCopyN(s.nJ(), s.qq0[k], s.qqa2[1][k]);
  }
  GRASP(s, kf);  // the contact point and normal go to the record
  if (s.nFIN >= s.nF()) {
    GraspDataReport(s.con, s, kGraspReport);
    s.sgnCALGEnd = 'Y';
    for (int k = 1; k <= s.nF(); ++k) {
      if (s.sgnGRASPM[k] != 'Y') {
        s.sgnCALGEnd = 'N';
        s.sgnGRASP = 'N';
      }
    }
  }
}

// One manipulation step with the command (vw in the hand frame, omww about the
// work's own axes), as key 's' runs it in modes 'A' and 'C'. A stopped manipulation
// stays stopped (its status message stays on screen until a reset); without a
// complete grasp there is nothing to roll, though a full record is reported all the
// same (the step refuses it, 'F'). With takeUp a step that is computed first makes
// the command the commanded velocity, as mode 'V' sets one (omw for the work's frame
// at the step's start). True when the step was recorded: the window then shows each
// finger in its new pose (one redraw per finger) and the console the record's report.
bool RunStep(Sim& s, const double vw[3], const double omww[3], bool takeUp) {
  if (s.sgnMANIP != 'Y') return false;
  const bool full = RecordFull(s);
  if (s.sgnCALGEnd == 'N' && !full) return false;
  if (takeUp && !full) {
    VecCopy(vw, s.vw);
    VecCopy(omww, s.omww);
    MatVec(s.ManipEW2[s.cntManip0 != 0 ? 1 : 0], s.omww, s.omw);
  }
  const int M = s.cntManip0;
  PRCircleManip4(s, vw, omww);  // sets s.sgnMANIP
  if (s.cntManip0 == M) return false;
  for (int kf = 1; kf <= s.nF(); ++kf) usrdisplay(s);
  ManipDataReport(s.con, s, kManipReport);
  return true;
}

// Mode 'A', key 's': one manipulation step with the commanded velocity.
void ManipStep(Sim& s) { RunStep(s, s.vw, s.omww, false); }

// Mode 'A', a finger's digit 1..nF: a touching finger is lifted, a lifted one placed.
void GaitKey(Sim& s, int kf) { GaitCommand(s, s.lifted[kf] ? 'P' : 'L', kf, nullptr); }

// ---- goal poses and planned paths

// Mode 'B': the goal moved as mode 'M' moves the work, by one length unit along the
// hand's axes or one turn step about the work's own axes. A key that would take the
// goal past the bounds a typed goal has (--goal, scene files) leaves it where it is,
// so every goal the keys make can be saved and read again.
void MoveGoal(Sim& s, char key) {
  const AxisKey k = ParseAxisKey(key);
  if (!k.valid) return;
  GoalPose& g = s.plan.goal;
  double* turn[3] = {&g.rx, &g.ry, &g.rz};
  double* shift[3] = {&g.x, &g.y, &g.z};
  double* value = k.turn ? turn[k.axis] : shift[k.axis];
  const double moved = *value + k.sign * (k.turn ? kTurnStep * 180.0 / M_PI : 1.0);
  if (std::fabs(moved) <= (k.turn ? kMaxGoalTurnDeg : kMaxGoalShift)) *value = moved;
}

void PrintOutcome(Sim& s) {
  const PlanOutcome& o = s.plan.outcome;
  const GoalPose& g = o.goal;
  s.con.Printf("\nGoal (%.1f, %.1f, %.1f deg; %.1f, %.1f, %.1f):", g.rx, g.ry, g.rz, g.x, g.y, g.z);
  if (o.reached) {
    s.con.Printf(" reached in %d steps (turn error %.3f deg, shift %.3f), planned in %.2f s",
                 o.steps, o.orientErrDeg, o.posErr, o.planSeconds);
    if (o.gaits > 0) s.con.Printf("\n  %d finger gaits on the way (lifts and places)", o.gaits);
    s.con.Printf("\n  smallest conditioning %.3g (finger %d); C then s follows the path", o.minSigma,
                 o.minSigmaFinger);
    return;
  }
  if (o.refused) {
    s.con.Printf(" not planned: %s", o.reason.c_str());
    return;
  }
  s.con.Printf(" not reached: %s", o.reason.c_str());
  s.con.Printf("\n  closest pose after %d steps: turn error %.3f deg, shift %.3f (%.2f s)", o.steps,
               o.orientErrDeg, o.posErr, o.planSeconds);
}

// Mode 'B', key 's': a path from the current state to the goal.
void PlanStep(Sim& s) { InstallPlan(s, PlanToGoal(s, s.plan.goal, PlanOptionsOf(s))); }

// A lift ('L') or place ('P') of finger kf, and its console line.
GaitEvent RunGait(Sim& s, char kind, int kf, const double* preshape) {
  const GaitEvent g = kind == 'L' ? LiftFinger(s, kf, preshape) : PlaceFinger(s, kf, preshape);
  s.con.Printf("\n%s", GaitMessage(s, g).c_str());
  return g;
}

// Mode 'C', key 's': the next step of the planned path, run as mode 'A' runs one; a
// gait of the path as the digit keys run one, the path kept.
void FollowStep(Sim& s) {
  PlanState& p = s.plan;
  if (p.path.empty()) {
    s.con.Printf("\nNo planned path: set a goal (B) and plan it (s)");
    return;
  }
  if (p.next >= p.path.size()) {
    s.con.Printf("\nThe planned path has been followed to its end (%zu steps)", p.path.size());
    return;
  }
  if (s.cntManip0 != p.startStep + StepsBefore(p.path, p.next) || s.sgnCALGEnd != 'Y') {
    s.con.Printf("\nThe work has moved since the path was planned: plan again (B, s)");
    return;
  }
  const StepCommand& c = p.path[p.next];
  if (IsGait(c)) {  // a finger lifted or placed on the way
    if (RunGait(s, static_cast<char>(c.gait), c.finger, nullptr).verdict == 'Y') ++p.next;
    usrdisplay(s);
    return;
  }
  if (RunStep(s, c.vw, c.omww, true)) ++p.next;
}

// ---- the mode keys: each sets its mode and what the mode starts from

void EnterView(Sim& s) {
  if (s.sgnCAL == 'G' || s.sgnCAL == 'A' || s.sgnCAL == 'D') s.sgnCALold = s.sgnCAL;
  s.sgnCAL = 'I';
}

void EnterSetting(Sim& s, char mode) {
  s.sgnCALold = 'N';
  s.sgnCAL = mode;
  switch (mode) {
    case 'M':
      s.sgnGC = 'F';
      RESETGRASP(s);
      DrawnWorkIsSetPose(s);
      break;
    case 'V':
      s.sgnCALS = 'S';
      break;
    case 'J':
      s.cntQ = -1;
      s.sgnFJ[0] = '0';
      s.sgnFJ[1] = '0';
      break;
    default:
      break;
  }
}

// A grasp closes the fingers from their initial angles onto a work in front of
// the palm: it has no meaning while the work cuts into the palm. Such a grasp run
// is refused as a grasp without contact ("No FingerLink Grasp / Change Work
// Position"), and the collision is recorded as the interference step of mode 'M'
// records it.
void RefuseGraspIntoPalm(Sim& s) {
  if (s.WORK1 != '2') return;  // the sphere work is never checked
  double Lc = 0.0;
  if (RPalmCylinderCollision2(s.model(), WorkCylinder(s.model(), s.rwG, s.EwG), &Lc) != 'C') return;
  s.sgnGC = 'C';
  s.sgnCALGChk = 'C';
  s.COLLlink = 0;  // the palm
  s.sgnGRASP = 'N';
}

void EnterGrasp(Sim& s) {
  if (s.sgnCALold == 'G') {
    s.sgnCAL = 'G';  // resume the interrupted grasp run
    return;
  }
  RESETGRASP(s);
  DrawnWorkIsSetPose(s);
  s.sgnCAL = 'G';
  s.sgnCALGEnd = 'N';
  s.cntManip0 = 0;
  s.sgnCALGChk = 'Y';
  s.nFIN = 0;
  RefuseGraspIntoPalm(s);
}

void EnterManipulation(Sim& s) {
  s.sgnCAL = 'A';
  if (s.sgnCALold == 'A') return;  // resume
  VecCopy(s.rwG, s.ManipRW[0]);
  MatCopy(s.EwG, s.ManipEW[0]);
  s.nFIN = 0;
}

void EnterReplay(Sim& s) {
  if (s.sgnCAL == 'I' && s.sgnCALold == 'D') {
    s.sgnCAL = 'D';  // resume at the same replay step
    return;
  }
  s.sgnCALold = s.sgnCAL;
  s.sgnCAL = 'D';
  s.cntRepeat = 0;
}

// Handles a mode key; false when the key is none.
bool ModeKey(Sim& s, unsigned char key) {
  switch (key) {
    case 'I': EnterView(s); return true;
    case 'H': case 'W': case 'M': case 'V': case 'J': EnterSetting(s, static_cast<char>(key)); return true;
    case 'G': EnterGrasp(s); return true;
    case 'A': EnterManipulation(s); return true;
    case 'D': EnterReplay(s); return true;
    case 'B': s.sgnCAL = 'B'; return true;
    case 'C': s.sgnCAL = 'C'; return true;
    default: return false;
  }
}

// ---- the keys of each mode

// What a command key did: the frame still to be drawn, already drawn, or the end.
enum class Done { Draw, Drawn, Quit };

Done WorkCommand(Sim& s, unsigned char key) {
  if (key == '1' || key == '2') {
    selectWork(s, static_cast<char>(key));
    RESETGRASP(s);
    s.sgnCalColl = 'y';
    InterferenceStep(s);
  }
  return Done::Draw;
}

// After the set pose rwG0, EwG0 changed (or is to be checked again): it becomes the
// grasp pose and the drawn pose, and the fingers are checked against it.
void PoseTakenUp(Sim& s) {
  VecCopy(s.rwG0, s.rwG);
  MatCopy(s.EwG0, s.EwG);
  DrawnWorkIsSetPose(s);
  s.sgnCalColl = 'y';
  InterferenceStep(s);
}

Done PoseCommand(Sim& s, unsigned char key) {
  if (!(IsMoveKey(key) || key == '0' || key == '1')) return Done::Draw;
  RESETGRASP(s);
  if (key != '0' && key != '1') {  // '0' and '1' only check again
    MoveWork(s, static_cast<char>(key));
    s.nFIN = 0;
  }
  PoseTakenUp(s);
  return Done::Draw;
}

// Replays the rows of the current record only: with none there is nothing to step
// through (the panel says so).
Done ReplayCommand(Sim& s, unsigned char key) {
  if (key != 's' || RecordLength(s) == 0) return Done::Draw;
  const int last = RecordLength(s) - 1;
  if (s.cntRepeat < last) {
    s.cntRepeat += 1;
    usrdisplay(s);
  } else {
    s.cntRepeat = last;
  }
  return Done::Draw;
}

Done ModeCommand(Sim& s, unsigned char key) {
  switch (s.sgnCAL) {
    case 'I':
      if (key == kEscape) return Done::Quit;
      if (IsMoveKey(key)) ViewStep(s, static_cast<char>(key));
      return Done::Draw;
    case 'H':
      selectHand(s, static_cast<char>(key));
      RESETGRASP(s);
      usrdisplay(s);
      return Done::Drawn;
    case 'W':
      return WorkCommand(s, key);
    case 'M':
      return PoseCommand(s, key);
    case 'V':
      if (IsMoveKey(key)) setWorkVelocity(s, static_cast<char>(key), s.EwG);
      return Done::Draw;
    case 'J':
      setq(s, static_cast<char>(key));
      return Done::Draw;
    case 'G':
      s.sgnCALS = 'N';
      if (key == 's') GraspStep(s);
      return Done::Draw;
    case 'A':
      if (key == 's') ManipStep(s);
      if (key >= '1' && key <= '0' + s.nF()) GaitKey(s, key - '0');
      return Done::Draw;
    case 'D':
      return ReplayCommand(s, key);
    case 'B':
      if (IsMoveKey(key)) MoveGoal(s, static_cast<char>(key));
      if (key == 's') PlanStep(s);
      return Done::Draw;
    case 'C':
      if (key == 's') FollowStep(s);
      return Done::Draw;
    default:
      return Done::Draw;
  }
}

// Handles one key; true when it ends the program.
bool HandleKey(Sim& s, unsigned char key) {
  Done done = Done::Draw;
  if (!ModeKey(s, key)) done = ModeCommand(s, key);
  if (done == Done::Quit) return true;
  if (done == Done::Draw) usrdisplay(s);
  return false;
}

}  // namespace

void WorkPoseSet(Sim& s, const double r[3], const double E[3][3]) {
  RESETGRASP(s);
  VecCopy(r, s.rwG0);
  MatCopy(E, s.EwG0);
  VecCopy(s.rwG0, s.rwG);
  VecCopy(s.rwG0, s.RWW);
  MatCopy(s.EwG0, s.EWW);
  RESETGRASP(s);
  s.nFIN = 0;
  PoseTakenUp(s);
  usrdisplay(s);
  PrintNotes(s);
}

void InitialAnglesSet(Sim& s, int kf, const double* q) {
  s.sgnCALGEnd = 'N';
  ForgetGaits(s);
  for (int j = 1; j <= s.nJ(); ++j) s.qq0[kf][j] = q[j - 1];
  VecCopyN(s.nJ(), s.qq0[kf], s.qf[kf]);
  VecCopyN(s.nJ(), s.qq0[kf], s.qqa[0][kf]);
  ClearRecord(s);  // the stored run started from the angles before
  s.nFIN = 0;
  usrdisplay(s);
}

GaitEvent GaitCommand(Sim& s, char kind, int kf, const double* preshape) {
  const GaitEvent g = RunGait(s, kind, kf, preshape);
  // a planned path was planned for the contact set before: it goes, as with a new grasp
  if (g.verdict == 'Y') {
    s.plan.path.clear();
    s.plan.centres.clear();
    s.plan.next = 0;
  }
  return g;
}

PlanOptions PlanOptionsOf(const Sim& s) {
  PlanOptions opt;
  opt.timeLimit = s.plan.timeLimit;
  opt.maxSteps = s.plan.maxSteps;
  opt.seed = s.plan.seed;
  opt.progress = s.plan.progress;
  opt.cancel = s.plan.cancel;
  return opt;
}

void InstallPlan(Sim& s, PlanResult r) {
  s.plan.outcome = r.outcome;
  s.plan.path = std::move(r.path);
  s.plan.centres = std::move(r.centres);
  s.plan.next = 0;
  s.plan.startStep = s.cntManip0;
  PrintOutcome(s);
}

void PrintNotes(Sim& s) {
  Console& con = s.con;
  for (const Note& n : s.notes) {
    switch (n.kind) {
      case Note::SineOnly:
        con.Printf("\nfuncall() sin()だけの関数 BC1=%11.3e BCS=%11.3e", n.a, n.b);
        break;
      case Note::NoInverse:
        con.Printf("\n%d row = %11.3e, no inverse", n.i, n.a);
        break;
      case Note::JacobianCheck:
        con.Printf("\n▲Jacob4()-----ERR1[]=JB4[][]*ddq[] 成り立たない------------");
        con.WaitForKey('e');
        break;
      case Note::FingerStuck:
        con.Printf("\n△CirM24():----kf=%d sgnN=%c 行き詰まり", n.i, n.c);
        con.WaitForKey('e');
        break;
      case Note::StepStuck:
        con.Printf("\n■CM4:CirMotion24()解: kf=%d dt=%11.4e sgnC[kf]=%c 行き詰まり", n.i, n.a, n.c);
        if (n.a < err5)
          con.Printf("\n  dt=%11.4e<err5 → 運動停止", n.a);
        else
          con.Printf("\n  dt=%11.4e → dtを小さくして再計算", n.a);
        con.WaitForKey('e');
        break;
    }
  }
  s.notes.clear();
}

bool keyboard(Sim& s, unsigned char key, int /*x*/, int /*y*/) {
  const bool quit = HandleKey(s, key);
  PrintNotes(s);
  return quit;
}

void selectWork(Sim& s, char key) {
  if (key != '1' && key != '2') return;  // only the two work types exist
  s.WORK1 = key;
  const WorkPose home = DefaultWorkPose(key);
  VecCopy(home.r, s.RWW);
  MatCopy(home.E, s.EWW);
  VecCopy(home.r, s.rwG0);
  MatCopy(home.E, s.EwG0);
  VecCopy(home.r, s.rwG);
  MatCopy(home.E, s.EwG);
  FinJ1Pose(s);
  RESETGRASP(s);
}

void selectHand(Sim& s, char key) {
  if (key >= '1' && key <= '4') s.HAND1 = key - '0';
  BasicFinParameter(s, s.HAND1);
  FinJ1Pose(s);
  const int nf = s.model().nF;
  for (int kf = 1; kf <= nf; ++kf) VecCopyN(s.nJ(), s.qq0[kf], s.qqa[0][kf]);
  const WorkPose home = DefaultWorkPose(s.WORK1);
  VecCopy(home.r, s.rwG0);
  MatCopy(home.E, s.EwG0);
  DrawnWorkIsSetPose(s);
  RESETGRASP(s);
  s.nFIN = 0;
  if (s.COLLkf > nf) s.COLLkf = 0;  // that finger does not exist on the new hand
}

void setq(Sim& s, char key) {
  s.sgnCALGEnd = 'N';
  ForgetGaits(s);
  s.cntQ += 1;
  // a finger, then a joint: digits 1..4, and 5 on a hand with a fifth finger
  if (key >= '1' && key <= '0' + (s.nF() > 4 ? s.nF() : 4)) {
    if (s.cntQ > 1) s.cntQ = 0;  // a third digit starts a new selection
    s.sgnFJ[s.cntQ] = key;
    if (s.cntQ == 0) s.sgnFJ[1] = '\0';
    return;
  }
  if (key == 'p' || key == 'm') {
    auto num = [](char c) { return (c >= '0' && c <= '9') ? c - '0' : 100; };
    const int kf = num(s.sgnFJ[0]);
    const int kJ = num(s.sgnFJ[1]);
    if (kf < 1 || kf > s.model().nF || kJ < 1 || kJ > s.model().nJ) return;
    const double step = (key == 'p') ? 0.05 : -0.05;
    s.qf[kf][kJ] = s.qq0[kf][kJ] + step;
    s.qq0[kf][kJ] = s.qf[kf][kJ];
    VecCopyN(s.nJ(), s.qq0[kf], s.qf[kf]);
    VecCopyN(s.nJ(), s.qq0[kf], s.qqa[0][kf]);
    ClearRecord(s);  // the stored run started from the angles before
  }
  s.nFIN = 0;
}

void ViewStep(Sim& s, char key) {
  // turns in degrees, shifts in drawing units
  const AxisKey k = ParseAxisKey(key);
  if (!k.valid) return;
  if (k.turn)
    s.rot[k.axis] += k.sign * 1.0;
  else
    s.trans[k.axis] += k.sign * 0.1;
}

}  // namespace rg
