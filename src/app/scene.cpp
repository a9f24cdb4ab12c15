// Scene files: reading (every field bounded and checked, one line for what is
// wrong), writing (round-trip numbers, the hand file relative to the scene), and
// setting a simulation up with a scene as the setting keys would.
#include "app/scene.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <utility>

#include "app/hand_choice.h"
#include "app/keyboard.h"
#include "app/script.h"
#include "core/output_file.h"
#include "hand/hand.h"
#include "hand/hand_file.h"
#include "numerics/text_number.h"
#include "numerics/vecmat.h"
#include "plan/plan.h"
#include "work/work.h"

namespace rg {

namespace fs = std::filesystem;
using nlohmann::json;
using nlohmann::ordered_json;

// ---- work size options

namespace {

struct SizeOption {
  const char* option;
  double WorkSizes::*size;
  double lo, hi;
};
const SizeOption kSizeOptions[] = {
    {"--sphere-radius", &WorkSizes::sphereRadius, kMinWorkRadius, kMaxWorkRadius},
    {"--cylinder-radius", &WorkSizes::cylinderRadius, kMinWorkRadius, kMaxWorkRadius},
    {"--cylinder-height", &WorkSizes::cylinderHeight, kMinCylinderHeight, kMaxCylinderHeight}};

std::string Range(double lo, double hi) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g to %g", lo, hi);
  return buf;
}

}  // namespace

bool IsWorkSizeOption(const std::string& option) {
  for (const SizeOption& o : kSizeOptions)
    if (option == o.option) return true;
  return false;
}

bool ParseWorkSizeOption(const std::string& option, const std::string& value, WorkSizes* w,
                         std::string* why) {
  for (const SizeOption& o : kSizeOptions) {
    if (option != o.option) continue;
    double x = 0.0;
    if (!ParseFiniteNumber(value, &x) || !(x >= o.lo && x <= o.hi)) {
      *why = option + " needs a number from " + Range(o.lo, o.hi) + " (length units), not '" +
             value + "'";
      return false;
    }
    w->*o.size = x;
    return true;
  }
  *why = "unknown option " + option;
  return false;
}

// ---- the scene of a simulation, and its text

Scene SceneOf(const Sim& s) {
  Scene sc;
  sc.hand = s.HAND1;
  sc.model = s.handModel;
  if (sc.hand == 0) sc.handFile = s.model().source;
  sc.work = s.WORK1;
  sc.sizes = SizesOf(s.model());
  VecCopy(s.rwG0, sc.r);
  MatCopy(s.EwG0, sc.E);
  VecSet(s.al0, s.bet0, s.qam0, sc.angles);
  VecCopy(s.vw, sc.vw);
  VecCopy(s.omww, sc.omww);
  for (int kf = 1; kf <= s.nF(); ++kf)
    for (int j = 1; j <= s.nJ(); ++j) sc.q[kf][j] = s.qq0[kf][j];
  sc.quality = s.qualitySettings;
  const GoalPose& g = s.plan.goal;
  sc.haveGoal = g.rx != 0 || g.ry != 0 || g.rz != 0 || g.x != 0 || g.y != 0 || g.z != 0;
  sc.goal = g;
  sc.seed = s.plan.seed;
  sc.planSteps = s.plan.maxSteps;
  return sc;
}

