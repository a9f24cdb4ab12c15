// Sanity of a simulation state: every flag within its value set, every counter
// within its range, and no NaN or infinity in any pose, angle or contact record.
// Used by the key-sequence fuzzer and by the regression tests of its findings.
#pragma once

#include <string>

#include "core/state.h"

namespace rgfuzz {

// Empty when the state is sane, else a description of the first problem found.
std::string CheckSane(const rg::Sim& s);

}  // namespace rgfuzz
