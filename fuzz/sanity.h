// Sanity of a simulation state: every flag within its value set, every counter
// within its range, and no NaN or infinity in any pose, angle or contact record.
// Used by the key-sequence fuzzer and by the regression tests of its findings,
// with the outputs written from a state read back as a program reading them would.
#pragma once

#include <string>

#include "core/state.h"

namespace rgfuzz {

// Empty when the state is sane, else a description of the first problem found.
std::string CheckSane(const rg::Sim& s);

// The outputs of s read back: the state line (as --state writes it) parses to the
// object it was written from; the trajectory CSV has the header's number of
// columns on every row, a finite number in every field and one row per stored row
// of the record; the replay page, made from the viewer's page template
// (viewer.html) with script stand-ins that try to end their elements early, holds
// data that parses to ReplayData's, with the CSV's columns and rows. Empty when
// all hold, else the first problem found.
std::string CheckOutputs(const rg::Sim& s, const std::string& pageTemplate);

}  // namespace rgfuzz
