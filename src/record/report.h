// Reports of the manipulation record: console tables for checking a run by eye,
// and the stored trajectory as CSV.
#pragma once

#include <string>

#include "core/state.h"

namespace rg {

// console reports, printed only when their switch is above 0 (off by default)
void GraspDataReport(Console& con, const Sim& s, int sw = 0);
void ManipDataReport(Console& con, const Sim& s, int sw = 0, int swHistory = 0);

// Stored rows 0..cntMainip1 as CSV with a header line: row, step (5*row), time,
// work position (rwx..), work frame row-major (ew00..ew22), then per finger
// kf = 1..nF: joint angles q1_f<kf>..q4_f<kf>, Lf, fif, psif, Lw, Ltw, thw,
// contact point cpx..cpz, contact normal nwx..nwz, and the sphere's contact angles
// alw, betw (0 on the cylinder); numbers in "%.17g".
std::string TrajectoryCsv(const Sim& s);

}  // namespace rg
