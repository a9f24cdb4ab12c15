// The part of a simulation one rolling step reads and writes, saved and put back
// without copying the whole simulation (whose stored trajectory is megabytes): its
// rolling state (core/state.h's RollState: the two-slot history with the command
// that led to its latest slot and the matrices kept there, the counters, the drawn
// work pose and the status letters), the drawn pose of the latest stored row, and
// how many notes were taken. The rows a step stores lie beyond the latest stored
// row, which a snapshot does not keep: putting a snapshot back makes them
// meaningless again, as the counters say.
#pragma once

#include <cstddef>

#include "core/state.h"

namespace rg {

struct RollSnapshot {
  RollState roll;
  double qqaRow[kSlots][kSlots];  // the drawn pose of the latest row, which every step updates
  size_t notes;                   // notes already taken before the snapshot
};
// every node of the planner's tree holds one
static_assert(sizeof(RollSnapshot) <= 5 * 1024, "a snapshot stays about 5 kB");

void SaveRoll(const Sim& s, RollSnapshot& snap);
void RestoreRoll(Sim& s, const RollSnapshot& snap);

}  // namespace rg
