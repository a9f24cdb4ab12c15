// rollgrasp: the desktop simulator. Runs the start-up, then the window.
#include <memory>

#include "app/console.h"
#include "app/state.h"

int main(int argc, char** argv) {
  (void)argc;
  (void)argv;
  auto sim = std::make_unique<rg::Sim>();
  rg::StartUp(*sim);
  con::Flush();
  return 0;
}