namespace {

ordered_json Vec(const double* v, int n) {
  ordered_json a = ordered_json::array();
  for (int i = 0; i < n; ++i) a.push_back(v[i]);
  return a;
}

// The hand file as the scene at path names it: relative to the scene's folder when
// the file lies under it.
std::string HandPathFrom(const std::string& handFile, const std::string& scenePath) {
  std::error_code ec;
  const fs::path hand = fs::absolute(handFile, ec).lexically_normal();
  const fs::path dir = fs::absolute(scenePath, ec).lexically_normal().parent_path();
  if (ec) return hand.string();
  const fs::path rel = hand.lexically_relative(dir);
  if (rel.empty() || *rel.begin() == "..") return hand.string();
  return rel.string();
}

// JSON text laid out for reading: one member per line, an array of numbers on one
// line, the frame's rows one per line.
void Layout(const ordered_json& v, int indent, std::string& out) {
  const std::string pad(static_cast<size_t>(indent) + 2, ' ');
  if (v.is_object()) {
    out += "{\n";
    size_t i = 0;
    for (auto it = v.begin(); it != v.end(); ++it, ++i) {
      out += pad + ordered_json(it.key()).dump() + ": ";
      Layout(it.value(), indent + 2, out);
      out += i + 1 < v.size() ? ",\n" : "\n";
    }
    out += std::string(static_cast<size_t>(indent), ' ') + "}";
  } else if (v.is_array() && !v.empty() && v[0].is_array()) {
    out += "[\n";
    for (size_t i = 0; i < v.size(); ++i) {
      out += pad;
      Layout(v[i], indent + 2, out);
      out += i + 1 < v.size() ? ",\n" : "\n";
    }
    out += std::string(static_cast<size_t>(indent), ' ') + "]";
  } else if (v.is_array()) {
    out += "[";
    for (size_t i = 0; i < v.size(); ++i) out += (i ? ", " : "") + v[i].dump();
    out += "]";
  } else {
    out += v.dump();
  }
}

}  // namespace

std::string SceneText(const Scene& sc, const std::string& path) {
  ordered_json o;
  o["rollgrasp_scene"] = kSceneVersion;
  if (sc.hand == 0)
    o["hand"] = HandPathFrom(sc.handFile, path);
  else
    o["hand"] = sc.hand;
  o["work"] = sc.work == '1' ? "sphere" : "cylinder";
  o["work_sizes"] = {{"sphere_radius", sc.sizes.sphereRadius},
                     {"cylinder_radius", sc.sizes.cylinderRadius},
                     {"cylinder_height", sc.sizes.cylinderHeight}};
  o["work_pose"] = {{"position", Vec(sc.r, 3)},
                    {"frame", {Vec(sc.E[0], 3), Vec(sc.E[1], 3), Vec(sc.E[2], 3)}},
                    {"turns", Vec(sc.angles, 3)}};
  o["velocity"] = {{"linear", Vec(sc.vw, 3)}, {"angular", Vec(sc.omww, 3)}};
  ordered_json q = ordered_json::array();
  for (int kf = 1; kf <= sc.model->nF; ++kf) q.push_back(Vec(sc.q[kf] + 1, sc.model->nJ));
  o["initial_angles"] = q;
  o["quality"] = {{"friction", sc.quality.mu},
                  {"torsion", sc.quality.torsion},
                  {"contact", ContactModelName(sc.quality.model)},
                  {"cone_edges", sc.quality.cone_edges}};
  if (sc.haveGoal) {
    const GoalPose& g = sc.goal;
    const double v[6] = {g.rx, g.ry, g.rz, g.x, g.y, g.z};
    o["goal"] = Vec(v, 6);
  }
  o["plan"] = {{"seed", sc.seed}};
  if (sc.planSteps > 0) o["plan"]["max_steps"] = sc.planSteps;
  // nlohmann writes every double with the shortest text that reads back as the same bits
  std::string text;
  Layout(o, 0, text);
  return text + "\n";
}

bool SaveScene(const Sim& s, const std::string& path, std::string* why) {
  const std::string text = SceneText(SceneOf(s), path);
  // The setting keys have no bounds of their own: a velocity, pose or angle typed
  // past what a scene file holds would be written and then refused when read. Such a
  // scene is refused here instead, with the reader's line.
  Scene readBack;
  std::error_code ec;
  const fs::path dir = fs::absolute(path, ec).parent_path();
  if (!ParseScene(text, "the scene", dir.string(), &readBack, why)) {
    *why = "not saved: " + *why;
    return false;
  }
  return WriteFileWhole(path, text, why);
}

// ---- reading

namespace {

struct TooDeep {};

// Reads the fields of one scene document; the first problem ends the reading with
// its line.
class Reader {
 public:
  Reader(std::string where, std::string* why) : where_(std::move(where)), why_(why) {}

