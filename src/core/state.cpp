// The storage of the record rows, and the reset of the grasp and manipulation state.
#include "core/state.h"

#include <cstdlib>
#include <new>

#include "numerics/vecmat.h"

namespace rg {

// calloc, not new RecordRows(): value-initialising would write every byte of
// the record and so touch all its pages; calloc's block of this size is made of
// fresh zero pages (and when it is not, calloc clears it).
RecordRows* RecordStore::Allocate() {
  void* p = std::calloc(1, sizeof(RecordRows));
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<RecordRows*>(p);
}

RecordStore::~RecordStore() { std::free(rows_); }

QualityMemos& RecordStore::qualityMemos() const {
  if (!memos_) memos_ = std::make_unique<QualityMemos>();
  return *memos_;
}

// A copy answers as the original would without computing again.
void RecordStore::CopyMemos(const RecordStore& o) {
  if (!o.memos_)
    memos_.reset();
  else if (memos_)
    *memos_ = *o.memos_;
  else
    memos_ = std::make_unique<QualityMemos>(*o.memos_);
}

bool ContactRolls(char WORK1, const char GTYPE[2], char sgnUML) {
  if (WORK1 != '1') return (sgnUML == 'L' || sgnUML == 'U') && GTYPE[0] == 'L' && GTYPE[1] == 'C';
  return sgnUML == 'S' && (GTYPE[0] == 'L' || GTYPE[0] == 'T') && GTYPE[1] == 'S';
}

void ClearRecord(Sim& s) {
  s.cntRecord = 0;
  for (int kf = 1; kf < kSlots; ++kf) {
    for (int j = 0; j < kSlots; ++j) s.ManipQ[0][kf][j] = kf <= s.nF() ? s.qq0[kf][j] : 0.0;
    s.Manip[0][kf] = ContactPrm{};
    VecSet(0, 0, 0, s.ManipRWP[0][kf]);
    VecSet(0, 0, 0, s.ManipNWW[0][kf]);
  }
  VecCopy(s.rwG0, s.ManipRW[0]);
  MatCopy(s.EwG0, s.ManipEW[0]);
  s.ManipT[0] = 0.0;
  s.ManipTimeRow[0] = 0.0;
  for (double& c : s.ManipCmd[0]) c = 0.0;
  s.ManipLiftedRow[0] = 0;
  s.ManipGaitCount[0] = 0;
}

void ForgetGaits(Sim& s) {
  for (int kf = 0; kf < kSlots; ++kf) s.lifted[kf] = s.placed[kf] = false;
  s.gait = GaitEvent{};
  s.nRowGaits = 0;
}

void RESETGRASP(Sim& s) {
  s.sgnCALGChk = 'Y';
  s.sgnGRASP = 'Y';
  s.sgnCALGEnd = 'N';
  s.sgnMANIP = 'Y';
  s.sgnCALS = 'S';
  s.cntManip0 = 0;
  s.ManipTS = 0.0;
  s.ManipTime = 0.0;
  ForgetGaits(s);
  for (int kf = 1; kf <= s.nF(); ++kf) {
    VecCopyN(s.nJ(), s.qq0[kf], s.qf[kf]);
    VecCopyN(s.nJ(), s.qq0[kf], s.qqa[0][kf]);
    VecSet(0, 0, 0, s.ManipCPNTA[0][kf]);
    VecSet(0, 0, 0, s.ManipNWA[0][kf]);
    VecSet(0, 0, 0, s.ManipCPNTA2[1][kf]);
    VecSet(0, 0, 0, s.ManipNWA2[1][kf]);
  }
  VecCopy(s.rwG0, s.RWW);
  MatCopy(s.EwG0, s.EWW);
  VecCopy(s.rwG0, s.rwG);
  MatCopy(s.EwG0, s.EwG);
  // the commanded angular velocity in the hand frame follows the work's frame
  MatVec(s.EwG, s.omww, s.omw);
  // the rows of the run before belong to the grasp just cleared
  ClearRecord(s);
  // a planned path starts from the grasp it was planned on: it goes with it
  s.plan.path.clear();
  s.plan.centres.clear();
  s.plan.next = 0;
}

}  // namespace rg
