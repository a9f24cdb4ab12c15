#include "app/script.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/keyboard.h"
#include "app/overlay_text.h"
#include "numerics/vecmat.h"
#include "work/work.h"

namespace rg {
namespace {

bool Finite(const double* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

bool Within(const double* v, int n, double bound) {
  for (int i = 0; i < n; ++i)
    if (!(std::fabs(v[i]) <= bound)) return false;
  return true;
}

// The cause line of the window without its line end.
std::string Cause(const Sim& s) {
  char line[100];
  CauseLine(s, line);
  std::string c = line;
  while (!c.empty() && c.back() == '\n') c.pop_back();
  return c;
}

std::string WithCause(const char* banner, const Sim& s) {
  std::string c = Cause(s);
  const size_t colon = c.find(": ");  // the cause line's own heading repeats the banner
  if (colon != std::string::npos) c = c.substr(colon + 2);
  return c.empty() ? banner : std::string(banner) + ": " + c;
}

}  // namespace

bool IsRotation(const double E[3][3]) {
  double EtE[3][3];
  MatTMul(E, E, EtE);
  double off = 0.0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) off = std::fmax(off, std::fabs(EtE[i][j] - (i == j ? 1.0 : 0.0)));
  const double det = E[0][0] * (E[1][1] * E[2][2] - E[1][2] * E[2][1]) -
                     E[0][1] * (E[1][0] * E[2][2] - E[1][2] * E[2][0]) +
                     E[0][2] * (E[1][0] * E[2][1] - E[1][1] * E[2][0]);
  return std::isfinite(off) && off <= 1e-9 && det >= 0.0;
}

bool ScriptWorkPose(Sim& s, const double r[3], const double E[3][3], std::string* why) {
  if (!Finite(r, 3) || !Finite(&E[0][0], 9)) {
    *why = "the work position and orientation must hold finite numbers";
    return false;
  }
  if (!Within(r, 3, kMaxScriptPosition)) {
    *why = "the work position must lie within ±10000 length units in each coordinate";
    return false;
  }
  if (!IsRotation(E)) {
    *why = "the work orientation must be a rotation matrix (orthonormal, determinant +1)";
    return false;
  }
  keyboard(s, 'M', 0, 0);
  WorkPoseSet(s, r, E);
  return true;
}

bool ScriptVelocity(Sim& s, const double vw[3], const double omww[3], std::string* why) {
  if (!Finite(vw, 3) || !Finite(omww, 3)) {
    *why = "the linear and angular velocity must hold finite numbers";
    return false;
  }
  if (!Within(vw, 3, kMaxScriptSpeed)) {
    *why = "the linear velocity: each component must lie within ±100 length units per unit time";
    return false;
  }
  if (!Within(omww, 3, kMaxScriptTurnRate)) {
    *why = "the angular velocity: each component must lie within ±2 rad per unit time";
    return false;
  }
  keyboard(s, 'V', 0, 0);
  SetWorkVelocityValues(s, vw, omww, s.EwG);
  return true;
}

bool ScriptInitialAngles(Sim& s, int kf, const double* q, int n, std::string* why) {
  const int nF = s.model().nF, nJ = s.model().nJ;
  if (kf < 1 || kf > nF) {
    *why = "finger must be 1.." + std::to_string(nF);
    return false;
  }
  if (n != nJ) {
    *why = "angles must hold " + std::to_string(nJ) + " joint angles";
    return false;
  }
  if (!Finite(q, n)) {
    *why = "angles must be finite numbers";
    return false;
  }
  if (!Within(q, n, kMaxScriptAngle)) {
    *why = "angles must lie within ±2π rad (one turn)";
    return false;
  }
  keyboard(s, 'J', 0, 0);
  InitialAnglesSet(s, kf, q);
  return true;
}

bool ScriptGait(Sim& s, char kind, int kf, const double* q, int n, GaitEvent* out,
                std::string* why) {
  const int nF = s.model().nF, nJ = s.model().nJ;
  if (kf < 1 || kf > nF) {
    *why = "finger must be 1.." + std::to_string(nF);
    return false;
  }
  if (q != nullptr && n != nJ) {
    *why = "preshape must hold " + std::to_string(nJ) + " joint angles";
    return false;
  }
  if (q != nullptr && !Finite(q, n)) {
    *why = "preshape must be finite numbers";
    return false;
  }
  if (q != nullptr && !Within(q, n, kMaxScriptAngle)) {
    *why = "preshape angles must lie within ±2π rad (one turn)";
    return false;
  }
  if (s.sgnCAL != 'A') keyboard(s, 'A', 0, 0);
  double pre[kSlots] = {};
  for (int j = 1; j <= nJ && q != nullptr; ++j) pre[j] = q[j - 1];
  *out = GaitCommand(s, kind, kf, q != nullptr ? pre : nullptr);
  usrdisplay(s);
  PrintNotes(s);
  return true;
}

namespace {

// "link J3-J4", "link J4-tip" or "the palm" for a link as COLLlink counts them.
std::string LinkName(int nJ, int link) {
  if (link == 0) return "the palm";
  if (link >= 2 && link <= nJ) return "link J" + std::to_string(link - 1) + "-J" + std::to_string(link);
  if (link == nJ + 1) return "link J" + std::to_string(nJ) + "-tip";
  return "a link";
}

// The fingers that touch the work besides kf, as "1, 3".
std::string OtherTouching(const Sim& s, int kf) {
  std::string list;
  for (int k = 1; k <= s.nF(); ++k) {
    if (k == kf || s.lifted[k]) continue;
    list += (list.empty() ? "" : ", ") + std::to_string(k);
  }
  return list;
}

std::string Epsilon(double e) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4f", e);
  return buf;
}

}  // namespace

