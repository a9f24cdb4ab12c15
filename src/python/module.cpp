// The Python module rollgrasp: one simulation per Sim object, driven by keys as
// the batch driver drives it, with the batch driver's state object, the stored
// trajectory as numpy arrays, the console text and a snapshot of the frame.
// Every Sim owns its own rg::KeyDriver (its own rg::Sim and console); nothing is
// shared between Sims, so several can run side by side in one process.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/export.h"
#include "app/hand_choice.h"
#include "app/html_export.h"
#include "app/scene.h"
#include "app/script.h"
#include "plan/plan.h"
#include "record/report.h"
#include "render/snapshot.h"
#include "render/window.h"

namespace py = pybind11;
using nlohmann::json;

namespace {

// Text as a Python str; bytes that are not UTF-8 become U+FFFD, as in the JSON
// the batch driver writes.
py::object Text(const std::string& s) {
  PyObject* o = PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace");
  if (o == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(o);
}

// An object key as a Python str. The state's keys are the same few dozen names in
// every state, so each is made once (interned: its hash is kept) and shared; the
// cache lives as long as the process, and takes no more than kMaxKeys names.
PyObject* NewKey(const std::string& k) {
  constexpr size_t kMaxKeys = 1024;
  static auto* const keys = new std::unordered_map<std::string, PyObject*>();
  const auto it = keys->find(k);
  if (it != keys->end()) {
    Py_INCREF(it->second);
    return it->second;
  }
  PyObject* o = PyUnicode_DecodeUTF8(k.data(), static_cast<Py_ssize_t>(k.size()), "replace");
  if (o == nullptr || keys->size() >= kMaxKeys) return o;
  PyUnicode_InternInPlace(&o);
  Py_INCREF(o);  // the cache's own reference
  keys->emplace(k, o);
  return o;
}

// A JSON value as the Python value json.loads would give for its text: a new
// reference, or null with the Python error set. Lists are made at their length and
// filled in place.
PyObject* NewPython(const json& j) {
  switch (j.type()) {
    case json::value_t::null:
      Py_INCREF(Py_None);
      return Py_None;
    case json::value_t::boolean:
      return PyBool_FromLong(j.get<bool>());
    case json::value_t::number_integer:
      return PyLong_FromLongLong(j.get<long long>());
    case json::value_t::number_unsigned:
      return PyLong_FromUnsignedLongLong(j.get<unsigned long long>());
    case json::value_t::number_float:
      return PyFloat_FromDouble(j.get<double>());
    case json::value_t::string: {
      const std::string& t = j.get_ref<const std::string&>();
      return PyUnicode_DecodeUTF8(t.data(), static_cast<Py_ssize_t>(t.size()), "replace");
    }
    case json::value_t::array: {
      const json::array_t& a = j.get_ref<const json::array_t&>();
      PyObject* l = PyList_New(static_cast<Py_ssize_t>(a.size()));
      if (l == nullptr) return nullptr;
      for (size_t i = 0; i < a.size(); ++i) {
        PyObject* e = NewPython(a[i]);
        if (e == nullptr) {
          Py_DECREF(l);
          return nullptr;
        }
        PyList_SET_ITEM(l, static_cast<Py_ssize_t>(i), e);  // takes the reference
      }
      return l;
    }
    case json::value_t::object: {
      PyObject* d = PyDict_New();
      if (d == nullptr) return nullptr;
      for (const auto& [name, value] : j.get_ref<const json::object_t&>()) {
        PyObject* k = NewKey(name);
        PyObject* v = k == nullptr ? nullptr : NewPython(value);
        const int set = v == nullptr ? -1 : PyDict_SetItem(d, k, v);
        Py_XDECREF(k);
        Py_XDECREF(v);
        if (set != 0) {
          Py_DECREF(d);
          return nullptr;
        }
      }
      return d;
    }
    default:
      PyErr_SetString(PyExc_RuntimeError, "state value of a type JSON does not have");
      return nullptr;
  }
}

py::object ToPython(const json& j) {
  PyObject* o = NewPython(j);
  if (o == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(o);
}

// Keys as bytes: bytes as they are; a str must hold characters U+0000..U+00FF,
// each one key of the same number (the same mapping as the state's "key" field).
std::string KeyBytes(const py::handle& keys) {
  if (py::isinstance<py::bytes>(keys)) return keys.cast<std::string>();
  if (py::isinstance<py::str>(keys)) {
    PyObject* b = PyUnicode_AsLatin1String(keys.ptr());
    if (b == nullptr) {
      PyErr_Clear();
      throw py::value_error("keys: a str may hold only characters U+0000..U+00FF (one key each)");
    }
    return py::reinterpret_steal<py::bytes>(b).cast<std::string>();
  }
  throw py::type_error("keys must be str or bytes");
}

// Where a run stands after step() or run(): the manipulation status letter as a
// Status, the window's message for it, the finger it concerns, the steps taken.
enum class Status { Running, Deadlock, OutOfLink, Collision, DataOverflow, NotOnRim, NoGrasp };

Status StatusOf(const rg::Sim& s) {
  switch (s.sgnMANIP) {
    case 'D': return Status::Deadlock;
    case 'O': return Status::OutOfLink;
    case 'C': return Status::Collision;
    case 'F': return Status::DataOverflow;
    case 'R': return Status::NotOnRim;
    default: return s.sgnCALGEnd == 'Y' ? Status::Running : Status::NoGrasp;
  }
}

struct StepResult {
  Status status = Status::Running;
  std::string letter;   // sgnMANIP
  std::string message;  // the window's text for the status ("" while running)
  int finger = 0;       // the finger concerned (0: none or the palm)
  int steps = 0;        // steps taken by this call
  int total_steps = 0;  // cntManip0 afterwards
  double time = 0.0;    // the manipulation's time after them
};

// Three finite numbers from a Python sequence; ValueError naming the argument.
void Vec3Arg(const py::handle& v, const char* name, double out[3]) {
  std::vector<double> x;
  try {
    x = v.cast<std::vector<double>>();
  } catch (const py::cast_error&) {
    throw py::value_error(std::string(name) + " must be a sequence of 3 numbers");
  }
  if (x.size() != 3) throw py::value_error(std::string(name) + " must hold 3 numbers");
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(x[i])) throw py::value_error(std::string(name) + " must be finite");
    out[i] = x[i];
  }
}

void Mat3Arg(const py::handle& v, const char* name, double out[3][3]) {
  std::vector<std::vector<double>> x;
  try {
    x = v.cast<std::vector<std::vector<double>>>();
  } catch (const py::cast_error&) {
    throw py::value_error(std::string(name) + " must be a 3 x 3 rotation matrix");
  }
  if (x.size() != 3) throw py::value_error(std::string(name) + " must be a 3 x 3 rotation matrix");
  for (int i = 0; i < 3; ++i) {
    if (x[i].size() != 3)
      throw py::value_error(std::string(name) + " must be a 3 x 3 rotation matrix");
    for (int j = 0; j < 3; ++j) out[i][j] = x[i][j];
  }
}

// A str as UTF-8 text; ValueError naming the argument for one that is none (a
// lone surrogate, say).
std::string TextArg(const py::handle& v, const std::string& name) {
  PyObject* b = PyUnicode_AsUTF8String(v.ptr());
  if (b == nullptr) {
    PyErr_Clear();
    throw py::value_error(name + " must be text that UTF-8 can hold");
  }
  return py::reinterpret_steal<py::bytes>(b).cast<std::string>();
}

// A file path from a str or an os.PathLike; ValueError for an empty path or one
// with a NUL character (the system would cut the name there and write elsewhere).
std::string PathArg(const py::handle& path, const char* name) {
  std::string p;
  try {
    // the file system's bytes of the name, as Python's own file functions use them
    // (a name that is not UTF-8 comes back as it was given)
    p = py::module_::import("os").attr("fsencode")(path).cast<py::bytes>().cast<std::string>();
  } catch (const py::error_already_set&) {
    throw py::value_error(std::string(name) + " must be a file path (str or os.PathLike)");
  }
  if (p.empty()) throw py::value_error(std::string(name) + " must not be empty");
  if (p.find('\0') != std::string::npos)
    throw py::value_error(std::string(name) + " must not contain a NUL character");
  return p;
}

// A goal from the text 'rx,ry,rz[,x,y,z]' or a sequence of 3 or 6 numbers; every
// refusal a ValueError naming the goal and what is accepted.
rg::GoalPose GoalArg(const py::handle& goal) {
  const char* const form = "goal: give 'rx,ry,rz[,x,y,z]' or a sequence of 3 or 6 numbers";
  std::string text;
  if (py::isinstance<py::str>(goal)) {
    text = TextArg(goal, "goal");
    if (text.find('\0') != std::string::npos) throw py::value_error(form);
  } else if (py::isinstance<py::sequence>(goal) && !py::isinstance<py::bytes>(goal)) {
    const py::sequence seq = py::reinterpret_borrow<py::sequence>(goal);
    if (seq.size() > 6) throw py::value_error(form);
    for (const py::handle x : seq) {
      double v = 0.0;
      try {
        v = x.cast<double>();
      } catch (const py::cast_error&) {
        throw py::value_error(form);
      }
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", v);
      text += (text.empty() ? "" : ",") + std::string(buf);
    }
  } else {
    throw py::value_error(form);
  }
  rg::GoalPose g;
  std::string why;
  if (!rg::ParseGoal(text, &g, &why)) throw py::value_error("goal: " + why);
  return g;
}

py::list List3(const double v[3]) { return py::cast(std::vector<double>{v[0], v[1], v[2]}); }

// Holds one Sim for the length of a call: a call from another thread waits, with
// the GIL released, until the call before it has ended. The simulation itself runs
// with the GIL released, so without the hold two threads would drive it at once.
class Hold {
 public:
  // A free Sim is taken at once; the GIL is let go only to wait for a busy one.
  explicit Hold(std::mutex& m) : lock_(m, std::try_to_lock) {
    if (lock_.owns_lock()) return;
    py::gil_scoped_release unlocked;
    lock_.lock();
  }

