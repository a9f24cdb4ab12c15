// The window: GLUT set-up, the display, reshape, keyboard, special-key, mouse and
// timer callbacks, and the event loop. GLUT callbacks carry no user pointer, so
// the simulation shown and the window's view state are held at module level.
//
// Redraws are requested, not done at once: the simulation's redraw hook posts a
// redisplay, so the frames asked for by a manipulation step (one per finger) and
// by a burst of keys coalesce into one frame when the event loop is idle. Only a
// console wait draws at once, because the event loop stands still while the
// program waits for the console key.
#include "render/window.h"

#include <GL/freeglut.h>

#include <cstdlib>
#include <string>

#include "app/html_export.h"
#include "app/keyboard.h"
#include "app/plan_job.h"
#include "app/scene.h"
#include "app/window_view.h"
#include "core/console.h"
#include "core/output_file.h"
#include "record/report.h"
#include "render/draw.h"
#include "render/snapshot.h"

namespace rg {
namespace {

Sim* gSim = nullptr;
WindowView gView;
int gPlayRun = 0;  // numbers the play runs: a timer of a stopped run does nothing

// Key s of mode 'B' plans in the background; the event loop polls it.
BackgroundPlan gPlan;
constexpr int kPlanPollMs = 100;
constexpr unsigned char kEscapeKey = 27;

// The mouse drag in progress.
enum class Drag { None, Orbit, Pan };
Drag gDrag = Drag::None;
int gLastX = 0, gLastY = 0;

void Display() {
  if (gSim == nullptr) return;
  DrawFrame(*gSim, gView);
  glutSwapBuffers();
  // no idle processing is ever active
  if (!glutLayerGet(GLUT_NORMAL_DAMAGED)) glutIdleFunc(nullptr);
}

void Redisplay() { glutPostRedisplay(); }

// A console wait is about to read its key: show the banner now, the event loop
// will not run until the key has come.
void BeforeWait(char key) {
  gView.waitingKey = key;
  Display();
  glFinish();
}

void StopPlay() {
  gView.playing = false;
  ++gPlayRun;
}

// Hands a key to the key machine; true when the program is to end.
bool Feed(unsigned char key) {
  const bool quit = keyboard(*gSim, key, 0, 0);
  gSim->con.Flush();
  if (gView.waitingKey != '\0') {
    gView.waitingKey = '\0';  // the wait is over
    Redisplay();
  }
  if (gView.playing && !(PlayApplies(*gSim) && PlayCanStep(*gSim))) StopPlay();
  Redisplay();
  return quit;
}

void PlayTick(int run) {
  if (gSim == nullptr || run != gPlayRun || !gView.playing) return;
  // the next tick is due one period after this one, however long the step takes
  glutTimerFunc(kPlayPeriodMs, PlayTick, run);
  if (!(PlayApplies(*gSim) && PlayCanStep(*gSim))) {
    StopPlay();
    Redisplay();
    return;
  }
  if (Feed('s')) {
    std::exit(0);
  }
}

void TogglePlay() {
  if (gView.playing) {
    StopPlay();
  } else if (PlayApplies(*gSim) && PlayCanStep(*gSim)) {
    gView.playing = true;
    ++gPlayRun;
    glutTimerFunc(kPlayPeriodMs, PlayTick, gPlayRun);
  }
  Redisplay();
}

// While a plan runs: its progress into the view, and once it has ended its result
// into the simulation, with the outcome line on the console.
void PlanPoll(int /*unused*/) {
  if (gSim == nullptr) return;
  if (gPlan.Poll(*gSim)) {
    gSim->con.Flush();
    gView.planning = PlanProgress{};
  } else {
    gView.planning = gPlan.Progress();
    glutTimerFunc(kPlanPollMs, PlanPoll, 0);
  }
  Redisplay();
}

void StartPlan() {
  if (!gPlan.Start(*gSim)) return;
  gView.planning = gPlan.Progress();
  glutTimerFunc(kPlanPollMs, PlanPoll, 0);
  Redisplay();
}

void Keyboard(unsigned char key, int /*x*/, int /*y*/) {
  if (gSim == nullptr) return;
  if (gPlan.Running()) {  // only Escape and B (which stop the plan) are taken
    if (key == kEscapeKey || key == 'B') gPlan.Stop();
    gView.planning = gPlan.Progress();
    Redisplay();
    return;
  }
  if (key == 's' && gSim->sgnCAL == 'B') {
    StartPlan();
    return;
  }
  if (key == ' ') {  // a key of the window, not of the key machine
    TogglePlay();
    return;
  }
  if (Feed(key)) std::exit(0);
}

// The outcome of writing one file: on the console as a line of its own, into the
// window's note as a short word.
void Report(const std::string& path, bool ok, const std::string& why, std::string& note) {
  if (ok)
    gSim->con.Printf("\nwritten: %s", path.c_str());
  else
    gSim->con.Printf("\nnot written: %s: %s", path.c_str(), why.c_str());
  const std::string ext = path.substr(path.find_last_of('.') == std::string::npos ? path.size() : path.find_last_of('.'));
  note += (note.empty() ? "" : ", ") + ext + (ok ? " written" : " not written");
}

std::string SceneFile() { return gView.sceneFile.empty() ? kDefaultSceneFile : gView.sceneFile; }

// F6: the scene as it stands, into the scene file.
void SaveSceneKey() {
  const std::string path = SceneFile();
  std::string why, note;
  const bool ok = SaveScene(*gSim, path, &why);
  Report(path, ok, why, note);
  gView.fileNote = "F6: " + (ok ? "scene saved to " + path : "scene not saved: " + why);
  gSim->con.Flush();
}

// F7: the run's CSV, the window's picture and the page beside the scene file, each
// whole or not at all.
void WriteRunKey() {
  const std::string scene = SceneFile();
  std::string note, why;
  const std::string csv = BesideScene(scene, ".csv");
  Report(csv, WriteFileWhole(csv, TrajectoryCsv(*gSim), &why), why, note);
  const std::string png = BesideScene(scene, ".png");
  std::string pngData;
  why = "cannot read the window's pixels";
  const bool drawn = WindowPNGData(*gSim, gView, &pngData) == 0;
  Report(png, drawn && WriteFileWhole(png, pngData, &why), why, note);
  const std::string html = BesideScene(scene, ".html");
  why.clear();
  Report(html, WriteReplayHtml(*gSim, html, &why), why, note);
  gView.fileNote = "F7: " + BesideScene(scene, "") + ": " + note;
  gSim->con.Flush();
}

void Special(int key, int /*x*/, int /*y*/) {
  switch (key) {
    case GLUT_KEY_F6: SaveSceneKey(); break;
    case GLUT_KEY_F7: WriteRunKey(); break;
    case GLUT_KEY_F1: gView.help = !gView.help; break;
    case GLUT_KEY_F2: gView.info = !gView.info; break;
    case GLUT_KEY_F3: gView.traces = !gView.traces; break;
    case GLUT_KEY_HOME:
    case GLUT_KEY_F5: CameraReset(gView.cam); break;
    default: return;
  }
  Redisplay();
}

void Mouse(int button, int state, int x, int y) {
  // the wheel comes as buttons 3 (away from the user) and 4
  if (button == 3 || button == 4) {
    if (state == GLUT_DOWN) {
      CameraZoom(gView.cam, button == 3 ? 1 : -1);
      Redisplay();
    }
    return;
  }
  if (state == GLUT_UP) {
    gDrag = Drag::None;
    return;
  }
  gLastX = x;
  gLastY = y;
  if (button == GLUT_LEFT_BUTTON)
    gDrag = (glutGetModifiers() & GLUT_ACTIVE_SHIFT) ? Drag::Pan : Drag::Orbit;
  else if (button == GLUT_RIGHT_BUTTON)
    gDrag = Drag::Pan;
}

void Motion(int x, int y) {
  const int dx = x - gLastX, dy = y - gLastY;
  gLastX = x;
  gLastY = y;
  if (gDrag == Drag::Orbit) {
    CameraOrbit(gView.cam, dx, dy);
  } else if (gDrag == Drag::Pan) {
    CameraPan(gView.cam, dx, dy, glutGet(GLUT_WINDOW_HEIGHT));
  } else {
    return;
  }
  Redisplay();
}

}  // namespace

int WindowRun(Sim& s, int argc, char** argv, const WindowView& view) {
  gView = view;
  return WindowRun(s, argc, argv);
}

int WindowRun(Sim& s, int argc, char** argv) {
  gSim = &s;
  s.redraw = Redisplay;
  s.con.beforeWait = BeforeWait;
  glutInitWindowSize(kWindowSize, kWindowSize);
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutCreateWindow(kWindowTitle);
  glutDisplayFunc(Display);
  glutReshapeFunc(Reshape);
  glutKeyboardFunc(Keyboard);
  glutSpecialFunc(Special);
  glutMouseFunc(Mouse);
  glutMotionFunc(Motion);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glutMainLoop();
  return 0;
}

}  // namespace rg