const char* GaitKindName(char kind) {
  switch (kind) {
    case 'L': return "lift";
    case 'P': return "place";
    default: return "";
  }
}

std::string GaitReason(const Sim& s, const GaitEvent& g) {
  const std::string f = std::to_string(g.finger);
  const bool lift = g.kind == 'L';
  switch (g.verdict) {
    case 'G': return "the grasp is not complete (G, then s for each finger)";
    case 'S': return std::string("the manipulation has stopped (status ") + s.sgnMANIP + "); G grasps again";
    case 'T': return lift ? "finger " + f + " is lifted already (" + f + " places it)"
                          : "finger " + f + " touches the work (" + f + " lifts it)";
    case 'H': {
      const std::string rest = OtherTouching(s, g.finger);
      return "finger" + std::string(rest.find(',') != std::string::npos ? "s " : " ") + rest +
             " alone would not hold the work (no force closure, epsilon " + Epsilon(g.epsilon) + ")";
    }
    case 'C':
      return LinkName(s.nJ(), g.link) +
             (lift ? " would meet the work on the way to the pre-shape or at it"
                   : " would meet the work on the way or at the contact");
    case 'N': return "it closes from its pre-shape without touching the work";
    case 'R':
      return std::string("its first touch is ") + g.type[0] + g.type[1] +
             ", on which the rolling motion is not defined";
    case 'F':
      return "the gait column of the next stored row is full (" + std::to_string(kMaxRowGaits) +
             " gaits); roll on first";
    default: return "";
  }
}

std::string GaitMessage(const Sim& s, const GaitEvent& g) {
  const std::string f = std::to_string(g.finger);
  if (g.kind == 'L' && g.verdict == 'Y') {
    const std::string rest = OtherTouching(s, g.finger);
    return "Finger " + f + " lifted to its pre-shape; finger" +
           (rest.find(',') != std::string::npos ? "s " : " ") + rest + " hold the work (epsilon " +
           Epsilon(g.epsilon) + ")";
  }
  if (g.kind == 'P' && g.verdict == 'Y')
    return "Finger " + f + " placed: its contact " + g.type[0] + g.type[1] + " rolls with the others";
  if (g.kind == '\0') return "";
  std::string m = std::string(g.kind == 'L' ? "Lift" : "Place") + " of finger " + f +
                  " refused: " + GaitReason(s, g);
  if (g.kind == 'P' && g.verdict != 'T') m += "; it stays lifted";
  return m;
}

std::string GaitPanelText(const GaitEvent& g) {
  const std::string f = std::to_string(g.finger);
  if (g.kind == '\0') return "";
  if (g.verdict == 'Y') return "Finger " + f + (g.kind == 'L' ? " lifted" : " placed");
  const char* why = "";
  switch (g.verdict) {
    case 'G': why = "no grasp"; break;
    case 'S': why = "run stopped"; break;
    case 'T': why = g.kind == 'L' ? "already off" : "it touches"; break;
    case 'H': why = "rest would not hold"; break;
    case 'C': why = "would meet the work"; break;
    case 'N': why = "no contact"; break;
    case 'R': why = "contact cannot roll"; break;
    case 'F': why = "roll on first"; break;
    default: break;
  }
  return std::string(g.kind == 'L' ? "Lift " : "Place ") + f + " refused: " + why;
}

std::string MotionMessage(const Sim& s) {
  switch (s.sgnMANIP) {
    case 'D': return WithCause("Motion In Deadlock", s);
    case 'O': return WithCause("Contact Out of FinLink", s);
    case 'C': return WithCause("Hand/Work Collision", s);
    case 'F': return "Data Overflow: the record is full";
    case 'R': return "Grasp Not On Rim: a contact the rolling step cannot roll";
    default: break;
  }
  if (s.sgnCALGEnd != 'Y') return "Complete Grasp Needed: hit G, then s for each finger";
  return "";
}

std::string StatusMessage(const Sim& s) {
  const char mode = s.sgnCAL == 'I' ? s.sgnCALold : s.sgnCAL;
  switch (mode) {
    case 'A':
    case 'C':
      return MotionMessage(s);
    case 'G':
      if (s.sgnGRASP == 'N') {
        const std::string c = Cause(s);
        return "No FingerLink Grasp: change the work position" + (c.empty() ? "" : " (" + c + ")");
      }
      return "";
    case 'M':
      if (s.sgnGC == 'C') return WithCause("Finger-Work Collision", s);
      return "";
    case 'W':
      if (s.sgnCALGChk == 'C') return WithCause("Hand/Work Collision", s);
      return "";
    default:
      return "";
  }
}

int StatusFinger(const Sim& s) {
  if (s.sgnMANIP == 'C' || s.sgnGC == 'C') return s.COLLlink == 0 ? 0 : s.COLLkf;  // 0: the palm
  for (int k = 1; k <= s.nF(); ++k)
    if (s.sgnC[k] == 'D' || s.sgnC[k] == 'O') return k;
  return 0;
}

}  // namespace rg
