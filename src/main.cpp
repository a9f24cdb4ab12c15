// rollgrasp: the desktop simulator. Runs the start-up, then the window and its
// event loop.
#include <cstdio>
#include <memory>
#include <string>

#include "app/startup.h"
#include "core/state.h"
#include "render/window.h"

int main(int argc, char** argv) {
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
  rg::StartUp(*sim);
  sim->con.Flush();
  return rg::WindowRun(*sim, argc, argv);
}