  bool Fail(const std::string& field, const std::string& what) {
    *why_ = where_ + ": " + field + ": " + what;
    return false;
  }
  // what a value is, for a refusal: its JSON text, cut short
  static std::string Shown(const json& v) {
    std::string t = v.dump(-1, ' ', false, json::error_handler_t::replace);
    if (t.size() > 40) t = t.substr(0, 37) + "...";
    return t;
  }
  // Only the names listed may appear in object o.
  bool OnlyFields(const json& o, const std::string& field, std::initializer_list<const char*> names) {
    if (!o.is_object()) return Fail(field.empty() ? "the scene" : field, "must be a JSON object");
    for (auto it = o.begin(); it != o.end(); ++it) {
      bool known = false;
      for (const char* n : names) known = known || it.key() == n;
      if (!known) {
        std::string list;
        for (const char* n : names) list += (list.empty() ? "" : ", ") + std::string(n);
        return Fail(field.empty() ? "'" + it.key() + "'" : field + "." + it.key(),
                    "unknown field (known: " + list + ")");
      }
    }
    return true;
  }
  bool Number(const json& v, const std::string& field, double lo, double hi, double* out) {
    if (!v.is_number() || !std::isfinite(v.get<double>()) || !(v.get<double>() >= lo) ||
        !(v.get<double>() <= hi))
      return Fail(field, "must be a number from " + Range(lo, hi) + ", not " + Shown(v));
    *out = v.get<double>();
    return true;
  }
  bool Whole(const json& v, const std::string& field, long long lo, long long hi, long long* out) {
    bool ok = false;
    long long x = 0;
    if (v.is_number_unsigned()) {
      const unsigned long long u = v.get<unsigned long long>();
      ok = u <= static_cast<unsigned long long>(hi);
      x = ok ? static_cast<long long>(u) : 0;
      ok = ok && x >= lo;
    } else if (v.is_number_integer()) {
      x = v.get<long long>();
      ok = x >= lo && x <= hi;
    }
    if (!ok)
      return Fail(field, "must be a whole number from " + std::to_string(lo) + " to " +
                             std::to_string(hi) + ", not " + Shown(v));
    *out = x;
    return true;
  }
  bool Numbers(const json& v, const std::string& field, int n, double lo, double hi, double* out) {
    if (!v.is_array() || static_cast<int>(v.size()) != n)
      return Fail(field, "must be an array of " + std::to_string(n) + " numbers from " +
                             Range(lo, hi) + ", not " + Shown(v));
    for (int i = 0; i < n; ++i)
      if (!Number(v[i], field + "[" + std::to_string(i) + "]", lo, hi, &out[i])) return false;
    return true;
  }

