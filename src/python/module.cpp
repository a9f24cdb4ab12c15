// The Python module rollgrasp: one simulation per Sim object, driven by keys as
// the batch driver drives it, with the batch driver's state object, the stored
// trajectory as numpy arrays, the console text and a snapshot of the frame.
// Every Sim owns its own rg::KeyDriver (its own rg::Sim and console); nothing is
// shared between Sims, so several can run side by side in one process.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/export.h"
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

// A JSON value as the Python value json.loads would give for its text.
py::object ToPython(const json& j) {
  switch (j.type()) {
    case json::value_t::null:
      return py::none();
    case json::value_t::boolean:
      return py::bool_(j.get<bool>());
    case json::value_t::number_integer:
      return py::int_(j.get<long long>());
    case json::value_t::number_unsigned:
      return py::int_(j.get<unsigned long long>());
    case json::value_t::number_float:
      return py::float_(j.get<double>());
    case json::value_t::string:
      return Text(j.get_ref<const std::string&>());
    case json::value_t::array: {
      py::list l;
      for (const json& e : j) l.append(ToPython(e));
      return std::move(l);
    }
    case json::value_t::object: {
      py::dict d;
      for (auto it = j.begin(); it != j.end(); ++it) d[Text(it.key())] = ToPython(it.value());
      return std::move(d);
    }
    default:
      throw std::runtime_error("state value of a type JSON does not have");
  }
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

class PySim {
 public:
  PySim() { unread_ = driver_.console(); }

  // Presses the keys in order; true when one of them ended the run (Escape in
  // mode 'I'), and the keys after it are not pressed.
  bool Press(const py::handle& keys) {
    const std::string k = KeyBytes(keys);
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

  py::object State() const { return ToPython(driver_.State()); }

  py::dict Trajectory() const {
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
    return d;
  }

  py::object Console() {
    py::object text = Text(unread_);
    unread_.clear();
    return text;
  }

  void Snapshot(const std::string& path, const std::string& show, const std::string& hide,
                double zoom) const {
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

  bool ended() const { return ended_; }

  // Plans a path to the goal (key B, then s) from the current state and, with
  // follow, runs it (key C, then s per step); the state's plan object.
  py::object Plan(const py::handle& goal, double timeLimit, bool follow) {
    if (ended_) throw std::runtime_error("the run has ended (Escape in mode I); start a new Sim");
    if (!(timeLimit > 0.0)) throw py::value_error("time_limit must be positive");
    rg::GoalPose g;
    std::string why;
    if (py::isinstance<py::str>(goal)) {
      if (!rg::ParseGoal(goal.cast<std::string>(), &g, &why)) throw py::value_error("goal: " + why);
    } else {
      std::string text;
      for (const py::handle& x : goal) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", x.cast<double>());
        text += (text.empty() ? "" : ",") + std::string(buf);
      }
      if (!rg::ParseGoal(text, &g, &why)) throw py::value_error("goal: " + why);
    }
    rg::Sim& s = driver_.sim();
    s.plan.goal = g;
    s.plan.timeLimit = timeLimit;
    {
      py::gil_scoped_release unlocked;
      auto press = [this](unsigned char k) {
        driver_.Press(k);
        unread_ += driver_.console();
      };
      press('B');
      press('s');
      if (follow && !s.plan.path.empty()) {
        press('C');
        for (size_t i = s.plan.next; i < s.plan.path.size() && s.sgnMANIP == 'Y'; ++i) press('s');
      }
    }
    return ToPython(driver_.State()["plan"]);
  }

 private:
  rg::KeyDriver driver_;
  std::string unread_;  // console text not yet returned by console()
  bool ended_ = false;
};

}  // namespace

PYBIND11_MODULE(rollgrasp, m) {
  m.doc() =
      "The rollgrasp simulator without a window: Sim() is one simulation after its "
      "start-up, driven by the keys of the window program.";
  py::class_<PySim>(m, "Sim", "One simulation after the start-up; its console is captured "
                              "and its console waits are answered at once.")
      .def(py::init<>())
      .def("press", &PySim::Press, py::arg("keys"),
           "Presses the keys one by one (str or bytes, each byte or character U+0000..U+00FF "
           "one key). Returns True when a key ended the run (Escape in mode I); later keys "
           "are not pressed and further presses raise RuntimeError.")
      .def("state", &PySim::State,
           "The state as a dict with exactly the fields of rollgrasp-batch's --state line "
           "for the last key (key None after the start-up); console and redraws are those "
           "of the last key.")
      .def("trajectory", &PySim::Trajectory,
           "The stored rows as a dict of numpy arrays, one per column of rollgrasp-batch's "
           "--trajectory CSV, in its order (row and step int64, the others float64).")
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
      .def("plan", &PySim::Plan, py::arg("goal"), py::arg("time_limit") = 10.0,
           py::arg("follow") = true,
           "Plans a path from the current state (a complete grasp, or the latest "
           "manipulation step) to the goal pose: goal is (rx, ry, rz[, x, y, z]) or the text "
           "'rx,ry,rz[,x,y,z]', turns in degrees about the work's own axes then a shift of its "
           "mid-point, relative to the grasp pose. Planning stops after time_limit seconds. "
           "With follow the path is then run step by step (keys B s, then C and s per step) "
           "so the record holds it. Returns the state's plan dict (reached, errors, steps, "
           "reason, planning time).")
      .def_property_readonly("ended", &PySim::ended, "True once a key ended the run.");
}
