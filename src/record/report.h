// Reports of the manipulation record: console tables for checking a run by eye,
// and the stored trajectory as CSV.
#pragma once

#include <string>
#include <vector>

#include "core/state.h"

namespace rg {

// console reports, printed only when their switch is above 0 (off by default)
void GraspDataReport(Console& con, const Sim& s, int sw = 0);
void ManipDataReport(Console& con, const Sim& s, int sw = 0, int swHistory = 0);

// The stored rows of the current record (0..RecordLength(s)-1; none after a grasp
// reset until a contact is stored) as a table: one name per column, then the
// values row by row (rows x names.size() doubles). The first integerColumns
// columns hold whole numbers (row, step).
// After those numeric columns come the text columns: their names, then their texts
// row by row (rows x textNames.size()).
struct TrajectoryTable {
  std::vector<std::string> names;
  int integerColumns = 0;
  int rows = 0;
  std::vector<double> values;
  std::vector<std::string> textNames;
  std::vector<std::string> text;
};
TrajectoryTable Trajectory(const Sim& s);

// The table of Trajectory: the current record's rows as CSV with a header line: row, step (5*row), time,
// work position (rwx..), work frame row-major (ew00..ew22), then per finger
// kf = 1..nF: joint angles q1_f<kf>..q4_f<kf>, Lf, fif, psif, Lw, Ltw, thw,
// contact point cpx..cpz, contact normal nwx..nwz, and the sphere's contact angles
// alw, betw (0 on the cylinder); then t, the physical time (the time steps
// taken; "time" sums them once per finger, so it grows by nF*dt per step), and the
// grasp quality of the row, epsilon and volume (of the fingers touching the work),
// the commanded velocity cmd_vx..cmd_wz; numbers in "%.17g"; then the text column
// gait, the finger gaits done since the row before ("lift 2", "lift 2; place 2"),
// always quoted ("" for none).
std::string TrajectoryCsv(const Sim& s);

// Why a replay (the web page, the replay's pictures) cannot be made: the record
// holds nothing of the current grasp.
constexpr const char* kNoRecord =
    "the record holds no grasp to replay (grasp first: G, then s for each finger)";

}  // namespace rg