 private:
  std::string where_;
  std::string* why_;
};

const json* Member(const json& o, const char* name) {
  auto it = o.find(name);
  return it == o.end() ? nullptr : &*it;
}

bool ReadHand(Reader& rd, const json& v, const std::string& dir, Scene* sc) {
  if (v.is_number()) {
    long long n = 0;
    if (!rd.Whole(v, "hand", 1, 4, &n)) return false;
    sc->hand = static_cast<int>(n);
    sc->model = CatalogueModel(sc->hand);
    return true;
  }
  if (!v.is_string() || v.get_ref<const std::string&>().empty() ||
      v.get_ref<const std::string&>().find('\0') != std::string::npos)
    return rd.Fail("hand", "must be a built-in hand 1..4 or a hand file's path, not " +
                               Reader::Shown(v));
  fs::path p = v.get<std::string>();
  if (p.is_relative()) p = fs::path(dir) / p;
  std::error_code ec;
  if (!fs::exists(p, ec)) return rd.Fail("hand", "hand file " + p.string() + " not found");
  HandFileResult r = LoadHandFile(p.string());
  if (!r.model) return rd.Fail("hand", r.error);
  sc->hand = 0;
  sc->handFile = r.model->source;
  sc->model = r.model;
  return true;
}

bool ReadPose(Reader& rd, const json& o, Scene* sc) {
  if (!rd.OnlyFields(o, "work_pose", {"position", "frame", "turns"})) return false;
  if (const json* v = Member(o, "position"))
    if (!rd.Numbers(*v, "work_pose.position", 3, -kMaxScriptPosition, kMaxScriptPosition, sc->r))
      return false;
  if (const json* v = Member(o, "frame")) {
    if (!v->is_array() || v->size() != 3)
      return rd.Fail("work_pose.frame", "must be a 3 x 3 rotation matrix (three rows of three numbers)");
    for (int i = 0; i < 3; ++i)
      if (!rd.Numbers((*v)[i], "work_pose.frame[" + std::to_string(i) + "]", 3, -2.0, 2.0, sc->E[i]))
        return false;
    if (!IsRotation(sc->E))
      return rd.Fail("work_pose.frame", "must be a rotation matrix (orthonormal, determinant +1)");
  }
  if (const json* v = Member(o, "turns"))
    if (!rd.Numbers(*v, "work_pose.turns", 3, -kMaxSceneTurnAngle, kMaxSceneTurnAngle, sc->angles))
      return false;
  return true;
}

bool ReadQuality(Reader& rd, const json& o, Scene* sc) {
  if (!rd.OnlyFields(o, "quality", {"friction", "torsion", "contact", "cone_edges"})) return false;
  QualitySettings& q = sc->quality;
  if (const json* v = Member(o, "friction"))
    if (!rd.Number(*v, "quality.friction", 0.0, 1e6, &q.mu)) return false;
  if (const json* v = Member(o, "torsion"))
    if (!rd.Number(*v, "quality.torsion", 0.0, 1e6, &q.torsion)) return false;
  if (const json* v = Member(o, "contact")) {
    if (*v == "point")
      q.model = ContactModel::Point;
    else if (*v == "soft")
      q.model = ContactModel::Soft;
    else
      return rd.Fail("quality.contact", "must be \"point\" or \"soft\", not " + Reader::Shown(*v));
  }
  if (const json* v = Member(o, "cone_edges")) {
    long long m = 0;
    if (!rd.Whole(*v, "quality.cone_edges", kMinConeEdges, kMaxConeEdges, &m)) return false;
    q.cone_edges = static_cast<int>(m);
  }
  return true;
}

bool ReadFields(Reader& rd, const json& o, const std::string& dir, Scene* sc) {
  if (!rd.OnlyFields(o, "", {"rollgrasp_scene", "hand", "work", "work_sizes", "work_pose",
                             "velocity", "initial_angles", "quality", "goal", "plan"}))
    return false;
  const json* version = Member(o, "rollgrasp_scene");
  if (version == nullptr) return rd.Fail("rollgrasp_scene", "missing: a scene file starts with \"rollgrasp_scene\": 1");
  long long n = 0;
  if (!rd.Whole(*version, "rollgrasp_scene", 1, 1000000, &n)) return false;
  if (n > kSceneVersion)
    return rd.Fail("rollgrasp_scene", "version " + std::to_string(n) +
                                          " is newer than this program reads (" +
                                          std::to_string(kSceneVersion) + ")");
  // the start-up's scene where a field is left out
  sc->hand = 1;
  sc->model = CatalogueModel(1);
  if (const json* v = Member(o, "hand"))
    if (!ReadHand(rd, *v, dir, sc)) return false;
  sc->work = '2';
  if (const json* v = Member(o, "work")) {
    if (*v != "cylinder" && *v != "sphere")
      return rd.Fail("work", "must be \"cylinder\" or \"sphere\", not " + Reader::Shown(*v));
    sc->work = *v == "sphere" ? '1' : '2';
  }
  if (const json* v = Member(o, "work_sizes")) {
    if (!rd.OnlyFields(*v, "work_sizes", {"sphere_radius", "cylinder_radius", "cylinder_height"}))
      return false;
    const std::pair<const char*, double WorkSizes::*> sizes[] = {
        {"sphere_radius", &WorkSizes::sphereRadius},
        {"cylinder_radius", &WorkSizes::cylinderRadius},
        {"cylinder_height", &WorkSizes::cylinderHeight}};
    for (const auto& [name, size] : sizes) {
      const json* x = Member(*v, name);
      if (x == nullptr) continue;
      const bool height = size == &WorkSizes::cylinderHeight;
      if (!rd.Number(*x, std::string("work_sizes.") + name, height ? kMinCylinderHeight : kMinWorkRadius,
                     height ? kMaxCylinderHeight : kMaxWorkRadius, &(sc->sizes.*size)))
        return false;
    }
  }
  sc->model = WithWorkSizes(sc->model, sc->sizes);
  const WorkPose home = DefaultWorkPose(sc->work);
  VecCopy(home.r, sc->r);
  MatCopy(home.E, sc->E);
  VecSet(sc->work == '1' ? 0.0 : kCylinderHomeTurn, 0.0, 0.0, sc->angles);
  if (const json* v = Member(o, "work_pose"))
    if (!ReadPose(rd, *v, sc)) return false;
  VecSet(0, 0, 0, sc->vw);
  VecSet(0, 0, 0.02, sc->omww);
  if (const json* v = Member(o, "velocity")) {
    if (!rd.OnlyFields(*v, "velocity", {"linear", "angular"})) return false;
    if (const json* x = Member(*v, "linear"))
      if (!rd.Numbers(*x, "velocity.linear", 3, -kMaxScriptSpeed, kMaxScriptSpeed, sc->vw)) return false;
    if (const json* x = Member(*v, "angular"))
      if (!rd.Numbers(*x, "velocity.angular", 3, -kMaxScriptTurnRate, kMaxScriptTurnRate, sc->omww))
        return false;
  }
  const Model& m = *sc->model;
  for (int kf = 1; kf <= m.nF; ++kf)
    for (int j = 1; j <= m.nJ; ++j) sc->q[kf][j] = m.qInit[kf][j];
  if (const json* v = Member(o, "initial_angles")) {
    if (!v->is_array() || static_cast<int>(v->size()) != m.nF)
      return rd.Fail("initial_angles", "must be an array of " + std::to_string(m.nF) +
                                           " fingers' angles (the hand's fingers), not " + Reader::Shown(*v));
    for (int kf = 1; kf <= m.nF; ++kf)
      if (!rd.Numbers((*v)[kf - 1], "initial_angles[" + std::to_string(kf - 1) + "]", m.nJ,
                      -kMaxScriptAngle, kMaxScriptAngle, sc->q[kf] + 1))
        return false;
  }
  if (const json* v = Member(o, "quality"))
    if (!ReadQuality(rd, *v, sc)) return false;
  if (const json* v = Member(o, "goal")) {
    double g[6] = {};
    const int count = v->is_array() ? static_cast<int>(v->size()) : 0;
    if (count != 3 && count != 6)
      return rd.Fail("goal", "must be an array of 3 or 6 numbers (rx, ry, rz[, x, y, z]), not " + Reader::Shown(*v));
    for (int i = 0; i < count; ++i) {
      const double bound = i < 3 ? kMaxGoalTurnDeg : kMaxGoalShift;
      if (!rd.Number((*v)[i], "goal[" + std::to_string(i) + "]", -bound, bound, &g[i])) return false;
    }
    sc->haveGoal = true;
    sc->goal = GoalPose{g[0], g[1], g[2], g[3], g[4], g[5]};
  }
  if (const json* v = Member(o, "plan")) {
    if (!rd.OnlyFields(*v, "plan", {"seed", "max_steps"})) return false;
    long long x = 0;
    if (const json* s = Member(*v, "seed")) {
      if (!rd.Whole(*s, "plan.seed", 0, 4294967295LL, &x)) return false;
      sc->seed = static_cast<unsigned>(x);
    }
    if (const json* s = Member(*v, "max_steps")) {
      if (!rd.Whole(*s, "plan.max_steps", 1, kMaxPlanSteps, &x)) return false;
      sc->planSteps = static_cast<long>(x);
    }
  }
  return true;
}

}  // namespace

