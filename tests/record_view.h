// What the whole-run tests read from a simulation: the keys typed as a user types
// them, and the record's latest state (the history slot every step writes) with
// the work (cylinder or sphere, built from its recorded position and frame).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/keyboard.h"
#include "core/state.h"
#include "manip/manip.h"
#include "numerics/vecmat.h"
#include "own_geometry.h"
#include "support.h"
#include "work/work.h"

namespace own {

using rgtest::Press;

// The work's pose in the record's latest slot: where the next step starts.
inline rg::WorkPose LatestWork(const rg::Sim& s) {
  rg::WorkPose w;
  rg::VecCopy(s.ManipRW2[1], w.r);
  rg::MatCopy(s.ManipEW2[1], w.E);
  return w;
}

template <class Work>
struct RecordState {
  Work w;
  double q[kSlots][kSlots];
  V3 RC[kSlots];
};

// The work takes the sizes the test asked for (dims), never the model's own.
template <class Work>
RecordState<Work> TakeRecord(const rg::Sim& s, const WorkDims& dims = {}) {
  RecordState<Work> p;
  p.w = Work{{s.ManipRW2[1][0], s.ManipRW2[1][1], s.ManipRW2[1][2]}, FromC(s.ManipEW2[1])};
  p.w.Resize(dims);
  for (int kf = 1; kf <= s.nF(); ++kf) {
    for (int j = 0; j < kSlots; ++j) p.q[kf][j] = s.qqa2[1][kf][j];
    p.RC[kf] = {s.ManipCPNTA2[1][kf][0], s.ManipCPNTA2[1][kf][1], s.ManipCPNTA2[1][kf][2]};
  }
  return p;
}

// One manipulation step through the key 's', the record's state taken before (a)
// and after it (b); the tally r counts it (steps, and those with a reduced time
// step) and keeps the status. False when the step recorded nothing (deadlock, palm,
// refusal).
template <class Work, class Tally>
bool RecordedStep(rg::Sim& s, RecordState<Work>& a, RecordState<Work>& b, Tally& r,
                  const WorkDims& dims = {}) {
  a = TakeRecord<Work>(s, dims);
  const int M = s.cntManip0;
  Press(s, "s");
  r.status = s.sgnMANIP;
  if (s.cntManip0 == M) return false;
  ++r.steps;
  if (s.dt < rg::kFirstDt) ++r.reduced;
  b = TakeRecord<Work>(s, dims);
  return true;
}

// The work turned from frame Ea to Eb by dt*omww about its own x, y and z in turn.
inline void ExpectWorkTurn(const M3& Ea, const M3& Eb, double dt, const double omww[3]) {
  const M3 turn = Mul(T(Ea), Eb);
  const M3 want = Mul(Mul(RotX(dt * omww[0]), RotY(dt * omww[1])), RotZ(dt * omww[2]));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(turn[i][j], want[i][j], 1e-12);
}

}  // namespace own
