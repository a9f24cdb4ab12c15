#include "app/export.h"

#include "app/keyboard.h"
#include "app/script.h"
#include "app/startup.h"
#include "hand/hand.h"
#include "record/grasp_quality.h"

namespace rg {
namespace {

using nlohmann::json;

// A flag character: the zero character (not set) is the empty string.
json CharString(char c) {
  if (c == '\0') return "";
  return KeyString(c);
}

json TwoChars(const char* c) {
  std::string s;
  for (int i = 0; i < 2; ++i) s += CharString(c[i]).get<std::string>();
  return s;
}

// Arrays made in place: an initializer list would copy every element.
json Numbers(const double* x, int n) {
  json::array_t a;
  a.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) a.emplace_back(x[i]);
  return json(std::move(a));
}

json Vec3(const double v[3]) { return Numbers(v, 3); }

json Mat3(const double E[3][3]) {
  json::array_t a;
  a.reserve(3);
  for (int i = 0; i < 3; ++i) a.push_back(Vec3(E[i]));
  return json(std::move(a));
}

json Joints(const Model& m, const double* q) { return Numbers(q + 1, m.nJ); }

}  // namespace

json KeyString(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  std::string s;
  if (u < 0x80) {
    s.push_back(c);
  } else {
    s.push_back(static_cast<char>(0xC0 | (u >> 6)));
    s.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
  return s;
}

json StateObject(const Sim& s, const json& key, const std::string& console, int redraws,
                 QualityMeasures quality) {
  json o;
  o["key"] = key;
  o["console"] = console;
  o["redraws"] = redraws;
  // the flags, one character each ("" for the zero character)
  for (const auto& [name, c] : {std::pair<const char*, char>{"sgnCAL", s.sgnCAL},
                                {"sgnCALold", s.sgnCALold}, {"sgnCALS", s.sgnCALS},
                                {"sgnCALGEnd", s.sgnCALGEnd}, {"sgnGRASP", s.sgnGRASP},
                                {"sgnCALGChk", s.sgnCALGChk}, {"sgnMANIP", s.sgnMANIP},
                                {"sgnGC", s.sgnGC}, {"sgnCalColl", s.sgnCalColl},
                                {"WORK1", s.WORK1}})
    o[name] = CharString(c);
  o["sgnFJ"] = TwoChars(s.sgnFJ);
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
  o["WorkVel"] = std::string(s.WorkVel);
  for (const auto& [name, v] : {std::pair<const char*, const double*>{"rwG0", s.rwG0},
                                {"rwG", s.rwG}, {"RWW", s.RWW}, {"vw", s.vw},
                                {"omww", s.omww}, {"omw", s.omw}, {"rot", s.rot},
                                {"trans", s.trans}, {"ManipRW2", s.ManipRW2[1]}})
    o[name] = Vec3(v);
  using Frame = const double (*)[3];
  for (const auto& [name, E] : {std::pair<const char*, Frame>{"EwG0", s.EwG0}, {"EwG", s.EwG},
                                {"EWW", s.EWW}, {"ManipEW2", s.ManipEW2[1]}})
    o[name] = Mat3(E);
  json fingers = json::array();
  fingers.get_ref<json::array_t&>().reserve(static_cast<size_t>(s.nF()));
  for (int kf = 1; kf <= s.nF(); ++kf) {
    json f;
    f["kf"] = kf;
    f["qq0"] = Joints(s.model(), s.qq0[kf]);
    f["qf"] = Joints(s.model(), s.qf[kf]);
    f["q"] = Joints(s.model(), s.qqa2[1][kf]);
    f["GGTYPE"] = TwoChars(s.GGTYPE[kf]);
    f["sgnGRASPM"] = CharString(s.sgnGRASPM[kf]);
    f["sgnUML"] = CharString(s.sgnUML[kf]);
    f["sgnC"] = CharString(s.sgnC[kf]);
    f["touching"] = !s.lifted[kf];  // false while a gait holds it off the work
    const ContactPrm& p = s.ManipPrm2[1][kf];
    for (const auto& [name, x] : {std::pair<const char*, double>{"Lf", p.Lf}, {"fif", p.fif},
                                  {"psif", p.psif}, {"Lw", p.Lw}, {"Ltw", p.Ltw},
                                  {"thw", p.thw}, {"alw", p.alw}, {"betw", p.betw}})
      f[name] = x;
    f["CPNT"] = Vec3(s.ManipCPNTA2[1][kf]);
    f["NW"] = Vec3(s.ManipNWA2[1][kf]);
    const FingerPose P = Findirect_kineR(s.model(), s.mount(kf), s.qqa2[1][kf]);
    json ja = json::array();
    ja.get_ref<json::array_t&>().reserve(static_cast<size_t>(s.nJ()) + 2);
    for (int j = 0; j <= s.nJ() + 1; ++j) ja.push_back(Vec3(P.JA[j]));
    // moved, not copied: a copy of a JSON value is a deep one
    f["JA"] = std::move(ja);
    fingers.push_back(std::move(f));
  }
  o["fingers"] = std::move(fingers);
  // the grasp's quality as it stands (nothing holds before the grasp is complete);
  // the volume only when asked for
  const QualityResult q = GraspQualityNow(s, quality);
  // (the objects below are filled key by key: an initializer list copies every pair)
  json& qo = o["quality"];
  qo["force_closure"] = q.force_closure;
  qo["epsilon"] = q.epsilon;
  qo["volume"] = quality == QualityMeasures::All ? json(q.volume) : json(nullptr);
  qo["model"] = ContactModelName(q.settings.model);
  qo["mu"] = q.settings.mu;
  qo["torsion"] = q.settings.torsion;
  qo["cone_edges"] = q.settings.cone_edges;
  // the goal pose and the path planned to it
  const PlanOutcome& po = s.plan.outcome;
  const GoalPose& g = s.plan.goal;
  json& plan = o["plan"];
  const double goal[6] = {g.rx, g.ry, g.rz, g.x, g.y, g.z};
  plan["goal"] = Numbers(goal, 6);
  plan["planned"] = po.planned;
  plan["path_steps"] = s.plan.path.size();
  plan["followed"] = s.plan.next;
  if (po.planned) {
    const GoalPose& pg = po.goal;
    const double planned[6] = {pg.rx, pg.ry, pg.rz, pg.x, pg.y, pg.z};
    plan["planned_goal"] = Numbers(planned, 6);
    plan["refused"] = po.refused;
    plan["reached"] = po.reached;
    plan["orientation_error_deg"] = po.orientErrDeg;
    plan["position_error"] = po.posErr;
    plan["steps"] = po.steps;
    plan["gaits"] = po.gaits;
    plan["min_conditioning"] = po.minSigma;
    plan["min_conditioning_finger"] = po.minSigmaFinger;
    plan["reason"] = po.reason;
    plan["planning_seconds"] = po.planSeconds;
    plan["steps_tried"] = po.stepsTried;
    plan["seed"] = po.seed;
    plan["found_by"] = po.how;
  }
  // the last finger gait asked for (kind "" before any since the grasp)
  const GaitEvent& ge = s.gait;
  json& gait = o["gait"];
  gait["kind"] = GaitKindName(ge.kind);
  gait["finger"] = ge.finger;
  gait["done"] = ge.kind != '\0' && ge.verdict == 'Y';
  gait["verdict"] = CharString(ge.verdict);
  gait["reason"] = GaitReason(s, ge);
  gait["type"] = TwoChars(ge.type);
  gait["epsilon"] = ge.epsilon;
  gait["step"] = ge.step;
  gait["message"] = GaitMessage(s, ge);
  // what the window shows for the current status, and the finger it concerns
  o["message"] = StatusMessage(s);
  o["message_finger"] = StatusFinger(s);
  return o;
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

json KeyDriver::State(QualityMeasures quality) const {
  return StateObject(*sim_, key_, console_, redraws_, quality);
}

void KeyDriver::TakeConsole() {
  console_ = sim_->con.text();
  sim_->con.ClearText();
}

}  // namespace rg