bool ParseScene(const std::string& text, const std::string& where, const std::string& dir,
                Scene* out, std::string* why) {
  if (text.size() > kMaxSceneFileBytes) {
    *why = where + ": more than " + std::to_string(kMaxSceneFileBytes) +
           " bytes, the most a scene file may hold";
    return false;
  }
  json doc;
  try {
    // containers deeper than a scene has end the reading at once
    doc = json::parse(text, [](int depth, json::parse_event_t e, json&) {
      if ((e == json::parse_event_t::object_start || e == json::parse_event_t::array_start) &&
          depth >= kMaxSceneDepth)
        throw TooDeep{};
      return true;
    });
  } catch (const TooDeep&) {
    *why = where + ": nested deeper than " + std::to_string(kMaxSceneDepth) +
           " levels, more than a scene has";
    return false;
  } catch (const json::exception& e) {
    std::string m = e.what();
    const size_t end = m.find("] ");
    if (m.rfind("[json.exception", 0) == 0 && end != std::string::npos) m = m.substr(end + 2);
    // the parser quotes the bytes it last read, which may be any bytes of the file:
    // the line keeps printable ASCII only, so that it stays one line of valid UTF-8
    for (char& c : m) {
      const unsigned char u = static_cast<unsigned char>(c);
      if (u < 0x20 || u >= 0x7f) c = u == '\n' || u == '\r' ? ' ' : '?';
    }
    *why = where + ": not a JSON scene: " + m;
    return false;
  }
  Scene sc;
  Reader rd(where, why);
  if (!ReadFields(rd, doc, dir, &sc)) return false;
  *out = std::move(sc);
  return true;
}

