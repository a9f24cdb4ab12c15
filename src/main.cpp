// rollgrasp: the desktop simulator. Reads its own options, runs the start-up,
// then the window and its event loop. Arguments it does not know are left to
// GLUT (for example -display, -geometry).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/window_view.h"
#include "core/console.h"
#include "core/state.h"
#include "render/window.h"

namespace {

const char* const kHelp =
    "usage: rollgrasp [--no-wait] [--show PARTS] [--hide PARTS] [--friction MU] [--torsion T]\n"
    "                 [--contact point|soft] [--cone-edges M] [--help] [GLUT options]\n"
    "\n"
    "Opens the simulator's window on the default scene; everything else is done\n"
    "with keys in the window (the console shows the key help at start-up).\n"
    "\n"
    "  --no-wait   answer every console wait at once, as if its key (e) had been\n"
    "              typed on the console; the wait's line is still printed\n"
    "  --show PARTS, --hide PARTS\n"
    "              what the window shows at start, as its keys switch it: a\n"
    "              comma-separated list of help (the help table, F1; shown),\n"
    "              info (the information panel, F2; hidden), contacts or traces\n"
    "              (contact markers, traces and work axes, F3; shown)\n"
    "  -h, --help  print this help and exit\n"
    "  --friction MU, --torsion T, --contact point|soft, --cone-edges M\n"
    "              how the grasp quality is judged (information panel, F2):\n"
    "              Coulomb friction (default 0.5), soft-finger torsion as a\n"
    "              fraction of the work's radius (0.1), the contact model\n"
    "              (soft) and the edges of the friction cone (8)\n"
    "\n"
    "In the window, besides the keys of the modes:\n"
    "  space       start or stop continuous play in modes A, D and C\n"
    "  Escape, B   while mode B plans (s): stop planning\n"
    "  F1          hide or show the help table\n"
    "  F2          show or hide the information panel\n"
    "  F3          hide or show the contact markers, the traces and the work axes\n"
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
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--no-wait") == 0) {
      noWait = true;
      continue;
    }
    if (std::strcmp(argv[i], "--show") == 0 || std::strcmp(argv[i], "--hide") == 0) {
      std::string err = std::string(argv[i]) + " needs a list of parts";
      if (i + 1 < argc && rg::ApplyShowHide(argv[i + 1], argv[i][2] == 's', view, &err)) {
        ++i;
        continue;
      }
      std::fprintf(stderr, "rollgrasp: %s: %s\n%s", argv[i], err.c_str(), kHelp);
      return 2;
    }
    if (rg::IsQualityOption(argv[i])) {
      std::string err;
      if (i + 1 >= argc) err = std::string(argv[i]) + " needs a value";
      if (err.empty() && rg::ParseQualityOption(argv[i], argv[i + 1], &quality, &err)) {
        ++i;
        continue;
      }
      std::fprintf(stderr, "rollgrasp: %s\n%s", err.c_str(), kHelp);
      return 2;
    }
    // an option of this program's own spelling that it does not know (a mistyped
    // --no-wait, say) is an error, not something for the windowing toolkit
    if (std::strncmp(argv[i], "--", 2) == 0) {
      std::fprintf(stderr, "rollgrasp: unknown option %s\n%s", argv[i], kHelp);
      return 2;
    }
    glutArgs.push_back(argv[i]);
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
  rg::StartUp(*sim);
  sim->con.Flush();
  return rg::WindowRun(*sim, static_cast<int>(glutArgs.size()) - 1, glutArgs.data(), view);
}
