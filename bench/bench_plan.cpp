// Planning time of goal poses from the default grasps: hand 1's turn of 90 deg about
// the work's z axis, and the whole goal set (turns about z of 45, 90 and 180 deg,
// about x and y of +-10, +-20 and +-30 deg, and 30 deg about z with 15 about x, each
// with the mid-point back at its grasp position) for hands 1-4 on the cylinder and
// hand 1 on the sphere. The goal set also prints its table (markdown) on stdout.
// Planning is time-limited, so each runs once (`make bench` runs it without repetitions).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/keyboard.h"
#include "app/startup.h"
#include "core/state.h"
#include "plan/plan.h"

namespace {

constexpr double kTurnLimit = 10.0;  // seconds for the single 90 deg turn
constexpr double kGoalLimit = 3.0;   // seconds for each goal of the set

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

void BM_PlanTurnZ90(benchmark::State& st) {
  auto s = Grasped(1);
  rg::PlanOptions opt;
  opt.timeLimit = kTurnLimit;
  rg::PlanResult r;
  for (auto _ : st) r = rg::PlanToGoal(*s, rg::GoalPose{0, 0, 90, 0, 0, 0}, opt);
  const rg::PlanOutcome& o = r.outcome;
  // rolling steps the tree ran, per second of planning
  st.counters["steps_per_s"] = r.stepsTried / o.planSeconds;
  st.counters["reached"] = o.reached;
  st.counters["turn_err_deg"] = o.orientErrDeg;
  st.counters["shift_err"] = o.posErr;
  st.counters["steps"] = o.steps;
}
BENCHMARK(BM_PlanTurnZ90)->Iterations(1)->Unit(benchmark::kSecond);

void BM_GoalSet(benchmark::State& st) {
  const int config = static_cast<int>(st.range(0));
  auto s = Grasped(config);
  rg::PlanOptions opt;
  opt.timeLimit = kGoalLimit;
  int reached = 0;
  std::string table;
  for (auto _ : st) {
    reached = 0;
    table.clear();
    for (const rg::GoalPose& g : GoalSet()) {
      const rg::PlanOutcome o = rg::PlanToGoal(*s, g, opt).outcome;
      reached += o.reached;
      char row[320];
      std::snprintf(row, sizeof row, "| %s | %g, %g, %g | %s | %.2f | %.2f | %d | %.2f | %s |\n",
                    config <= 4 ? ("hand " + std::to_string(config)).c_str() : "sphere", g.rx, g.ry,
                    g.rz, o.reached ? "yes" : "no", o.orientErrDeg, o.posErr, o.steps,
                    o.planSeconds, o.reason.c_str());
      table += row;
    }
  }
  std::fputs(table.c_str(), stdout);
  st.counters["reached"] = reached;
}
BENCHMARK(BM_GoalSet)->DenseRange(1, 5)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
