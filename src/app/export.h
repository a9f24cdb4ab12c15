// A simulation as other programs see it: the state object written by the batch
// driver after every key and returned by the Python module's state(), and a
// simulation driven key by key without a window. Both front ends use this one
// code, so their views of the state cannot drift apart.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "core/state.h"

namespace rg {

// A key or flag character as a one-character JSON string; bytes above 127 map to
// the code point of the same number so that the text stays valid UTF-8.
nlohmann::json KeyString(char c);

// The state of s after a key: the key (null for the state after start-up), the
// console text printed while it was handled, the number of redraws it asked for,
// the flags, counters, poses and velocities, and one object per finger.
// quality: the measures of the grasp quality shown. Closure and epsilon alone (the
// default) leave its volume null: the volume needs Qhull's whole hull, about a
// millisecond for every contact set not seen before (record/grasp_quality.h), where
// the rest of the state costs some tens of microseconds. QualityMeasures::All gives
// the volume, and closure and epsilon from the same hull, as the trajectory has them.
nlohmann::json StateObject(const Sim& s, const nlohmann::json& key, const std::string& console,
                           int redraws,
                           QualityMeasures quality = QualityMeasures::ClosureAndEpsilon);
// The same object made in o, which may hold an earlier state object: its values are
// overwritten in place (numbers, strings, arrays of the same length), so that the
// next key's state is made without allocating, and what the state no longer has
// is removed. o ends up equal to StateObject's result.
void FillStateObject(const Sim& s, const nlohmann::json& key, const std::string& console,
                     int redraws, QualityMeasures quality, nlohmann::json& o);

// One simulation driven key by key without a window: the quiet start-up (the
// console keeps its text, waits are answered at once), then one key at a time.
// After each step console() holds the text that step printed and State() the
// state object for it. Not copyable: the simulation's redraw hook counts into it.
class KeyDriver {
 public:
  KeyDriver();
  KeyDriver(const KeyDriver&) = delete;
  KeyDriver& operator=(const KeyDriver&) = delete;

  // Handles one key; true when it ends the program (Escape in mode 'I').
  bool Press(unsigned char key);

  // The state object after the start-up or the last key (quality as StateObject's),
  // made again in the driver's own object at every call: the reference holds until
  // the next call.
  const nlohmann::json& State(
      QualityMeasures quality = QualityMeasures::ClosureAndEpsilon) const;

  // Console text printed by the start-up or by the last key.
  const std::string& console() const { return console_; }
  int redraws() const { return redraws_; }

  Sim& sim() { return *sim_; }
  const Sim& sim() const { return *sim_; }

 private:
  // takes the console text kept since the last step
  void TakeConsole();

  std::unique_ptr<Sim> sim_;
  int redraws_ = 0;
  std::string console_;
  nlohmann::json key_;  // null until the first key
  mutable nlohmann::json state_;  // the state object State() made last
};

}  // namespace rg
