// Planning time of goal poses from the default grasps: hand 1's turn of 90 deg about
// the work's z axis, and the whole goal set (turns about z of 45, 90 and 180 deg,
// about x and y of +-10, +-20 and +-30 deg, and 30 deg about z with 15 about x, each
// with the mid-point back at its grasp position) for hands 1-4 on the cylinder and
// hand 1 on the sphere. The goal set also prints its table (markdown) on stdout.
// Each plan spends the default step budget (the time limit is a safety net), so its
// steps and result do not depend on the load; its CPU time does. Each runs once
// (`make bench` runs it without repetitions).
//
// BM_PlannerLikeSteps runs a fixed workload of the planner's kind of steps (snapshots
// put back, commands changing every few steps, every finger's conditioning after each
// step) with no time limit, so its instructions can be counted whatever the load:
//   valgrind --tool=callgrind --toggle-collect='*PlannerWorkload*'
//            build-bench/bench_plan --benchmark_filter=PlannerLikeSteps
// counts the workload alone (not the grasp before it); divide by its `steps` counter
// times the iterations.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/keyboard.h"
#include "app/startup.h"
#include "core/state.h"
#include "manip/manip.h"
#include "plan/plan.h"
#include "plan/snapshot.h"

namespace {

constexpr double kTurnLimit = 60.0;  // safety net, seconds, for the single 90 deg turn
constexpr double kGoalLimit = 60.0;  // safety net, seconds, for each goal of the set

void Keys(rg::Sim& s, const std::string& keys) {
  for (const char k : keys) rg::keyboard(s, static_cast<unsigned char>(k), 0, 0);
}

// Hand 1..4 on the cylinder, or hand 1 on the sphere (5), grasped.
std::unique_ptr<rg::Sim> Grasped(int config) {
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  if (config <= 4)
    Keys(*s, "H" + std::string(1, static_cast<char>('0' + config)));
  else
    Keys(*s, "W1");
  Keys(*s, "G");
  for (int kf = 0; kf < s->nF(); ++kf) Keys(*s, "s");
  s->con.ClearText();
  return s;
}

std::vector<rg::GoalPose> GoalSet() {
  std::vector<rg::GoalPose> g;
  for (double z : {45.0, 90.0, 180.0}) g.push_back({0, 0, z, 0, 0, 0});
  for (double a : {10.0, -10.0, 20.0, -20.0, 30.0, -30.0}) g.push_back({a, 0, 0, 0, 0, 0});
  for (double a : {10.0, -10.0, 20.0, -20.0, 30.0, -30.0}) g.push_back({0, a, 0, 0, 0, 0});
  g.push_back({15, 0, 30, 0, 0, 0});
  return g;
}

// CPU time of the whole process (seconds): the planner's own threads included.
double ProcessSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void BM_PlanTurnZ90(benchmark::State& st) {
  auto s = Grasped(1);
  rg::PlanOptions opt;
  opt.timeLimit = kTurnLimit;
  rg::PlanResult r;
  double cpu = 0.0;
  for (auto _ : st) {
    const double c0 = ProcessSeconds();
    r = rg::PlanToGoal(*s, rg::GoalPose{0, 0, 90, 0, 0, 0}, opt);
    cpu = ProcessSeconds() - c0;
  }
  const rg::PlanOutcome& o = r.outcome;
  // rolling steps the tree ran, per second of planning (wall time, which a loaded
  // machine stretches) and per second of CPU time
  st.counters["steps_per_s"] = r.stepsTried / o.planSeconds;
  st.counters["steps_per_cpu_s"] = r.stepsTried / cpu;
  st.counters["steps_tried"] = static_cast<double>(r.stepsTried);
  st.counters["reached"] = o.reached;
  st.counters["turn_err_deg"] = o.orientErrDeg;
  st.counters["shift_err"] = o.posErr;
  st.counters["steps"] = o.steps;
}
BENCHMARK(BM_PlanTurnZ90)->Iterations(1)->Unit(benchmark::kSecond);

// Commands of the planner's kind (within its bounds: 6 length units and 0.2 rad per
// unit time on each axis) that the workload's trials take in turn.
const rg::StepCommand kTrialCommands[] = {
    {{0, 0, 0}, {0, 0, 0.2}},      {{2, 0, 0}, {0, 0, 0.15}},     {{0, -3, 1}, {0.1, 0, 0.1}},
    {{-2, 2, 0}, {0, 0.1, 0.2}},   {{0, 0, -4}, {-0.1, 0, 0}},    {{3, 1, -1}, {0, -0.1, -0.05}},
    {{-1, -1, 2}, {0.05, 0.05, 0.1}}};
constexpr int kTrialCommandCount = sizeof kTrialCommands / sizeof kTrialCommands[0];
constexpr int kTrials = 3, kTrialSteps = 5;  // trials per round and steps each
constexpr int kWorkloadRounds = 20;
// the workload's floor of the conditioning, as a fraction of the grasp's smallest
constexpr double kWorkloadFloor = 0.5;

// One planner step: put back `from`, step with command k, save into `to` and take every
// finger's conditioning (the smallest into *sigma). True when it completed.
bool PlannerStep(rg::Sim& s, const rg::RollSnapshot& from, const rg::StepCommand& k,
                 rg::RollSnapshot& to, double* sigma) {
  rg::RestoreRoll(s, from);
  const char st = rg::PRCircleManip4(s, k.vw, k.omww);
  rg::SaveRoll(s, to);
  *sigma = 1e300;
  for (int kf = 1; kf <= s.nF(); ++kf) *sigma = std::min(*sigma, rg::LatestConditioning(s, kf));
  return st == 'Y';
}

// The planner's kind of work, fixed: each round, from its base state, the six unit
// commands one step each (as the guided command probes them), then kTrials trials of
// kTrialSteps steps whose commands change from trial to trial; the next round's base
// is where the first trial ended whose steps all completed with every finger's
// conditioning at least `floor` (the planner keeps its tree above such a floor). The
// steps run.
__attribute__((noinline)) long PlannerWorkload(rg::Sim& s, const rg::RollSnapshot& start,
                                               int rounds, double floor) {
  rg::RollSnapshot base = start, cur, next;
  long steps = 0;
  double sigma = 0.0;
  for (int round = 0; round < rounds; ++round) {
    for (int c = 0; c < 6; ++c) {
      rg::StepCommand unit;
      if (c < 3)
        unit.vw[c] = 6.0;
      else
        unit.omww[c - 3] = 0.2;
      PlannerStep(s, base, unit, cur, &sigma);
      ++steps;
    }
    bool moved = false;
    for (int t = 0; t < kTrials; ++t) {
      const rg::StepCommand& k = kTrialCommands[(round * kTrials + t) % kTrialCommandCount];
      cur = base;
      bool ok = true;
      for (int i = 0; i < kTrialSteps && ok; ++i) {
        ok = PlannerStep(s, cur, k, next, &sigma) && sigma >= floor;
        cur = next;
        ++steps;
      }
      if (ok && !moved) {
        next = cur;
        moved = true;
      }
    }
    if (moved) base = next;
  }
  rg::RestoreRoll(s, start);
  return steps;
}

void BM_PlannerLikeSteps(benchmark::State& st) {
  auto s = Grasped(1);
  rg::RollSnapshot start;
  rg::SaveRoll(*s, start);
  int finger = 0;
  const double floor = kWorkloadFloor * rg::MinConditioning(*s, &finger);
  long steps = 0;
  for (auto _ : st) steps = PlannerWorkload(*s, start, kWorkloadRounds, floor);
  st.counters["steps"] = static_cast<double>(steps);
  // steps per second of the benchmark thread's CPU time
  st.counters["steps_per_cpu_s"] =
      benchmark::Counter(static_cast<double>(steps) * st.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlannerLikeSteps)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_GoalSet(benchmark::State& st) {
  const int config = static_cast<int>(st.range(0));
  auto s = Grasped(config);
  rg::PlanOptions opt;
  opt.timeLimit = kGoalLimit;
  int reached = 0;
  long tried = 0;
  double cpuAll = 0.0, cpuWorst = 0.0;  // CPU time of the verdicts "not reached"
  std::string table;
  for (auto _ : st) {
    reached = 0;
    table.clear();
    for (const rg::GoalPose& g : GoalSet()) {
      const double c0 = ProcessSeconds();
      const rg::PlanResult r = rg::PlanToGoal(*s, g, opt);
      const double cpu = ProcessSeconds() - c0;
      const rg::PlanOutcome& o = r.outcome;
      reached += o.reached;
      if (!o.reached) {
        tried += r.stepsTried;
        cpuAll += cpu;
        cpuWorst = std::max(cpuWorst, cpu);
      }
      char row[320];
      std::snprintf(row, sizeof row, "| %s | %g, %g, %g | %s | %.2f | %.2f | %d | %ld | %.2f | %s |\n",
                    config <= 4 ? ("hand " + std::to_string(config)).c_str() : "sphere", g.rx, g.ry,
                    g.rz, o.reached ? "yes" : "no", o.orientErrDeg, o.posErr, o.steps,
                    r.stepsTried, cpu, o.reason.c_str());
      table += row;
    }
  }
  std::fputs(table.c_str(), stdout);
  st.counters["reached"] = reached;
  // the unreachable goals' verdicts: the slowest in CPU seconds, and steps per CPU second
  st.counters["worst_verdict_cpu_s"] = cpuWorst;
  st.counters["steps_per_cpu_s"] = cpuAll > 0.0 ? tried / cpuAll : 0.0;
}
BENCHMARK(BM_GoalSet)->DenseRange(1, 5)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