 private:
  std::unique_lock<std::mutex> lock_;
};

class PySim {
 public:
  PySim(const py::object& handArg, const std::string& work, const py::object& friction,
        const py::object& torsion, const py::object& contact, const py::object& coneEdges,
        const py::object& sphereRadius, const py::object& cylinderRadius,
        const py::object& cylinderHeight) {
    // hand: a built-in hand's number or a hand description file's path
    int hand = 0;
    std::string handFile;
    if (py::isinstance<py::str>(handArg) || py::hasattr(handArg, "__fspath__"))
      handFile = PathArg(handArg, "hand");
    else if (py::isinstance<py::int_>(handArg))
      hand = handArg.cast<int>();
    if (handFile.empty() && (hand < 1 || hand > 4))
      throw py::value_error("hand must be 1, 2, 3, 4 or a hand file's path");
    if (work != "cylinder" && work != "sphere")
      throw py::value_error("work must be 'cylinder' or 'sphere'");
    rg::QualitySettings q = driver_.sim().qualitySettings;
    const std::pair<const char*, const py::object*> options[] = {
        {"--friction", &friction}, {"--torsion", &torsion}, {"--contact", &contact},
        {"--cone-edges", &coneEdges}};
    for (const auto& [option, value] : options) {
      if (value->is_none()) continue;
      std::string arg = option + 2;
      for (char& c : arg)
        if (c == '-') c = '_';
      const std::string text = TextArg(py::str(*value), arg);
      std::string err;
      if (!rg::ParseQualityOption(option, text, &q, &err)) {
        throw py::value_error(arg + ": " + err);
      }
    }
    driver_.sim().qualitySettings = q;
    // the works' sizes (None: the built-in one), checked as the programs' options
    rg::WorkSizes sizes;
    const std::tuple<const char*, const char*, const py::object*> sizeArgs[] = {
        {"sphere_radius", "--sphere-radius", &sphereRadius},
        {"cylinder_radius", "--cylinder-radius", &cylinderRadius},
        {"cylinder_height", "--cylinder-height", &cylinderHeight}};
    bool resized = false;
    for (const auto& [arg, option, value] : sizeArgs) {
      if (value->is_none()) continue;
      double x = 0.0;
      try {
        x = value->cast<double>();
      } catch (const py::cast_error&) {
        throw py::value_error(std::string(arg) + " must be a number");
      }
      char text[64];
      std::snprintf(text, sizeof text, "%.17g", x);
      std::string err;
      if (!rg::ParseWorkSizeOption(option, text, &sizes, &err)) {
        err.replace(0, std::string(option).size(), arg);
        throw py::value_error(err);
      }
      resized = true;
    }
    std::string why;
    if (resized && !rg::SetWorkSizes(driver_.sim(), sizes, &why)) throw py::value_error(why);
    unread_ = driver_.console();
    // the keys a user types for the same choice; none for the defaults
    if (!handFile.empty()) {
      std::string why;
      if (!rg::UseHandFile(driver_.sim(), handFile, &why)) throw py::value_error(why);
    } else if (hand != driver_.sim().HAND1) {
      PressAll(std::string("H") + static_cast<char>('0' + hand));
    }
    if ((work == "sphere") != (driver_.sim().WORK1 == '1'))
      PressAll(work == "sphere" ? "W1" : "W2");
  }

