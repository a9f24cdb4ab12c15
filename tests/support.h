// Shared helpers for the unit tests.
#pragma once

#include <memory>
#include <string>

#include "core/console.h"
#include "core/state.h"

namespace rgtest {

// Captures all console text while alive.
class Capture {
 public:
  Capture() { con::StartCapture(&text_); }
  ~Capture() { con::StopCapture(); }
  const std::string& text() const { return text_; }
  void clear() { text_.clear(); }

 private:
  std::string text_;
};

// A simulation after the start-up sequence, its console output discarded.
std::unique_ptr<rg::Sim> StartedSim();

}  // namespace rgtest
