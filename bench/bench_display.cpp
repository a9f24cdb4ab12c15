// Time of one frame of the default scene: the whole display routine (camera,
// light, overlay text, axes, cylinder with its net, the two-finger hand) drawn
// into a 600 x 600 GLUT window and finished by the GL, with the same text as the
// frame before and with a text that changes every frame. Needs an X display;
// run it headless with xvfb-run -a. Mesa's software renderer rasterises in
// threads of its own, so the iterations are counted and timed by wall time: the
// CPU time of the benchmark's thread is a small part of a frame.
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "core/state.h"
#include "app/keyboard.h"
#include "app/plan_job.h"
#include "app/startup.h"
#include "render/draw.h"
#include "render/window.h"

namespace {

bool gExposed = false;
void MarkExposed() { gExposed = true; }

bool OpenWindowOnce(std::string* why) {
  if (!rg::DisplayAvailable(why)) return false;
  int argc = 1;
  char name[] = "bench_display";
  char* argv[] = {name, nullptr};
  glutInitWindowSize(rg::kWindowSize, rg::kWindowSize);
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutCreateWindow(rg::kWindowTitle);
  glutDisplayFunc(MarkExposed);
  glutReshapeFunc(rg::Reshape);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!gExposed && std::chrono::steady_clock::now() < deadline) glutMainLoopEvent();
  rg::Reshape(rg::kWindowSize, rg::kWindowSize);
  return true;
}

// One window for all the benchmarks of this program.
bool OpenWindow(std::string* why) {
  static std::string firstWhy;
  static const bool open = OpenWindowOnce(&firstWhy);
  *why = firstWhy;
  return open;
}

// Opens the window on the first call; without a display the benchmark is
// skipped with the reason.
bool WindowOrSkip(benchmark::State& state) {
  std::string why;
  if (OpenWindow(&why)) return true;
  state.SkipWithError(("no display: " + why + " (run under xvfb-run -a)").c_str());
  return false;
}

void BM_DisplayDefaultScene(benchmark::State& state) {
  if (!WindowOrSkip(state)) return;
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  for (auto _ : state) {
    rg::DrawFrame(*s);
    glFinish();
  }
}
BENCHMARK(BM_DisplayDefaultScene)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same frame with a text that changes from one frame to the next, as the step
// counter of mode A does: the three digits of the velocity label count the
// frames, so a text comes back only after 1000 frames and the overlay cannot
// draw it from what it kept of an earlier frame.
void BM_DisplayTextChanging(benchmark::State& state) {
  if (!WindowOrSkip(state)) return;
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  char* digit[3] = {};
  char* p = s->WorkVel;
  for (char*& d : digit) {
    p = std::strchr(p, '0');
    if (p == nullptr) {
      state.SkipWithError("the velocity label has fewer than three digits to change");
      return;
    }
    d = p++;
  }
  int frame = 0;
  for (auto _ : state) {
    frame = (frame + 1) % 1000;
    *digit[0] = static_cast<char>('0' + frame / 100);
    *digit[1] = static_cast<char>('0' + frame / 10 % 10);
    *digit[2] = static_cast<char>('0' + frame % 10);
    rg::DrawFrame(*s);
    glFinish();
  }
}
BENCHMARK(BM_DisplayTextChanging)->Unit(benchmark::kMillisecond)->UseRealTime();

// The parts of a frame: clearing the buffers alone, and the overlay text alone
// (help table, panel and bottom lines) over a cleared frame.
void BM_ClearOnly(benchmark::State& state) {
  if (!WindowOrSkip(state)) return;
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFinish();
  }
}
BENCHMARK(BM_ClearOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OverlayText(benchmark::State& state) {
  if (!WindowOrSkip(state)) return;
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    rg::DrawOverlay(*s);
    glFinish();
  }
}
BENCHMARK(BM_OverlayText)->Unit(benchmark::kMillisecond)->UseRealTime();

void GoalKeys(rg::Sim& s, const std::string& keys) {
  for (const char k : keys) rg::keyboard(s, static_cast<unsigned char>(k), 0, 0);
}

// The frame of the goal modes: hand 1 grasped, in mode A (no goal drawn: the
// picture the goal mode would be without its drawing) and in mode B with the goal
// ghost (turned 9 deg and shifted 20 units up) and its planned path (some 70 steps).
void BM_DisplayGoalMode(benchmark::State& state) {
  if (!WindowOrSkip(state)) return;
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  GoalKeys(*s, "GssB" + std::string(5, 'R') + std::string(20, 'Z') + "s");
  if (!s->plan.outcome.reached) {
    state.SkipWithError(("the goal was not reached: " + s->plan.outcome.reason).c_str());
    return;
  }
  if (state.range(0) == 0) GoalKeys(*s, "A");
  for (auto _ : state) {
    rg::DrawFrame(*s);
    glFinish();
  }
  state.counters["path_steps"] = static_cast<double>(s->plan.path.size());
}
BENCHMARK(BM_DisplayGoalMode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// What planning in the background adds to key s: a goal already met (the planner
// returns at once), planned by the key machine (0) and by the window's background
// plan (1): the copy of the simulation, the thread, and the install on the polling
// thread.
void BM_PlanOverhead(benchmark::State& state) {
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  GoalKeys(*s, "GssB");
  rg::BackgroundPlan job;
  for (auto _ : state) {
    if (state.range(0) == 0) {
      GoalKeys(*s, "s");
    } else {
      job.Start(*s);
      while (!job.Poll(*s)) std::this_thread::yield();
    }
    s->con.ClearText();
  }
  if (!s->plan.outcome.reached) state.SkipWithError("the goal already met was not reached");
}
BENCHMARK(BM_PlanOverhead)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