  // Presses the keys in order; true when one of them ended the run (Escape in
  // mode 'I'), and the keys after it are not pressed.
  bool Press(const py::handle& keys) {
    const std::string k = KeyBytes(keys);
    Hold hold(busy_);
    if (ended_) throw std::runtime_error("the run has ended (Escape in mode I); start a new Sim");
    {
      py::gil_scoped_release unlocked;  // the simulation is this object's own
      for (char c : k) {
        ended_ = driver_.Press(static_cast<unsigned char>(c));
        unread_ += driver_.console();
        if (ended_) break;
      }
    }
    return ended_;
  }

  py::object State(bool volume) const {
    Hold hold(busy_);
    return ToPython(driver_.State(volume ? rg::QualityMeasures::All
                                         : rg::QualityMeasures::ClosureAndEpsilon));
  }

  py::dict Trajectory() const {
    Hold hold(busy_);
    const rg::TrajectoryTable t = rg::Trajectory(driver_.sim());
    const size_t cols = t.names.size();
    py::dict d;
    for (size_t c = 0; c < cols; ++c) {
      if (c < static_cast<size_t>(t.integerColumns)) {
        py::array_t<long long> a(t.rows);
        auto w = a.mutable_unchecked<1>();
        for (int n = 0; n < t.rows; ++n) w(n) = static_cast<long long>(t.values[n * cols + c]);
        d[py::str(t.names[c])] = a;
      } else {
        py::array_t<double> a(t.rows);
        auto w = a.mutable_unchecked<1>();
        for (int n = 0; n < t.rows; ++n) w(n) = t.values[n * cols + c];
        d[py::str(t.names[c])] = a;
      }
    }
    // the text columns (gait) as numpy arrays of str
    const size_t texts = t.textNames.size();
    const py::object array = py::module_::import("numpy").attr("array");
    for (size_t c = 0; c < texts; ++c) {
      py::list l;
      for (int n = 0; n < t.rows; ++n) l.append(Text(t.text[n * texts + c]));
      d[py::str(t.textNames[c])] = array(l, py::arg("dtype") = "U");
    }
    return d;
  }

