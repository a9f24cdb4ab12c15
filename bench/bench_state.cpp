// What showing the state costs: the batch driver's JSON state line of a
// manipulation step (the object built and written as one line), with the grasp
// quality's volume not asked for and asked for on a step whose stored row already
// has it, and the stored trajectory table of a full record (800 rows) read a
// second time, as a second trajectory() or CSV reads it.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/export.h"
#include "record/report.h"

namespace {

using nlohmann::json;

// Hand 1's default run after 100 steps: step 100 is stored row 20.
std::unique_ptr<rg::KeyDriver> DefaultRunAtStep100() {
  auto d = std::make_unique<rg::KeyDriver>();
  for (char k : "GssA" + std::string(100, 's')) d->Press(static_cast<unsigned char>(k));
  return d;
}

std::string Line(const rg::KeyDriver& d, bool volume) {
  const json& o = d.State(volume ? rg::QualityMeasures::All : rg::QualityMeasures::ClosureAndEpsilon);
  return o.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

// Argument: volume (0: not asked for; 1: asked for, the row's volume computed once
// before the timed loop, as the line of the same step after a trajectory has it).
void BM_StateLine(benchmark::State& st) {
  const auto d = DefaultRunAtStep100();
  const bool volume = st.range(0) != 0;
  size_t bytes = Line(*d, volume).size();
  for (auto _ : st) {
    std::string line = Line(*d, volume);
    benchmark::DoNotOptimize(line.data());
    bytes = line.size();
  }
  st.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_StateLine)->ArgName("volume")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The longest run there is: the work held still until the record is full (800 rows).
void BM_TrajectoryAgain(benchmark::State& st) {
  rg::KeyDriver d;
  for (char k : "VrGssA" + std::string(4001, 's')) d.Press(static_cast<unsigned char>(k));
  const rg::TrajectoryTable first = rg::Trajectory(d.sim());  // computes every row's volume
  for (auto _ : st) {
    const rg::TrajectoryTable t = rg::Trajectory(d.sim());
    benchmark::DoNotOptimize(t.values.data());
  }
  st.counters["rows"] = first.rows;
}
BENCHMARK(BM_TrajectoryAgain)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
