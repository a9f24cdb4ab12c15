#include "plan/snapshot.h"

#include <cstring>

namespace rg {

void SaveRoll(const Sim& s, RollSnapshot& p) {
  p.roll = s.roll();
  std::memcpy(p.qqaRow, s.qqa[s.cntMainip1], sizeof p.qqaRow);
  p.notes = s.notes.size();
}

void RestoreRoll(Sim& s, const RollSnapshot& p) {
  s.roll() = p.roll;
  std::memcpy(s.qqa[s.cntMainip1], p.qqaRow, sizeof p.qqaRow);
  if (s.notes.size() > p.notes) s.notes.resize(p.notes);
}

}  // namespace rg
