// libFuzzer target: arbitrary bytes read as a hand description file. The reader
// either refuses them with one line that names where, or gives a model of the
// family; a model is then selected in a started simulation, its fingers grasp the
// work and roll it a few steps (a file's sizes are its own), after which the state
// must be sane.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/hand_choice.h"
#include "app/keyboard.h"
#include "app/startup.h"
#include "core/state.h"
#include "hand/hand_file.h"
#include "sanity.h"

namespace {

const rg::Sim& Pristine() {
  static std::unique_ptr<rg::Sim> s = [] {
    auto p = std::make_unique<rg::Sim>();
    rg::StartUpQuiet(*p);
    return p;
  }();
  return *s;
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "hand file fuzzer: %s\n", why.c_str());
  std::abort();
}

bool Finite(const double* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const rg::HandFileResult r = rg::ParseHandDescription(text, "fuzz.urdf");
  if (!r.model) {
    if (r.error.rfind("fuzz.urdf:", 0) != 0 || r.error.find('\n') != std::string::npos)
      Fail("a refusal that is not one line naming the file: " + r.error);
    return 0;
  }
  const rg::Model& m = *r.model;
  if (m.nF < 2 || m.nF > rg::kMaxFingers || m.nJ != 4) Fail("a model outside the family");
  for (int kf = 1; kf <= m.nF; ++kf)
    if (!Finite(m.mountSphere[kf].base, 3) || !Finite(&m.mountSphere[kf].frame[0][0], 9) ||
        !Finite(&m.mountCylinder[kf].frame[0][0], 9) || !Finite(m.qInit[kf], rg::kSlots))
      Fail("a model with a non-finite mount or angle");
  static auto sim = std::make_unique<rg::Sim>();
  *sim = Pristine();
  rg::SelectHandModel(*sim, r.model);
  for (char k : std::string("G") + std::string(m.nF, 's') + "Asss") rg::keyboard(*sim, k, 0, 0);
  sim->con.ClearText();
  const std::string bad = rgfuzz::CheckSane(*sim);
  if (!bad.empty()) Fail("insane state after the grasp and rolling: " + bad);
  return 0;
}
