// What the window shows besides the simulation state: the panels switched on and
// off with the function keys, the mouse camera, continuous play and the console
// wait in progress. This is view state of the window only: the key machine and
// the batch driver never see it. Which parts of the scene a frame draws is
// decided here from the state alone, so that the drawing code only draws.
#pragma once

#include <string>

#include "core/state.h"

namespace rg {

// The mouse camera, on top of the fixed camera and the view turns and shifts of
// mode 'I': an orbit about the scene centre (degrees about the screen's vertical
// and horizontal axes), a pan across the screen (in view heights at the depth of
// the scene centre) and a zoom factor (1 = the start-up picture).
struct Camera {
  double yaw = 0.0;
  double pitch = 0.0;
  double panX = 0.0;
  double panY = 0.0;
  double zoom = 1.0;
};

// Planning in the background (key s of mode 'B' in the window): whether it runs,
// whether its stop was asked for, the fraction of its time limit used and the
// smallest goal error met so far (in units of the goal tolerances; < 0: none yet).
struct PlanProgress {
  bool running = false;
  bool stopping = false;
  double fraction = 0.0;
  double best = -1.0;
};

struct WindowView {
  bool help = true;     // F1: the help table at the top
  bool info = false;    // F2: the information panel
  // F3: the contacts made visible: large markers over the bodies that hide
  // them, the contact traces, the work's axes. On by default; F3 hides them.
  bool traces = true;
  bool playing = false; // space: repeated 's' steps from a timer in modes 'A' and 'D'
  char waitingKey = '\0';  // a console wait for this key is in progress
  PlanProgress planning;  // a plan computed in the background
  Camera cam;
  // F6 saves the scene here (--save-scene, or kDefaultSceneFile in the working
  // folder); F7 writes the run's CSV, picture and page beside it
  std::string sceneFile;
  std::string fileNote;  // what the last F6 or F7 wrote or why not, on one line
};

constexpr const char* kDefaultSceneFile = "rollgrasp-scene.json";
// The file beside the scene file with the same stem and the extension ext (".csv").
std::string BesideScene(const std::string& sceneFile, const char* ext);

// What --show and --hide name: help (the help table, F1), info (the information
// panel, F2), contacts (markers, traces and work axes, F3; also "traces").
// Applies the comma-separated names of list to v, shown or hidden; false with
// *err naming the first unknown or empty name (v then unchanged).
bool ApplyShowHide(const char* list, bool show, WindowView& v, std::string* err);
extern const char* const kShowHideNames;  // "help, info, contacts (or traces)"

// ---- mouse camera
constexpr double kOrbitDegPerPixel = 0.5;
constexpr double kZoomStep = 1.1;
constexpr double kZoomMin = 0.25;
constexpr double kZoomMax = 8.0;

// A drag of (dx, dy) pixels (x to the right, y downwards) in a window h pixels high.
void CameraOrbit(Camera& c, int dx, int dy);
void CameraPan(Camera& c, int dx, int dy, int h);
// One wheel notch: steps > 0 zooms in, < 0 out; the zoom stays within its limits.
void CameraZoom(Camera& c, int steps);
// Back to the start-up camera.
void CameraReset(Camera& c);
bool CameraIsHome(const Camera& c);
// The point the orbit turns about, in drawing units of the scene (between the
// palm and the work of the default scene).
extern const double kSceneCentre[3];

// Vertical field of view (degrees) and aspect ratio of the perspective for a
// viewport of w x h pixels and zoom: the 30 degree view of a square window, kept
// undistorted in any window shape (a window taller than wide widens the vertical
// view so that the square scene still fits across), narrowed by the zoom.
void Perspective(int w, int h, double zoom, double* fovyDeg, double* aspect);

// ---- continuous play
constexpr int kPlayPeriodMs = 40;  // one step every 40 ms
// Space starts play only in the modes that step with 's' ('A', 'D' and 'C').
bool PlayApplies(const Sim& s);
// Whether one more 's' would make progress: a manipulation step after a complete
// grasp while the status is success, a replay step before the last stored row,
// or the next step of the planned path.
bool PlayCanStep(const Sim& s);

// ---- which parts of the scene a frame draws
struct SceneParts {
  bool work = false;          // the drawn work (RWW, EWW)
  bool initialHand = false;   // the hand at its initial angles qq0
  bool computedHand = false;  // the hand as computed (qqa2[1]) with the contact markers
  bool replay = false;        // the stored step cntRepeat
  bool traces = false;        // contact traces on the work and the links (with F3)
};
SceneParts WhatToDraw(const Sim& s, const WindowView& v);

// Whether finger kf has a contact to mark in the computed hand: in the grasp only
// the fingers solved so far that found one; never a finger whose contact point
// is still the cleared one (the palm's centre).
bool ContactShown(const Sim& s, int kf);

}  // namespace rg