bool ReadScene(const std::string& path, Scene* out, std::string* why) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    *why = path + ": is a directory, not a scene file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = path + ": cannot read the scene file";
    return false;
  }
  // one byte more than a scene may hold at most: an endless device is read no further
  std::string text(kMaxSceneFileBytes + 1, '\0');
  in.read(&text[0], static_cast<std::streamsize>(text.size()));
  if (in.bad()) {
    *why = path + ": cannot read the scene file";
    return false;
  }
  text.resize(static_cast<size_t>(in.gcount()));
  const fs::path dir = fs::absolute(path, ec).parent_path();
  return ParseScene(text, path, dir.string(), out, why);
}

// ---- applying

void ApplyScene(Sim& s, const Scene& sc) {
  s.qualitySettings = sc.quality;
  s.plan.goal = sc.haveGoal ? sc.goal : GoalPose{};
  s.plan.seed = sc.seed;
  s.plan.maxSteps = sc.planSteps;
  // the work sizes, then the hand (which keeps them) as key H or a hand file chooses it
  s.handModel = WithWorkSizes(s.handModel, sc.sizes);
  if (sc.hand == 0) {
    SelectHandModel(s, sc.model);
  } else {
    selectHand(s, static_cast<char>('0' + sc.hand));
    RESETGRASP(s);
  }
  // the work as key W chooses it (its default pose, the hand's initial angles)
  selectWork(s, sc.work);
  // each finger's initial angles as mode J sets them
  for (int kf = 1; kf <= s.nF(); ++kf) InitialAnglesSet(s, kf, sc.q[kf] + 1);
  // the pose as mode M sets it (grasp reset, the fingers checked against the work)
  WorkPoseSet(s, sc.r, sc.E);
  s.al0 = sc.angles[0];
  s.bet0 = sc.angles[1];
  s.qam0 = sc.angles[2];
  // the velocity as mode V sets it (its label, omw for the work's frame)
  SetWorkVelocityValues(s, sc.vw, sc.omww, s.EwG);
  // grasp mode with the hand in its initial pose, as after the start-up
  s.sgnCAL = 'G';
  s.sgnCALS = 'S';
  s.nFIN = 0;
  usrdisplay(s);
}

}  // namespace rg
