#include "support.h"

#include "app/startup.h"

namespace rgtest {

std::unique_ptr<rg::Sim> StartedSim() {
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  return s;
}

}  // namespace rgtest
