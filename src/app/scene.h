// Scene files: what a run is set up with (the hand, the work with its sizes and
// pose, the commanded velocity, every finger's initial angles, how grasp quality
// is judged, the goal and the planner's seed and budget) as one small versioned
// JSON document (docs/scenes.md), saved from a simulation and loaded into a fresh
// one so that the same keys then give the same run bit for bit. The grasp and the
// motion themselves are not part of a scene.
#pragma once

#include <memory>
#include <string>

#include "core/model.h"
#include "core/state.h"

namespace rg {

// ---- the work size options of the programs (--sphere-radius R, --cylinder-radius R,
// --cylinder-height H)

// true for the three options above
bool IsWorkSizeOption(const std::string& option);
// Applies one of them and its value to *w; false with one line naming the option and
// its range in *why (nothing changed) for a value that is no number or out of range.
bool ParseWorkSizeOption(const std::string& option, const std::string& value, WorkSizes* w,
                         std::string* why);

// ---- scenes

// The version this program writes, and the newest it reads.
constexpr int kSceneVersion = 1;
// A scene file takes a few kilobytes; anything beyond this is refused unread.
constexpr std::size_t kMaxSceneFileBytes = 64 * 1024;
// Objects and arrays nest at most this deep (the work frame's rows are the deepest).
constexpr int kMaxSceneDepth = 4;
// The accumulated turn angles of the work pose (al0, bet0, qam0), rad either way: far
// more than a keys file can turn (0.0314 rad a key).
constexpr double kMaxSceneTurnAngle = 1e6;

struct Scene {
  int hand = 1;                          // built-in hand 1..4; 0: handFile
  std::string handFile;                  // the hand file, as a path usable from here
  std::shared_ptr<const Model> model;    // the hand's model with the scene's work sizes
  char work = '2';                       // '1' sphere, '2' cylinder
  WorkSizes sizes;
  double r[3] = {}, E[3][3] = {};        // the work's set pose, hand frame (rwG0, EwG0)
  double angles[3] = {};                 // its accumulated turns al0, bet0, qam0 (rad)
  double vw[3] = {}, omww[3] = {};       // commanded velocity: hand frame, work axes
  double q[kSlots][kSlots] = {};         // initial angles q[kf][1..nJ]
  QualitySettings quality{ContactModel::Soft};
  bool haveGoal = false;
  GoalPose goal;
  unsigned seed = kDefaultPlanSeed;
  long planSteps = 0;  // 0: the hand's default budget
};

// The scene a simulation is set up with now (its hand file as the simulation names it).
Scene SceneOf(const Sim& s);

// The scene as the text of a scene file that will be written at path: the hand file
// relative to path's folder when it lies under it, absolute otherwise; every number
// with round-trip precision.
std::string SceneText(const Scene& sc, const std::string& path);

// Reads and checks the scene file at path, with its hand (a hand file is read, relative
// to the scene file's folder). False with one line in *why naming the field and what
// it accepts (or the file's problem).
bool ReadScene(const std::string& path, Scene* out, std::string* why);
// The same for a scene already in memory; where names it, dir resolves relative hand
// files.
bool ParseScene(const std::string& text, const std::string& where, const std::string& dir,
                Scene* out, std::string* why);

// Sets the simulation up with the scene as the setting keys would (hand, work sizes,
// work, initial angles, pose, velocity), sets its quality and planning settings, and
// leaves it in grasp mode showing the hand's initial pose, as the start-up does.
void ApplyScene(Sim& s, const Scene& sc);

// Writes the simulation's scene to path, whole or not at all; false with *why.
bool SaveScene(const Sim& s, const std::string& path, std::string* why);

}  // namespace rg
