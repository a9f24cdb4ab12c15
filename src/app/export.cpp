#include "app/export.h"

#include "app/keyboard.h"
#include "app/script.h"
#include "app/startup.h"
#include "hand/hand.h"
#include "record/grasp_quality.h"

namespace rg {
namespace {

using nlohmann::json;

// The state object is filled in place: a value already of the right kind is
// overwritten (a number, the characters of a string, the elements of an array of
// the same length) rather than made anew, so that filling the object of the last
// key again allocates nothing.

// dst made a string (left as it is when it is one), for the caller to write into.
std::string& Text(json& dst) {
  if (!dst.is_string()) dst = "";
  return dst.get_ref<std::string&>();
}

void SetText(json& dst, const std::string& t) { Text(dst) = t; }
void SetText(json& dst, const char* t) { Text(dst) = t; }

// A key or flag character's UTF-8 bytes, appended: bytes above 127 as the code point
// of the same number.
void AppendKeyChar(std::string& t, char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u < 0x80) {
    t.push_back(c);
  } else {
    t.push_back(static_cast<char>(0xC0 | (u >> 6)));
    t.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
}

// A flag character: the zero character (not set) is the empty string.
void SetChar(json& dst, char c) {
  std::string& t = Text(dst);
  t.clear();
  if (c != '\0') AppendKeyChar(t, c);
}

void SetTwoChars(json& dst, const char* c) {
  std::string& t = Text(dst);
  t.clear();
  for (int i = 0; i < 2; ++i)
    if (c[i] != '\0') AppendKeyChar(t, c[i]);
}

// dst as an array of n elements (its elements kept when it has n already).
json::array_t& Elements(json& dst, size_t n) {
  if (!dst.is_array() || dst.size() != n) dst = json::array_t(n);
  return dst.get_ref<json::array_t&>();
}

void SetNumbers(json& dst, const double* x, int n) {
  json::array_t& a = Elements(dst, static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) a[static_cast<size_t>(i)] = x[i];
}

void SetVec3(json& dst, const double v[3]) { SetNumbers(dst, v, 3); }

void SetMat3(json& dst, const double E[3][3]) {
  json::array_t& a = Elements(dst, 3);
  for (int i = 0; i < 3; ++i) SetVec3(a[static_cast<size_t>(i)], E[i]);
}

void SetJoints(json& dst, const Model& m, const double* q) { SetNumbers(dst, q + 1, m.nJ); }

}  // namespace

json KeyString(char c) {
  std::string s;
  AppendKeyChar(s, c);
  return s;
}

json StateObject(const Sim& s, const json& key, const std::string& console, int redraws,
                 QualityMeasures quality) {
  json o = json::object();
  FillStateObject(s, key, console, redraws, quality, o);
  return o;
}

void FillStateObject(const Sim& s, const json& key, const std::string& console, int redraws,
                     QualityMeasures quality, json& o) {
  if (!o.is_object()) o = json::object();
  o["key"] = key;
  SetText(o["console"], console);
  o["redraws"] = redraws;
  // the flags, one character each ("" for the zero character)
  for (const auto& [name, c] : {std::pair<const char*, char>{"sgnCAL", s.sgnCAL},
                                {"sgnCALold", s.sgnCALold}, {"sgnCALS", s.sgnCALS},
                                {"sgnCALGEnd", s.sgnCALGEnd}, {"sgnGRASP", s.sgnGRASP},
                                {"sgnCALGChk", s.sgnCALGChk}, {"sgnMANIP", s.sgnMANIP},
                                {"sgnGC", s.sgnGC}, {"sgnCalColl", s.sgnCalColl},
                                {"WORK1", s.WORK1}})
    SetChar(o[name], c);
  SetTwoChars(o["sgnFJ"], s.sgnFJ);
  // the counters
  for (const auto& [name, n] : {std::pair<const char*, int>{"HAND1", s.HAND1}, {"nF", s.nF()},
                                {"nJ", s.nJ()}, {"nFIN", s.nFIN}, {"cntQ", s.cntQ},
                                {"COLLkf", s.COLLkf}, {"cntManip0", s.cntManip0},
                                {"cntMainip1", s.cntMainip1}, {"cntRepeat", s.cntRepeat},
                                {"record_rows", RecordLength(s)}})
    o[name] = n;
  // the numbers, vectors and frames
  for (const auto& [name, x] : {std::pair<const char*, double>{"ManipTS", s.ManipTS},
                                {"al0", s.al0}, {"bet0", s.bet0}, {"qam0", s.qam0}, {"dt", s.dt}})
    o[name] = x;
  SetText(o["WorkVel"], s.WorkVel);
  // the works' sizes (length units): the built-in ones unless a run chose others
  o["work_sizes"] = json{{"sphere_radius", s.model().aSph},
                         {"cylinder_radius", s.model().aCyl},
                         {"cylinder_height", s.model().hCyl}};
  for (const auto& [name, v] : {std::pair<const char*, const double*>{"rwG0", s.rwG0},
                                {"rwG", s.rwG}, {"RWW", s.RWW}, {"vw", s.vw},
                                {"omww", s.omww}, {"omw", s.omw}, {"rot", s.rot},
                                {"trans", s.trans}, {"ManipRW2", s.ManipRW2[1]}})
    SetVec3(o[name], v);
  using Frame = const double (*)[3];
  for (const auto& [name, E] : {std::pair<const char*, Frame>{"EwG0", s.EwG0}, {"EwG", s.EwG},
                                {"EWW", s.EWW}, {"ManipEW2", s.ManipEW2[1]}})
    SetMat3(o[name], E);
  json::array_t& fingers = Elements(o["fingers"], static_cast<size_t>(s.nF()));
  for (int kf = 1; kf <= s.nF(); ++kf) {
    json& f = fingers[static_cast<size_t>(kf - 1)];
    if (!f.is_object()) f = json::object();
    f["kf"] = kf;
    SetJoints(f["qq0"], s.model(), s.qq0[kf]);
    SetJoints(f["qf"], s.model(), s.qf[kf]);
    SetJoints(f["q"], s.model(), s.qqa2[1][kf]);
    SetTwoChars(f["GGTYPE"], s.GGTYPE[kf]);
    SetChar(f["sgnGRASPM"], s.sgnGRASPM[kf]);
    SetChar(f["sgnUML"], s.sgnUML[kf]);
    SetChar(f["sgnC"], s.sgnC[kf]);
    f["touching"] = !s.lifted[kf];  // false while a gait holds it off the work
    const ContactPrm& p = s.ManipPrm2[1][kf];
    for (const auto& [name, x] : {std::pair<const char*, double>{"Lf", p.Lf}, {"fif", p.fif},
                                  {"psif", p.psif}, {"Lw", p.Lw}, {"Ltw", p.Ltw},
                                  {"thw", p.thw}, {"alw", p.alw}, {"betw", p.betw}})
      f[name] = x;
    SetVec3(f["CPNT"], s.ManipCPNTA2[1][kf]);
    SetVec3(f["NW"], s.ManipNWA2[1][kf]);
    const FingerPose P = Findirect_kineR(s.model(), s.mount(kf), s.qqa2[1][kf]);
    json::array_t& ja = Elements(f["JA"], static_cast<size_t>(s.nJ()) + 2);
    for (int j = 0; j <= s.nJ() + 1; ++j) SetVec3(ja[static_cast<size_t>(j)], P.JA[j]);
  }
  // the grasp's quality as it stands (nothing holds before the grasp is complete);
  // the volume only when asked for
  const QualityResult q = GraspQualityNow(s, quality);
  json& qo = o["quality"];
  qo["force_closure"] = q.force_closure;
  qo["epsilon"] = q.epsilon;
  qo["volume"] = quality == QualityMeasures::All ? json(q.volume) : json(nullptr);
  SetText(qo["model"], ContactModelName(q.settings.model));
  qo["mu"] = q.settings.mu;
  qo["torsion"] = q.settings.torsion;
  qo["cone_edges"] = q.settings.cone_edges;
  // the goal pose and the path planned to it; the planned path's fields only once
  // one was planned
  const PlanOutcome& po = s.plan.outcome;
  const GoalPose& g = s.plan.goal;
  json& plan = o["plan"];
  if (!plan.is_object() || plan.value("planned", !po.planned) != po.planned) plan = json::object();
  const double goal[6] = {g.rx, g.ry, g.rz, g.x, g.y, g.z};
  SetNumbers(plan["goal"], goal, 6);
  plan["planned"] = po.planned;
  plan["path_steps"] = s.plan.path.size();
  plan["followed"] = s.plan.next;
  if (po.planned) {
    const GoalPose& pg = po.goal;
    const double planned[6] = {pg.rx, pg.ry, pg.rz, pg.x, pg.y, pg.z};
    SetNumbers(plan["planned_goal"], planned, 6);
    plan["refused"] = po.refused;
    plan["reached"] = po.reached;
    plan["orientation_error_deg"] = po.orientErrDeg;
    plan["position_error"] = po.posErr;
    plan["steps"] = po.steps;
    plan["gaits"] = po.gaits;
    plan["min_conditioning"] = po.minSigma;
    plan["min_conditioning_finger"] = po.minSigmaFinger;
    SetText(plan["reason"], po.reason);
    plan["planning_seconds"] = po.planSeconds;
    plan["steps_tried"] = po.stepsTried;
    plan["seed"] = po.seed;
    SetText(plan["found_by"], po.how);
  }
  // the last finger gait asked for (kind "" before any since the grasp)
  const GaitEvent& ge = s.gait;
  json& gait = o["gait"];
  SetText(gait["kind"], GaitKindName(ge.kind));
  gait["finger"] = ge.finger;
  gait["done"] = ge.kind != '\0' && ge.verdict == 'Y';
  SetChar(gait["verdict"], ge.verdict);
  SetText(gait["reason"], GaitReason(s, ge));
  SetTwoChars(gait["type"], ge.type);
  gait["epsilon"] = ge.epsilon;
  gait["step"] = ge.step;
  SetText(gait["message"], GaitMessage(s, ge));
  // what the window shows for the current status, and the finger it concerns
  SetText(o["message"], StatusMessage(s));
  o["message_finger"] = StatusFinger(s);
}

KeyDriver::KeyDriver() : sim_(std::make_unique<Sim>()) {
  sim_->redraw = [this] { ++redraws_; };
  StartUpQuiet(*sim_);
  TakeConsole();
}

bool KeyDriver::Press(unsigned char key) {
  redraws_ = 0;
  const bool quit = keyboard(*sim_, key, 0, 0);
  key_ = KeyString(static_cast<char>(key));
  TakeConsole();
  return quit;
}

const json& KeyDriver::State(QualityMeasures quality) const {
  FillStateObject(*sim_, key_, console_, redraws_, quality, state_);
  return state_;
}

void KeyDriver::TakeConsole() {
  console_ = sim_->con.text();
  sim_->con.ClearText();
}

}  // namespace rg