  py::object Console() {
    Hold hold(busy_);
    py::object text = Text(unread_);
    unread_.clear();
    return text;
  }

  void Snapshot(const py::object& pathArg, const std::string& show, const std::string& hide,
                double zoom) const {
    const std::string path = PathArg(pathArg, "path");
    Hold hold(busy_);
    rg::WindowView view;
    std::string err;
    if (!show.empty() && !rg::ApplyShowHide(show.c_str(), true, view, &err))
      throw py::value_error("show: " + err);
    if (!hide.empty() && !rg::ApplyShowHide(hide.c_str(), false, view, &err))
      throw py::value_error("hide: " + err);
    if (!(zoom >= rg::kZoomMin && zoom <= rg::kZoomMax))
      throw py::value_error("zoom must lie from 0.25 to 8");
    view.cam.zoom = zoom;
    std::string why;
    if (!rg::DisplayAvailable(&why))
      throw std::runtime_error("snapshot needs an X display (" + why + "); run under xvfb-run -a");
    if (RenderSnapshotPNG(driver_.sim(), view, path.c_str()) != 0)
      throw std::runtime_error("snapshot could not be written to " + path);
  }

  // The run as one replay page, as rollgrasp-batch --html writes it.
  void Html(const py::object& pathArg) const {
    const std::string path = PathArg(pathArg, "path");
    Hold hold(busy_);
    std::string why;
    if (!rg::WriteReplayHtml(driver_.sim(), path, &why)) throw std::runtime_error(why);
  }

  bool ended() const { return ended_; }

  // ---- scenes and work sizes

  py::dict WorkSizes() const {
    Hold hold(busy_);
    const rg::WorkSizes w = rg::SizesOf(driver_.sim().model());
    py::dict d;
    d["sphere_radius"] = w.sphereRadius;
    d["cylinder_radius"] = w.cylinderRadius;
    d["cylinder_height"] = w.cylinderHeight;
    return d;
  }
  void SaveScene(const py::object& pathArg) const {
    const std::string path = PathArg(pathArg, "path");
    Hold hold(busy_);
    std::string why;
    if (!rg::SaveScene(driver_.sim(), path, &why)) throw std::runtime_error(why);
  }
  // Sets this fresh simulation up with the scene at path; ValueError with the file's
  // one-line refusal.
  void LoadScene(const py::object& pathArg) {
    const std::string path = PathArg(pathArg, "path");
    Hold hold(busy_);
    rg::Scene scene;
    std::string why;
    if (!rg::ReadScene(path, &scene, &why)) throw py::value_error(why);
    rg::ApplyScene(driver_.sim(), scene);
    unread_ += driver_.sim().con.text();
    driver_.sim().con.ClearText();
  }

  // ---- values in numbers

