// The part of a simulation one rolling step reads and writes, saved and put back
// without copying the whole simulation (whose stored trajectory is megabytes): the
// two-slot history (with the command that led to its latest slot and the rolling
// matrices kept there), the carried Jacobians, the counters and the status letters.
// The rows a step stores lie beyond the latest stored row, which a snapshot does
// not keep: putting a snapshot back makes them meaningless again, as the counters
// say.
#pragma once

#include <cstddef>

#include "core/state.h"

namespace rg {

struct RollSnapshot {
  double qqa2[2][kSlots][kSlots];
  ContactPrm prm2[2][kSlots];
  double cpnta2[2][kSlots][3];
  double nwa2[2][kSlots][3];
  double rw2[2][3];
  double ew2[2][3][3];
  double dt2;
  double cmd2[6];
  double jinv2[kSlots][4][4];
  bool jinvOk[kSlots];
  double rootErr[kSlots];
  double jb2[kSlots][4][4];
  double qqaRow[kSlots][kSlots];  // the drawn pose of the latest row, which every step updates
  int cntManip0, cntMainip1, cntRepeat;
  double manipTS, manipTime, dt;
  double rww[3], eww[3][3];
  char sgnMANIP;
  char sgnC[kSlots];
  int collKf, collLink;
  size_t notes;  // notes already taken before the snapshot
};

void SaveRoll(const Sim& s, RollSnapshot& snap);
void RestoreRoll(Sim& s, const RollSnapshot& snap);

}  // namespace rg
