// Speed of the core computations on the default scene (no drawing):
// one grasp step per finger, one manipulation step, and a full manipulation run.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/keyboard.h"
#include "app/startup.h"
#include "core/state.h"
#include "grasp/grasp.h"
#include "manip/manip.h"
#include "record/store.h"

namespace {

void Keys(rg::Sim& s, const std::string& keys) {
  for (const char k : keys) rg::keyboard(s, static_cast<unsigned char>(k), 0, 0);
}

// Started with hand 1..4 on the cylinder, or hand h - 4 on the sphere for h = 5..8.
std::unique_ptr<rg::Sim> Started(int hand) {
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  if (hand != 1) Keys(*s, "H" + std::string(1, static_cast<char>('0' + (hand - 1) % 4 + 1)) + "G");
  if (hand > 4) Keys(*s, "W1G");
  return s;
}

// Grasped and in mode 'A', ready for the first manipulation step.
std::unique_ptr<rg::Sim> Grasped(int hand) {
  auto s = Started(hand);
  for (int kf = 0; kf < s->nF(); ++kf) rg::keyboard(*s, 's', 0, 0);
  rg::keyboard(*s, 'A', 0, 0);
  s->con.ClearText();
  return s;
}

void BM_GraspStepPerFinger(benchmark::State& st) {
  auto s = Started(static_cast<int>(st.range(0)));
  for (auto _ : st) {
    for (int kf = 1; kf <= s->nF(); ++kf) rg::GRASP(*s, kf);
    s->con.ClearText();
  }
  st.SetItemsProcessed(st.iterations() * s->nF());
  st.counters["us_per_finger"] = benchmark::Counter(
      static_cast<double>(st.iterations() * s->nF()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_GraspStepPerFinger)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_ManipulationStep(benchmark::State& st) {
  const auto pristine = Grasped(static_cast<int>(st.range(0)));
  auto s = std::make_unique<rg::Sim>(*pristine);
  for (auto _ : st) {
    if (s->sgnMANIP != 'Y' || rg::RecordFull(*s)) {
      st.PauseTiming();
      *s = *pristine;
      st.ResumeTiming();
    }
    s->sgnMANIP = rg::PRCircleManip4(*s, s->vw, s->omww);
    s->notes.clear();  // what the step noted is not printed here
  }
}
BENCHMARK(BM_ManipulationStep)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// An ordinary step: the first 100 steps of the default run, far from the singular
// posture that ends it, every one taken with the first time step 0.05.
void BM_OrdinaryManipulationStep(benchmark::State& st) {
  const auto pristine = Grasped(static_cast<int>(st.range(0)));
  auto s = std::make_unique<rg::Sim>(*pristine);
  for (auto _ : st) {
    if (s->cntManip0 >= 100) {
      st.PauseTiming();
      *s = *pristine;
      st.ResumeTiming();
    }
    s->sgnMANIP = rg::PRCircleManip4(*s, s->vw, s->omww);
    s->notes.clear();
  }
  st.counters["dt"] = s->dt;
}
BENCHMARK(BM_OrdinaryManipulationStep)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The step that ends the default run of a hand in deadlock: all its attempts, down
// to the smallest time step.
void BM_DeadlockStep(benchmark::State& st) {
  auto before = Grasped(static_cast<int>(st.range(0)));
  auto probe = std::make_unique<rg::Sim>(*before);
  for (;;) {  // the state before the step that does not complete
    probe->sgnMANIP = rg::PRCircleManip4(*probe, probe->vw, probe->omww);
    if (probe->sgnMANIP != 'Y') break;
    probe->notes.clear();
    *before = *probe;
  }
  auto s = std::make_unique<rg::Sim>(*before);
  for (auto _ : st) {
    st.PauseTiming();
    *s = *before;
    st.ResumeTiming();
    s->sgnMANIP = rg::PRCircleManip4(*s, s->vw, s->omww);
  }
  st.counters["status"] = s->sgnMANIP;
}
BENCHMARK(BM_DeadlockStep)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Unit(benchmark::kMicrosecond);

// Times whole runs from the state `start` (grasped, in mode 'A') until the
// manipulation stops by itself, at the latest with "Data Overflow" after 3995 steps.
void TimeRunsUntilStop(benchmark::State& st, const rg::Sim& start) {
  auto s = std::make_unique<rg::Sim>(start);
  long steps = 0;
  for (auto _ : st) {
    st.PauseTiming();
    *s = start;
    st.ResumeTiming();
    while (s->sgnMANIP == 'Y') {
      rg::keyboard(*s, 's', 0, 0);
      ++steps;
      s->con.ClearText();
    }
  }
  st.counters["steps"] = static_cast<double>(steps) / static_cast<double>(st.iterations());
  st.counters["status"] = s->sgnMANIP;
}

// The default scene of the hand, from the grasp until the run stops: hands 1-4 on the
// cylinder, 5-8 the same hands on the sphere.
void BM_FullManipulationRun(benchmark::State& st) {
  TimeRunsUntilStop(st, *Grasped(static_cast<int>(st.range(0))));
}
BENCHMARK(BM_FullManipulationRun)->DenseRange(1, 8)->Unit(benchmark::kMillisecond);

// The longest run there is: the work held still (both velocities zero), so every
// step succeeds until the record is full after 3995 steps ("Data Overflow").
void BM_FullRunToDataOverflow(benchmark::State& st) {
  auto start = Started(1);
  for (const char k : std::string("Vr"))  // angular velocity z: 0.02 -> 0
    rg::keyboard(*start, static_cast<unsigned char>(k), 0, 0);
  for (const char k : std::string("GssA")) rg::keyboard(*start, static_cast<unsigned char>(k), 0, 0);
  TimeRunsUntilStop(st, *start);
}
BENCHMARK(BM_FullRunToDataOverflow)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
