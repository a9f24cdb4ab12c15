// Running a simulation on a hand from a description file instead of one of the
// four built-in hands (the programs' --hand FILE).
#pragma once

#include <memory>
#include <string>

#include "core/state.h"

namespace rg {

// The simulation runs the given model from now on, as the 'H' key selects a
// built-in hand: the fingers in their initial pose before the work, grasp state
// cleared. HAND1 becomes 0; 'H' 1..4 goes back to a built-in hand. The works keep
// the sizes they had.
void SelectHandModel(Sim& s, std::shared_ptr<const Model> model);

// Loads the description file at path and selects its hand; false, the simulation
// unchanged and the one-line refusal in *why when the file cannot be used.
bool UseHandFile(Sim& s, const std::string& path, std::string* why);

// The works take the given sizes from now on, for this hand and every hand chosen
// after it: the fingers in their initial pose, the work at its default pose, grasp
// state cleared. False, the simulation unchanged and the one-line refusal in *why
// when a size is out of its range.
bool SetWorkSizes(Sim& s, const WorkSizes& sizes, std::string* why);

}  // namespace rg