  py::list WorkPosition() const {
    Hold hold(busy_);
    return List3(driver_.sim().rwG0);
  }
  py::list WorkOrientation() const {
    Hold hold(busy_);
    py::list rows;
    for (int i = 0; i < 3; ++i) rows.append(List3(driver_.sim().EwG0[i]));
    return rows;
  }
  void SetWorkPose(const py::object& position, const py::object& orientation) {
    Hold hold(busy_);
    Alive();
    const rg::Sim& s = driver_.sim();
    double r[3], E[3][3];
    VecOrCurrent(position, "position", s.rwG0, r);
    if (orientation.is_none()) {
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) E[i][j] = s.EwG0[i][j];
    } else {
      Mat3Arg(orientation, "orientation", E);
    }
    // the refusals name the argument themselves
    Script([&](rg::Sim& sim, std::string* why) { return rg::ScriptWorkPose(sim, r, E, why); },
           nullptr);
  }
  py::tuple Velocity() const {
    Hold hold(busy_);
    return py::make_tuple(List3(driver_.sim().vw), List3(driver_.sim().omww));
  }
  void SetVelocity(const py::object& linear, const py::object& angular) {
    Hold hold(busy_);
    Alive();
    const rg::Sim& s = driver_.sim();
    double v[3], w[3];
    VecOrCurrent(linear, "linear", s.vw, v);
    VecOrCurrent(angular, "angular", s.omww, w);
    Script([&](rg::Sim& sim, std::string* why) { return rg::ScriptVelocity(sim, v, w, why); },
           nullptr);
  }
  py::list InitialAngles() const {
    Hold hold(busy_);
    const rg::Sim& s = driver_.sim();
    py::list fingers;
    for (int kf = 1; kf <= s.model().nF; ++kf) {
      std::vector<double> q(s.qq0[kf] + 1, s.qq0[kf] + 1 + s.model().nJ);
      fingers.append(py::cast(q));
    }
    return fingers;
  }
  void SetInitialAngles(int finger, const py::object& angles) {
    Hold hold(busy_);
    Alive();
    std::vector<double> q;
    try {
      q = angles.cast<std::vector<double>>();
    } catch (const py::cast_error&) {
      throw py::value_error("angles must be a sequence of numbers");
    }
    const int n = static_cast<int>(q.size());
    Script([&](rg::Sim& sim, std::string* why) {
      return rg::ScriptInitialAngles(sim, finger, q.data(), n, why);
    }, nullptr);
  }

  // Grasps with every finger (key G, then s per finger); each finger's contact.
  py::list Grasp() {
    Hold hold(busy_);
    Alive();
    PressAll("G");
    for (int kf = 0; kf < driver_.sim().nF() && driver_.sim().sgnCALGEnd != 'Y'; ++kf)
      PressAll("s");
    const nlohmann::json& st = driver_.State();
    py::list contacts;
    for (const nlohmann::json& f : st["fingers"]) {
      py::dict c;
      c["finger"] = ToPython(f["kf"]);
      c["found"] = py::bool_(f["sgnGRASPM"] == "Y");
      c["type"] = ToPython(f["GGTYPE"]);
      c["point"] = ToPython(f["CPNT"]);
      c["normal"] = ToPython(f["NW"]);
      c["angles"] = ToPython(f["q"]);
      contacts.append(c);
    }
    return contacts;
  }

  // A finger gait (mode A's digit key, with an optional pre-shape): the state's gait
  // dict; refusals are outcomes, bad arguments ValueError.
  py::object Gait(char kind, int finger, const py::object& preshape) {
    std::vector<double> q;
    if (!preshape.is_none()) {
      try {
        q = preshape.cast<std::vector<double>>();
      } catch (const py::cast_error&) {
        throw py::value_error("preshape must be a sequence of numbers");
      }
    }
    Hold hold(busy_);
    Alive();
    rg::GaitEvent g;
    Script([&](rg::Sim& sim, std::string* why) {
      return rg::ScriptGait(sim, kind, finger, preshape.is_none() ? nullptr : q.data(),
                            static_cast<int>(q.size()), &g, why);
    }, nullptr);
    return ToPython(driver_.State()["gait"]);
  }

  // Manipulation steps (key A once, then s per step) until n are taken or the
  // motion stops.
  StepResult Step(long n) {
    Hold hold(busy_);
    Alive();
    if (n < 0) throw py::value_error("n must be 0 or more");
    return Steps(n);
  }
  StepResult Run(long maxSteps) {
    Hold hold(busy_);
    Alive();
    if (maxSteps < 0) throw py::value_error("max_steps must be 0 or more");
    return Steps(maxSteps);
  }

