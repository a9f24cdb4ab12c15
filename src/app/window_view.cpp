#include "app/window_view.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/goal_view.h"

namespace rg {

std::string BesideScene(const std::string& sceneFile, const char* ext) {
  return std::filesystem::path(sceneFile).replace_extension(ext).string();
}

const char* const kShowHideNames = "help, info, contacts (or traces)";

bool ApplyShowHide(const char* list, bool show, WindowView& v, std::string* err) {
  WindowView out = v;
  std::string all = list != nullptr ? list : "";
  size_t start = 0;
  while (true) {
    const size_t comma = all.find(',', start);
    const std::string name = all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (name == "help") {
      out.help = show;
    } else if (name == "info") {
      out.info = show;
    } else if (name == "contacts" || name == "traces") {
      out.traces = show;
    } else {
      *err = "unknown part '" + name + "' (known: " + kShowHideNames + ")";
      return false;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  v = out;
  return true;
}

const double kSceneCentre[3] = {0.0, 1.0, 0.0};

void CameraOrbit(Camera& c, int dx, int dy) {
  c.yaw += dx * kOrbitDegPerPixel;
  c.pitch += dy * kOrbitDegPerPixel;
  // keep the numbers small over long sessions; a whole turn changes nothing
  c.yaw = std::remainder(c.yaw, 360.0);
  c.pitch = std::remainder(c.pitch, 360.0);
}

void CameraPan(Camera& c, int dx, int dy, int h) {
  if (h <= 0) return;
  c.panX += static_cast<double>(dx) / h;
  c.panY -= static_cast<double>(dy) / h;  // screen y runs downwards, the view's y upwards
}

void CameraZoom(Camera& c, int steps) {
  c.zoom = std::clamp(c.zoom * std::pow(kZoomStep, steps), kZoomMin, kZoomMax);
}

void CameraReset(Camera& c) { c = Camera{}; }

bool CameraIsHome(const Camera& c) {
  return c.yaw == 0.0 && c.pitch == 0.0 && c.panX == 0.0 && c.panY == 0.0 && c.zoom == 1.0;
}

void Perspective(int w, int h, double zoom, double* fovyDeg, double* aspect) {
  *aspect = (w > 0 && h > 0) ? static_cast<double>(w) / h : 1.0;
  if (*aspect >= 1.0 && zoom == 1.0) {
    *fovyDeg = 30.0;  // the start-up view, exactly
    return;
  }
  const double kPi = 3.14159265358979323846;
  double t = std::tan(15.0 * kPi / 180.0);  // half height of the view at unit distance
  if (*aspect < 1.0) t /= *aspect;
  if (zoom > 0.0) t /= zoom;
  *fovyDeg = 2.0 * std::atan(t) * 180.0 / kPi;
}

bool PlayApplies(const Sim& s) { return s.sgnCAL == 'A' || s.sgnCAL == 'D' || s.sgnCAL == 'C'; }

bool PlayCanStep(const Sim& s) {
  if (s.sgnCAL == 'A') return s.sgnMANIP == 'Y' && s.sgnCALGEnd == 'Y';
  if (s.sgnCAL == 'D') return s.cntRepeat < RecordLength(s) - 1;
  if (s.sgnCAL == 'C') return PathCanStep(s);
  return false;
}

SceneParts WhatToDraw(const Sim& s, const WindowView& v) {
  SceneParts p;
  const bool fromI = s.sgnCAL == 'I';
  const bool grasp = s.sgnCAL == 'G' || (fromI && s.sgnCALold == 'G');
  // the goal modes show the hand as the manipulation left it, once it has grasped
  const bool goal = (s.sgnCAL == 'B' || s.sgnCAL == 'C') && s.sgnCALGEnd == 'Y';
  const bool manip = s.sgnCAL == 'A' || goal || (fromI && s.sgnCALold == 'A');
  // a replay needs a record of the current grasp: without one the scene is drawn
  // as it stands, never an earlier run's rows
  const bool replay = (s.sgnCAL == 'D' || (fromI && s.sgnCALold == 'D')) && RecordLength(s) > 0;
  p.work = !(s.sgnCAL == 'D' && replay);
  // A manipulation shows the computed hand once it has a grasp of this hand and
  // work: a complete one, or the fingers grasped since the last reset. After a
  // hand or work change (the reset) the computed angles are the previous run's.
  p.computedHand =
      (grasp && s.sgnCALS != 'S') || (manip && (s.sgnCALGEnd == 'Y' || s.sgnCALS != 'S'));
  p.replay = replay;
  // Outside the grasp, manipulation and replay the hand stands at its initial
  // angles, whatever an earlier grasp left in the flags; the grasp mode shows it
  // there until its first key.
  p.initialHand = !p.computedHand && !replay;
  p.traces = v.traces && manip && s.sgnCALGEnd == 'Y';
  return p;
}

}  // namespace rg

namespace rg {

bool ContactShown(const Sim& s, int kf) {
  if (kf < 1 || kf > s.nF() || kf >= kSlots) return false;
  if (s.lifted[kf]) return false;  // off the work: it has no contact
  const double* p = s.ManipCPNTA2[1][kf];
  if (p[0] == 0.0 && p[1] == 0.0 && p[2] == 0.0) return false;
  const bool grasp = s.sgnCAL == 'G' || (s.sgnCAL == 'I' && s.sgnCALold == 'G');
  if (grasp && s.sgnCALGEnd != 'Y') return kf <= s.nFIN && s.sgnGRASPM[kf] == 'Y';
  return true;
}

}  // namespace rg
