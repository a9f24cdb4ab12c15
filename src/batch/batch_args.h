// The batch driver's command line: every option checked and turned into the
// options of one run, or refused with one line that says what is wrong. Reads
// no file and prints nothing, so the fuzzer can call it as the program does.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "app/window_view.h"
#include "core/model.h"
#include "plan/plan.h"
#include "quality/quality.h"

namespace rgbatch {

// The most bytes a keys file may hold (4 MiB: a whole manipulation run is about
// 4000 keys); a longer file, or a pipe that goes on, is refused.
constexpr std::size_t kMaxKeysFileBytes = std::size_t{4} << 20;
// The largest pan of the pictures' camera, in view heights either way.
constexpr double kMaxPan = 100.0;

struct BatchOptions {
  std::string handPath;        // --hand, "" for built-in hand 1
  std::string statePath;       // --state
  std::string trajectoryPath;  // --trajectory
  std::string snapshotPath;    // --snapshot
  std::string htmlPath;        // --html
  std::string framesDir;       // --frames
  std::string keysFile;        // --keys-file; "" when the keys are `keys`
  std::string keys;            // KEYS with its escapes decoded
  long stateEvery = 1;         // a state line every N keys; 0: after the last key only
  bool stateVolume = false;    // --state-volume: the quality's volume in every state line
  bool summary = false;        // --summary
  bool progress = false;       // --progress
  bool haveGoal = false;       // --goal given
  rg::GoalPose goal;
  double planTime = 10.0;      // --plan-time, seconds in (0, rg::kMaxPlanSeconds]
  long planSteps = 0;  // --plan-steps, 1..rg::kMaxPlanSteps (0: the hand's default)
  unsigned seed = rg::kDefaultPlanSeed;    // --seed
  rg::QualitySettings quality; // --friction, --torsion, --contact, --cone-edges
  // --friction, --torsion, --contact, --cone-edges as given, in order: with --scene
  // they are applied over the scene's settings
  std::vector<std::pair<std::string, std::string>> qualityArgs;
  bool haveSeed = false;       // --seed given
  rg::WorkSizes sizes;         // --sphere-radius, --cylinder-radius, --cylinder-height
  bool haveSizes = false;      // one of them given
  std::string scenePath;       // --scene
  std::string saveScenePath;   // --save-scene
  rg::WindowView view;         // --show, --hide, --zoom, --pan
};

enum class ParseOutcome {
  Run,      // options holds the run
  Help,     // -h or --help: print the usage and help, status 0
  Refused,  // error says why: print it with the usage line, status 2
};

struct ParsedArgs {
  ParseOutcome outcome = ParseOutcome::Refused;
  BatchOptions options;
  std::string error;  // one line, no control characters
};

ParsedArgs ParseBatchArgs(int argc, const char* const* argv);

// Decodes KEYS: "\e" is Escape, "\\" a backslash, "\xHH" any byte.
bool DecodeKeys(const std::string& in, std::string* out, std::string* err);

// text for one line of a message: every control character as \xHH
std::string Printable(const std::string& text);

const char* BatchUsage();
const char* BatchHelp();

}  // namespace rgbatch