  // Plans a path to the goal (key B, then s) from the current state and, with
  // follow, runs it (key C, then s per step); the state's plan object.
  py::object Plan(const py::handle& goal, double timeLimit, bool follow,
                  std::optional<long> maxSteps, long long seed) {
    const rg::GoalPose g = GoalArg(goal);
    std::string why;
    if (!rg::PlanTimeValid(timeLimit, &why)) throw py::value_error("time_limit must be " + why);
    if (maxSteps && !rg::PlanStepsValid(*maxSteps, &why))
      throw py::value_error("max_steps must be " + why);
    if (seed < 0 || seed > 4294967295LL)
      throw py::value_error("seed must be a whole number from 0 to 4294967295");
    Hold hold(busy_);
    Alive();
    rg::Sim& s = driver_.sim();
    s.plan.goal = g;
    s.plan.timeLimit = timeLimit;
    s.plan.maxSteps = maxSteps ? *maxSteps : 0;  // 0: the hand's default
    s.plan.seed = static_cast<unsigned>(seed);
    // Ctrl-C stops the plan: Python only notes the signal, so the planner's progress
    // calls (ten a second) look at it and stop the search; the KeyboardInterrupt is
    // raised once the simulation is put back
    std::atomic<bool> stop{false};
    PyObject *errType = nullptr, *errValue = nullptr, *errTrace = nullptr;
    s.plan.cancel = &stop;
    s.plan.progress = [&](double, double) {
      if (stop.load()) return;
      py::gil_scoped_acquire locked;
      if (PyErr_CheckSignals() != 0) {
        PyErr_Fetch(&errType, &errValue, &errTrace);
        stop.store(true);
      }
    };
    struct Unhook {
      rg::Sim& s;
      ~Unhook() {
        s.plan.cancel = nullptr;
        s.plan.progress = nullptr;
      }
    } unhook{s};
    {
      py::gil_scoped_release unlocked;
      auto press = [this](unsigned char k) {
        driver_.Press(k);
        unread_ += driver_.console();
      };
      press('B');
      press('s');
      if (follow && !stop.load() && !s.plan.path.empty()) {
        press('C');
        for (size_t i = s.plan.next; i < s.plan.path.size() && s.sgnMANIP == 'Y'; ++i) press('s');
      }
    }
    if (errType != nullptr) {
      PyErr_Restore(errType, errValue, errTrace);
      throw py::error_already_set();
    }
    return ToPython(driver_.State()["plan"]);
  }

 private:
  void Alive() const {
    if (ended_) throw std::runtime_error("the run has ended (Escape in mode I); start a new Sim");
  }
  void PressAll(const std::string& keys) {
    for (char c : keys) {
      ended_ = driver_.Press(static_cast<unsigned char>(c));
      unread_ += driver_.console();
    }
  }
  static void VecOrCurrent(const py::object& v, const char* name, const double cur[3],
                           double out[3]) {
    if (v.is_none()) {
      for (int i = 0; i < 3; ++i) out[i] = cur[i];
    } else {
      Vec3Arg(v, name, out);
    }
  }
  // runs a script setter as a key would run: its console text kept, its refusal a
  // ValueError naming the argument
  template <typename F>
  void Script(F set, const char* arg) {
    std::string why;
    const bool ok = set(driver_.sim(), &why);
    unread_ += driver_.sim().con.text();
    driver_.sim().con.ClearText();
    if (!ok) throw py::value_error(arg == nullptr ? why : std::string(arg) + ": " + why);
  }
  StepResult Steps(long n) {
    rg::Sim& s = driver_.sim();
    if (s.sgnCAL != 'A') PressAll("A");
    const int before = s.cntManip0;
    {
      py::gil_scoped_release unlocked;
      for (long i = 0; i < n && s.sgnMANIP == 'Y' && s.sgnCALGEnd == 'Y'; ++i) {
        driver_.Press('s');
        unread_ += driver_.console();
      }
    }
    StepResult r;
    r.status = StatusOf(s);
    r.letter = std::string(1, s.sgnMANIP);
    r.message = rg::StatusMessage(s);
    r.finger = rg::StatusFinger(s);
    r.steps = s.cntManip0 - before;
    r.total_steps = s.cntManip0;
    r.time = s.ManipTime;
    return r;
  }

  mutable std::mutex busy_;  // held by the call that drives or reads the simulation
  rg::KeyDriver driver_;
  std::string unread_;  // console text not yet returned by console()
  bool ended_ = false;
};

}  // namespace

