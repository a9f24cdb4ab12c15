// Start-up of a simulation: the default scene (the cylinder in front of hand 1),
// the summary of the work on the console, and the key help.
#pragma once

#include "core/state.h"

namespace rg {

// Builds the default scene, prints the work summary and the key help, and leaves
// the simulation in grasp mode showing the hand's initial pose.
void StartUp(Sim& s);

// The start-up of a simulation run without a terminal (the batch driver, tests,
// benchmarks, the fuzzer): its console keeps the text (Console::text) and answers
// every wait at once.
void StartUpQuiet(Sim& s);

// Console key help printed at start-up.
void PrintKeyHelp(Console& con);

}  // namespace rg
