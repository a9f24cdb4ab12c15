// rollgrasp: the desktop simulator. Reads its own options, runs the start-up,
// then the window and its event loop. Arguments it does not know are left to
// GLUT (for example -display, -geometry).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/hand_choice.h"
#include "app/scene.h"
#include "app/startup.h"
#include "app/window_view.h"
#include "core/console.h"
#include "core/state.h"
#include "hand/hand_file.h"
#include "numerics/text_number.h"
#include "plan/plan.h"
#include "render/window.h"

namespace {

const char* const kHelp =
    "usage: rollgrasp [--hand FILE.urdf] [--scene FILE.json] [--save-scene FILE.json]\n"
    "                 [--sphere-radius R] [--cylinder-radius R] [--cylinder-height H]\n"
    "                 [--no-wait] [--show PARTS] [--hide PARTS] [--friction MU] [--torsion T]\n"
    "                 [--contact point|soft] [--cone-edges M] [--plan-steps N] [--seed N]\n"
    "                 [--plan-time SECONDS] [--help] [GLUT options]\n"
    "\n"
    "Opens the simulator's window on the default scene; everything else is done\n"
    "with keys in the window (the console shows the key help at start-up).\n"
    "\n"
    "  --hand FILE.urdf\n"
    "              run the hand described in FILE (docs/hands.md) instead of\n"
    "              built-in hand 1; H 1..4 still selects a built-in hand\n"
    "  --sphere-radius R, --cylinder-radius R, --cylinder-height H\n"
    "              the works' sizes in length units (defaults 70, 60, 100; radii 20\n"
    "              to 80, height 20 to 100), kept when H chooses another hand\n"
    "  --scene FILE.json\n"
    "              start from the scene in FILE (docs/scenes.md); the quality and\n"
    "              planning options given override it\n"
    "  --save-scene FILE.json\n"
    "              where F6 saves the scene (default rollgrasp-scene.json here)\n"
    "  --no-wait   answer every console wait at once, as if its key (e) had been\n"
    "              typed on the console; the wait's line is still printed\n"
    "  --show PARTS, --hide PARTS\n"
    "              what the window shows at start, as its keys switch it: a\n"
    "              comma-separated list of help (the help table, F1; shown),\n"
    "              info (the information panel, F2; hidden), contacts or traces\n"
    "              (contact markers, traces and work axes, F3; shown)\n"
    "  --plan-steps N, --seed N\n"
    "              the rolling steps a plan of mode B (key s) may spend (default 60000\n"
    "              over the hand's fingers: 30000 for two, 20000 for three) and its\n"
    "              random draws (default 23): the same seed, the same path\n"
    "  --plan-time SECONDS\n"
    "              the longest a plan of mode B may search, above 0 and at most 3600\n"
    "              (default 10), a safety net; Escape or B stops it sooner\n"
    "  -h, --help  print this help and exit\n"
    "  --friction MU, --torsion T, --contact point|soft, --cone-edges M\n"
    "              how the grasp quality is judged (information panel, F2):\n"
    "              Coulomb friction (default 0.5), soft-finger torsion as a\n"
    "              fraction of the work's radius (0.1), the contact model\n"
    "              (soft) and the edges of the friction cone (8)\n"
    "Options take their value as the next argument or after '=' (--friction=0.3).\n"
    "\n"
    "In mode A the digits 1..n lift finger n off the work while the others hold\n"
    "it, and place it again (docs/gaits.md).\n"
    "\n"
    "In the window, besides the keys of the modes:\n"
    "  space       start or stop continuous play in modes A, D and C\n"
    "  Escape, B   while mode B plans (s): stop planning\n"
    "  F1          hide or show the help table\n"
    "  F2          show or hide the information panel\n"
    "  F3          hide or show the contact markers, the traces and the work axes\n"
    "  F6          save the scene (--save-scene FILE, or rollgrasp-scene.json)\n"
    "  F7          the run's CSV, picture and web page beside that scene file\n"
    "  Home, F5    back to the start-up camera\n"
    "  mouse       left drag turns the view about the scene, right drag (or\n"
    "              shift and left drag) moves it, the wheel zooms\n";

}  // namespace

