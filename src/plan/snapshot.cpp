#include "plan/snapshot.h"

#include <cstring>

namespace rg {

void SaveRoll(const Sim& s, RollSnapshot& p) {
  std::memcpy(p.qqa2, s.qqa2, sizeof p.qqa2);
  std::memcpy(p.prm2, s.ManipPrm2, sizeof p.prm2);
  std::memcpy(p.cpnta2, s.ManipCPNTA2, sizeof p.cpnta2);
  std::memcpy(p.nwa2, s.ManipNWA2, sizeof p.nwa2);
  std::memcpy(p.rw2, s.ManipRW2, sizeof p.rw2);
  std::memcpy(p.ew2, s.ManipEW2, sizeof p.ew2);
  p.dt2 = s.ManipDt2;
  std::memcpy(p.cmd2, s.ManipCmd2, sizeof p.cmd2);
  std::memcpy(p.jinv2, s.ManipJinv2, sizeof p.jinv2);
  std::memcpy(p.jinvOk, s.ManipJinvOk, sizeof p.jinvOk);
  std::memcpy(p.rootErr, s.ManipRootErr, sizeof p.rootErr);
  std::memcpy(p.jb2, s.ManipJB2, sizeof p.jb2);
  std::memcpy(p.qqaRow, s.qqa[s.cntMainip1], sizeof p.qqaRow);
  p.cntManip0 = s.cntManip0;
  p.cntMainip1 = s.cntMainip1;
  p.cntRepeat = s.cntRepeat;
  p.manipTS = s.ManipTS;
  p.manipTime = s.ManipTime;
  p.dt = s.dt;
  std::memcpy(p.rww, s.RWW, sizeof p.rww);
  std::memcpy(p.eww, s.EWW, sizeof p.eww);
  p.sgnMANIP = s.sgnMANIP;
  std::memcpy(p.sgnC, s.sgnC, sizeof p.sgnC);
  p.collKf = s.COLLkf;
  p.collLink = s.COLLlink;
  p.notes = s.notes.size();
}

void RestoreRoll(Sim& s, const RollSnapshot& p) {
  std::memcpy(s.qqa2, p.qqa2, sizeof p.qqa2);
  std::memcpy(s.ManipPrm2, p.prm2, sizeof p.prm2);
  std::memcpy(s.ManipCPNTA2, p.cpnta2, sizeof p.cpnta2);
  std::memcpy(s.ManipNWA2, p.nwa2, sizeof p.nwa2);
  std::memcpy(s.ManipRW2, p.rw2, sizeof p.rw2);
  std::memcpy(s.ManipEW2, p.ew2, sizeof p.ew2);
  s.ManipDt2 = p.dt2;
  std::memcpy(s.ManipCmd2, p.cmd2, sizeof p.cmd2);
  std::memcpy(s.ManipJinv2, p.jinv2, sizeof p.jinv2);
  std::memcpy(s.ManipJinvOk, p.jinvOk, sizeof p.jinvOk);
  std::memcpy(s.ManipRootErr, p.rootErr, sizeof p.rootErr);
  std::memcpy(s.ManipJB2, p.jb2, sizeof p.jb2);
  s.cntManip0 = p.cntManip0;
  s.cntMainip1 = p.cntMainip1;
  s.cntRepeat = p.cntRepeat;
  std::memcpy(s.qqa[s.cntMainip1], p.qqaRow, sizeof p.qqaRow);
  s.ManipTS = p.manipTS;
  s.ManipTime = p.manipTime;
  s.dt = p.dt;
  std::memcpy(s.RWW, p.rww, sizeof p.rww);
  std::memcpy(s.EWW, p.eww, sizeof p.eww);
  s.sgnMANIP = p.sgnMANIP;
  std::memcpy(s.sgnC, p.sgnC, sizeof p.sgnC);
  s.COLLkf = p.collKf;
  s.COLLlink = p.collLink;
  if (s.notes.size() > p.notes) s.notes.resize(p.notes);
}

}  // namespace rg
