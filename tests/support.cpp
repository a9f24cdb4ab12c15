#include "support.h"
#include "app/startup.h"

namespace rgtest {

std::unique_ptr<rg::Sim> StartedSim() {
  auto s = std::make_unique<rg::Sim>();
  Capture cap;
  con::SetKeyMode(con::KeyMode::AutoAnswer);
  rg::StartUp(*s);
  return s;
}

}  // namespace rgtest