PYBIND11_MODULE(rollgrasp, m) {
  m.doc() =
      "The rollgrasp simulator without a window: Sim() is one simulation after its "
      "start-up, driven by the keys of the window program.";
  m.attr("UNITS") = py::dict(
      py::arg("length") = "the program's length unit (link length 80, cylinder radius 60)",
      py::arg("angle") = "rad (goal turns in degrees)",
      py::arg("time") = "the manipulation's time: a step lasts dt = 0.05 unless retried smaller",
      py::arg("linear_velocity") = "length units per unit of time",
      py::arg("angular_velocity") = "rad per unit of time");
  py::enum_<Status>(m, "Status", "Where a manipulation stands (the state's sgnMANIP letter).")
      .value("RUNNING", Status::Running, "Y: the last step completed; the next may run")
      .value("DEADLOCK", Status::Deadlock, "D: no rolling motion found even with the smallest step")
      .value("OUT_OF_LINK", Status::OutOfLink, "O: a contact left its finger link")
      .value("COLLISION", Status::Collision, "C: the work met the hand")
      .value("DATA_OVERFLOW", Status::DataOverflow, "F: the record is full")
      .value("NOT_ON_RIM", Status::NotOnRim, "R: a grasp contact the rolling step cannot roll")
      .value("NO_GRASP", Status::NoGrasp, "no complete grasp: nothing can roll");
  py::class_<StepResult>(m, "StepResult", "What step() or run() ended with.")
      .def_readonly("status", &StepResult::status, "a Status")
      .def_readonly("letter", &StepResult::letter, "the state's sgnMANIP letter")
      .def_readonly("message", &StepResult::message,
                    "the window's text for the status (empty while running)")
      .def_readonly("finger", &StepResult::finger, "the finger concerned (0: none, or the palm)")
      .def_readonly("steps", &StepResult::steps, "steps taken by this call")
      .def_readonly("total_steps", &StepResult::total_steps, "steps since the grasp (cntManip0)")
      .def_readonly("time", &StepResult::time, "the manipulation's time after them")
      .def("__repr__", [](const StepResult& r) {
        return "StepResult(status=" + std::string(py::str(py::cast(r.status))) +
               ", steps=" + std::to_string(r.steps) + ", message='" + r.message + "')";
      });
  py::class_<PySim>(m, "Sim", "One simulation after the start-up; its console is captured "
                              "and its console waits are answered at once.")
      .def(py::init<const py::object&, const std::string&, const py::object&, const py::object&,
                    const py::object&, const py::object&, const py::object&, const py::object&,
                    const py::object&>(),
           py::arg("hand") = 1, py::arg("work") = "cylinder", py::arg("friction") = py::none(),
           py::arg("torsion") = py::none(), py::arg("contact") = py::none(),
           py::arg("cone_edges") = py::none(), py::arg("sphere_radius") = py::none(),
           py::arg("cylinder_radius") = py::none(), py::arg("cylinder_height") = py::none(),
           "hand: 1..4 (1 and 3 have two fingers, 2 and 4 three) or the path of a hand "
           "description file (URDF, docs/hands.md; a file it cannot use raises ValueError "
           "with the one-line reason); work: 'cylinder' or "
           "'sphere'; friction (Coulomb coefficient), torsion (soft-finger torsional "
           "friction), contact ('point' or 'soft') and cone_edges judge grasp quality, as "
           "rollgrasp-batch's options of the same names; sphere_radius, cylinder_radius and "
           "cylinder_height (length units; radii 20 to 80, height 20 to 100; None: 70, 60, "
           "100) size the works for every hand, a value out of range raises ValueError. A "
           "hand or work other than the default is chosen with its keys (H n, W 1), as a "
           "user would.")
      .def_static("from_scene", [](const py::object& path) {
             auto sim = std::make_unique<PySim>(py::int_(1), "cylinder", py::none(), py::none(),
                                                py::none(), py::none(), py::none(), py::none(),
                                                py::none());
             sim->LoadScene(path);
             return sim;
           }, py::arg("path"),
           "A new Sim set up with the scene file at path (docs/scenes.md): its hand, work, "
           "sizes, pose, velocity, initial angles, quality, goal and planner seed. A file "
           "that cannot be used raises ValueError with one line naming the field.")
      .def("save_scene", &PySim::SaveScene, py::arg("path"),
           "Writes the scene the simulation is set up with now as a scene file, whole or not "
           "at all (RuntimeError when it cannot be written). The grasp and the motion are "
           "not part of a scene: Sim.from_scene(path) and the same calls give the same run.")
      .def_property_readonly("work_sizes", &PySim::WorkSizes,
                             "The works' sizes in length units: a dict with sphere_radius, "
                             "cylinder_radius and cylinder_height.")
      .def_property_readonly("work_position", &PySim::WorkPosition,
                             "The work's reference point in length units, hand frame: the "
                             "cylinder's base centre or the sphere's centre (rwG0).")
      .def_property_readonly("work_orientation", &PySim::WorkOrientation,
                             "The work's frame as a 3 x 3 rotation matrix (rows; columns are "
                             "the work's x, y, z axes) (EwG0).")
      .def("set_work_pose", &PySim::SetWorkPose, py::arg("position") = py::none(),
           py::arg("orientation") = py::none(),
           "Sets the work's pose as mode M does (grasp reset, fingers checked against the "
           "work): position in length units, orientation a 3 x 3 rotation matrix; either "
           "left out keeps its value. ValueError for anything else.")
      .def_property_readonly("velocity", &PySim::Velocity,
                             "(linear, angular): the commanded velocity, linear in the hand "
                             "frame (length units per unit time), angular about the work's own "
                             "axes (rad per unit time).")
      .def("set_velocity", &PySim::SetVelocity, py::arg("linear") = py::none(),
           py::arg("angular") = py::none(),
           "Sets the commanded velocity as mode V does, with any real values (the keys give "
           "-1, 0, 1 and -0.02, 0, 0.02); either left out keeps its value.")
      .def_property_readonly("initial_angles", &PySim::InitialAngles,
                             "Each finger's initial joint angles (rad), joints 1..4.")
      .def("set_initial_angles", &PySim::SetInitialAngles, py::arg("finger"), py::arg("angles"),
           "Sets finger's (1..) initial joint angles (rad) as mode J does.")
      .def("grasp", &PySim::Grasp,
           "Grasps with every finger (G, then s per finger); returns one dict per finger: "
           "finger, found, type (contact type letters), point and normal (hand frame), angles.")
      .def("lift", [](PySim& p, int finger, const py::object& preshape) {
             return p.Gait('L', finger, preshape);
           }, py::arg("finger"), py::arg("preshape") = py::none(),
           "Lifts finger (1..) off the work as the key of its number in mode A does (mode A is "
           "entered first): the finger opens to preshape (its joint angles in rad; None: its "
           "initial angles) while the other touching fingers hold the work. Returns the "
           "state's gait dict (kind, finger, done, verdict, reason, type, epsilon, step, "
           "message): a refusal (no complete grasp, the rest would not hold the work, the "
           "finger would meet the work, ...) is an outcome with done False and nothing "
           "changed. ValueError for a finger out of range or a preshape that is not nJ "
           "finite angles within one turn.")
      .def("place", [](PySim& p, int finger, const py::object& preshape) {
             return p.Gait('P', finger, preshape);
           }, py::arg("finger"), py::arg("preshape") = py::none(),
           "Places lifted finger (1..) on the work again: it closes its last joint from its "
           "pre-shape (preshape, joint angles in rad; None: the angles it was lifted to) "
           "until it first touches the work, and the contact rolls with the others from the "
           "next step. Returns the state's gait dict; a refusal (no contact found, a contact "
           "the rolling motion cannot roll, the finger would meet the work) leaves it "
           "lifted. ValueError as for lift.")
      .def("step", &PySim::Step, py::arg("n") = 1,
           "Runs up to n manipulation steps (A, then s per step), fewer when the motion "
           "stops; returns a StepResult.")
      .def("run", &PySim::Run, py::arg("max_steps") = 4000,
           "Runs manipulation steps until the status is no longer RUNNING or max_steps are "
           "taken; returns a StepResult.")
      .def("press", &PySim::Press, py::arg("keys"),
           "Presses the keys one by one (str or bytes, each byte or character U+0000..U+00FF "
           "one key). Returns True when a key ended the run (Escape in mode I); later keys "
           "are not pressed and further presses raise RuntimeError.")
      .def("state", &PySim::State, py::arg("volume") = false,
           "The state as a dict with exactly the fields of rollgrasp-batch's --state line "
           "for the last key (key None after the start-up); console and redraws are those "
           "of the last key. The grasp quality's volume is None unless volume is True (as "
           "--state-volume): it needs the whole hull of the wrenches, about 1 ms for contacts "
           "not judged before.")
      .def("trajectory", &PySim::Trajectory,
           "The stored rows as a dict of numpy arrays, one per column of rollgrasp-batch's "
           "--trajectory CSV, in its order (row and step int64, the others float64). Each "
           "row's volume is computed once and kept with the record until the row changes.")
      .def("console", &PySim::Console,
           "The console text printed since the last call of console() (the first call "
           "returns the start-up text too).")
      .def("snapshot", &PySim::Snapshot, py::arg("path"), py::arg("show") = "",
           py::arg("hide") = "", py::arg("zoom") = 1.0,
           "Writes the frame the window would show as a 600 x 600 PNG. show and hide name "
           "the parts shown or hidden, as rollgrasp-batch's --show and --hide do "
           "('help', 'info', 'contacts', comma-separated; by default the help table and "
           "the contacts are shown, the information panel hidden); zoom as its --zoom. "
           "Needs an X display; without one it raises RuntimeError and writes nothing.")
      .def("html", &PySim::Html, py::arg("path"),
           "Writes the run as one self-contained web page (rollgrasp-batch --html): every "
           "stored row replayed in 3-D in a browser, offline. Raises RuntimeError when the "
           "viewer's files are missing or the file cannot be written (no file is left).")
      .def("plan", &PySim::Plan, py::arg("goal"), py::arg("time_limit") = 10.0,
           py::arg("follow") = true, py::arg("max_steps") = py::none(),
           py::arg("seed") = rg::kDefaultPlanSeed,
           "Plans a path from the current state (a complete grasp, or the latest "
           "manipulation step) to the goal pose: goal is (rx, ry, rz[, x, y, z]) or the text "
           "'rx,ry,rz[,x,y,z]', turns in degrees about the work's own axes then a shift of its "
           "mid-point, relative to the grasp pose. The search may spend max_steps rolling steps "
           "(default 60000 divided by the hand's fingers: 30000 for two, 20000 for three) and "
           "stops once it has not come nearer for 6000 steps; time_limit seconds are a "
           "safety net); the same seed gives the same path. "
           "With follow the path is then run step by step (keys B s, then C and s per step) "
           "so the record holds it. Returns the state's plan dict (reached, errors, steps, "
           "reason, planning time).")
      .def_property_readonly("ended", &PySim::ended, "True once a key ended the run.");
}
