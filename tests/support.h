// Shared helpers for the unit tests.
#pragma once

#include <memory>
#include <string>

#include "core/state.h"

namespace rgtest {

// The text a simulation's console keeps from now on (a started simulation keeps
// all its console text; see StartedSim).
class Capture {
 public:
  explicit Capture(rg::Sim& s) : s_(s) { s_.con.ClearText(); }
  const std::string& text() const { return s_.con.text(); }
  void clear() { s_.con.ClearText(); }

 private:
  rg::Sim& s_;
};

// A simulation after the start-up sequence whose console keeps its text and
// answers every wait at once.
std::unique_ptr<rg::Sim> StartedSim();

}  // namespace rgtest
