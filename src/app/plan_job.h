// Planning in the background for the window: key s of mode 'B' plans on a copy of
// the simulation in a thread of its own, so that the event loop keeps drawing
// (and shows the progress) and the plan can be stopped. The window polls it; the
// result is installed in the real simulation on the polling thread, by the same
// code as the synchronous key s of the key machine (InstallPlan).
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "app/window_view.h"
#include "core/state.h"
#include "plan/plan.h"

namespace rg {

class BackgroundPlan {
 public:
  BackgroundPlan() = default;
  BackgroundPlan(const BackgroundPlan&) = delete;
  BackgroundPlan& operator=(const BackgroundPlan&) = delete;
  ~BackgroundPlan();  // stops a plan still running and waits for it

  // Starts planning s.plan.goal from s's current state, with s's time limit, on a
  // copy of s. False (and nothing started) while a plan is running.
  bool Start(const Sim& s);
  // Asks the running plan to stop; it ends soon, with the best path it has.
  void Stop();
  // A plan was started and its result is not installed yet.
  bool Running() const { return copy_ != nullptr; }
  // When the plan has ended: installs its result in s (path, outcome, console
  // line) and returns true. Otherwise nothing.
  bool Poll(Sim& s);
  // What the panel shows while it runs.
  PlanProgress Progress() const;

 private:
  std::unique_ptr<Sim> copy_;  // the planner's scratch simulation
  std::thread thread_;
  PlanResult result_;          // written by the thread, read after it ended
  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  std::atomic<double> fraction_{0.0};
  std::atomic<double> best_{-1.0};
};

}  // namespace rg