int main(int argc, char** argv) {
  bool noWait = false;
  rg::WindowView view;
  rg::QualitySettings quality;
  quality.model = rg::ContactModel::Soft;
  std::vector<char*> glutArgs;
  if (argc > 0) glutArgs.push_back(argv[0]);
  std::string handPath;
  double planTime = rg::PlanState{}.timeLimit;
  long planSteps = 0;  // the hand's default
  unsigned seed = rg::kDefaultPlanSeed;
  bool haveSeed = false;
  std::string scenePath;
  rg::WorkSizes sizes;
  bool haveSizes = false;
  // the quality options as given, applied over a scene's settings
  std::vector<std::pair<std::string, std::string>> qualityArgs;
  for (int i = 1; i < argc; ++i) {
    // --opt=value is --opt value
    std::string a = argv[i], inlineValue;
    bool hasInline = false;
    if (a.compare(0, 2, "--") == 0 && a.find('=') != std::string::npos) {
      inlineValue = a.substr(a.find('=') + 1);
      a = a.substr(0, a.find('='));
      hasInline = true;
    }
    auto value = [&](std::string* dst) {
      if (hasInline) {
        *dst = inlineValue;
        return true;
      }
      if (i + 1 >= argc) return false;
      *dst = argv[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (a == "--no-wait" && !hasInline) {
      noWait = true;
      continue;
    }
    if (a == "--hand") {
      if (value(&handPath) && !handPath.empty()) continue;
      std::fprintf(stderr, "rollgrasp: --hand needs a hand description file (URDF)\n%s", kHelp);
      return 2;
    }
    if (a == "--scene" || a == "--save-scene") {
      std::string v;
      if (value(&v) && !v.empty()) {
        (a == "--scene" ? scenePath : view.sceneFile) = v;
        continue;
      }
      std::fprintf(stderr, "rollgrasp: %s needs a file name\n%s", a.c_str(), kHelp);
      return 2;
    }
    if (rg::IsWorkSizeOption(a)) {
      std::string v, err = a + " needs a value";
      if (value(&v) && rg::ParseWorkSizeOption(a, v, &sizes, &err)) {
        haveSizes = true;
        continue;
      }
      std::fprintf(stderr, "rollgrasp: %s\n%s", err.c_str(), kHelp);
      return 2;
    }
    if (a == "--show" || a == "--hide") {
      std::string err = a + " needs a list of parts", parts;
      if (value(&parts) && rg::ApplyShowHide(parts.c_str(), a[2] == 's', view, &err)) continue;
      std::fprintf(stderr, "rollgrasp: %s: %s\n%s", a.c_str(), err.c_str(), kHelp);
      return 2;
    }
    if (a == "--plan-time") {
      std::string v, why;
      if (value(&v) && rg::ParseFiniteNumber(v, &planTime) && rg::PlanTimeValid(planTime, &why)) continue;
      rg::PlanTimeValid(-1.0, &why);  // the accepted range
      std::fprintf(stderr, "rollgrasp: --plan-time needs %s\n%s", why.c_str(), kHelp);
      return 2;
    }
    if (a == "--plan-steps" || a == "--seed") {
      std::string v, why;
      double n = -1.0;
      const bool whole = value(&v) && rg::ParseFiniteNumber(v, &n) && n == std::floor(n);
      if (a == "--seed") {
        why = "a whole number from 0 to 4294967295";
        if (whole && n >= 0.0 && n <= 4294967295.0) {
          seed = static_cast<unsigned>(n);
          haveSeed = true;
          continue;
        }
      } else if (whole && n >= 1.0 && n <= static_cast<double>(rg::kMaxPlanSteps)) {
        planSteps = static_cast<long>(n);
        continue;
      } else {
        rg::PlanStepsValid(0, &why);  // the accepted range
      }
      std::fprintf(stderr, "rollgrasp: %s needs %s\n%s", a.c_str(), why.c_str(), kHelp);
      return 2;
    }
    if (rg::IsQualityOption(a.c_str())) {
      std::string err, v;
      if (!value(&v)) err = a + " needs a value";
      if (err.empty() && rg::ParseQualityOption(a.c_str(), v.c_str(), &quality, &err)) {
        qualityArgs.emplace_back(a, v);
        continue;
      }
      std::fprintf(stderr, "rollgrasp: %s\n%s", err.c_str(), kHelp);
      return 2;
    }
    // an option of this program's own spelling that it does not know (a mistyped
    // --no-wait, say) is an error, not something for the windowing toolkit
    if (a.compare(0, 2, "--") == 0) {
      std::fprintf(stderr, "rollgrasp: unknown option %s\n%s", argv[i], kHelp);
      return 2;
    }
    glutArgs.push_back(argv[i]);
  }
  // a hand file is read before anything opens: a file it cannot use ends the program
  rg::HandFileResult hand;
  if (!handPath.empty()) {
    hand = rg::LoadHandFile(handPath);
    if (!hand.model) {
      std::fprintf(stderr, "rollgrasp: %s\n", hand.error.c_str());
      return 2;
    }
  }
  // so is a scene file, with its hand; it sets the hand and the sizes up itself
  rg::Scene scene;
  if (!scenePath.empty()) {
    std::string why;
    if (!handPath.empty() || haveSizes) {
      std::fprintf(stderr, "rollgrasp: --scene sets the hand and the work sizes: give it without %s\n",
                   !handPath.empty() ? "--hand" : "the work size options");
      return 2;
    }
    if (!rg::ReadScene(scenePath, &scene, &why)) {
      std::fprintf(stderr, "rollgrasp: --scene %s\n", why.c_str());
      return 2;
    }
  }
  glutArgs.push_back(nullptr);

  // freeglut ends the process when it cannot open the display: ask first
  std::string why;
  if (!rg::DisplayAvailable(&why)) {
    std::fprintf(stderr,
                 "rollgrasp: %s; it needs a desktop display, or run it headless with: "
                 "xvfb-run -a %s\n",
                 why.c_str(), argc > 0 ? argv[0] : "rollgrasp");
    return 1;
  }
  auto sim = std::make_unique<rg::Sim>();
  if (noWait) sim->con.SetKeyMode(rg::Console::KeyMode::AutoAnswer);
  sim->qualitySettings = quality;
  sim->plan.timeLimit = planTime;
  sim->plan.maxSteps = planSteps;
  sim->plan.seed = seed;
  rg::StartUp(*sim);
  if (haveSizes) {
    std::string why;
    rg::SetWorkSizes(*sim, sizes, &why);  // checked when read
  }
  if (hand.model) rg::SelectHandModel(*sim, hand.model);
  if (!scenePath.empty()) {
    rg::ApplyScene(*sim, scene);
    std::string why;
    for (const auto& [option, v] : qualityArgs) rg::ParseQualityOption(option, v, &sim->qualitySettings, &why);
    if (haveSeed) sim->plan.seed = seed;
    if (planSteps > 0) sim->plan.maxSteps = planSteps;
  }
  sim->con.Flush();
  return rg::WindowRun(*sim, static_cast<int>(glutArgs.size()) - 1, glutArgs.data(), view);
}
