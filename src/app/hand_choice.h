// Running a simulation on a hand from a description file instead of one of the
// four built-in hands (the programs' --hand FILE).
#pragma once

#include <memory>
#include <string>

#include "core/state.h"

namespace rg {

// The simulation runs the given model from now on, as the 'H' key selects a
// built-in hand: the fingers in their initial pose before the work, grasp state
// cleared. HAND1 becomes 0; 'H' 1..4 goes back to a built-in hand.
void SelectHandModel(Sim& s, std::shared_ptr<const Model> model);

// Loads the description file at path and selects its hand; false, the simulation
// unchanged and the one-line refusal in *why when the file cannot be used.
bool UseHandFile(Sim& s, const std::string& path, std::string* why);

}  // namespace rg
