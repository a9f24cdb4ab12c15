#include "app/plan_job.h"

#include <utility>

#include "app/keyboard.h"

namespace rg {

BackgroundPlan::~BackgroundPlan() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
}

bool BackgroundPlan::Start(const Sim& s) {
  if (Running()) return false;
  cancel_ = false;
  done_ = false;
  fraction_ = 0.0;
  best_ = -1.0;
  copy_ = std::make_unique<Sim>(s);
  Sim& c = *copy_;
  // the copy never draws, prints or waits: the window shows the real simulation
  c.redraw = nullptr;
  c.con.KeepText();
  c.con.beforeWait = nullptr;
  c.con.SetKeyMode(Console::KeyMode::AutoAnswer);
  c.plan.cancel = &cancel_;
  c.plan.progress = [this](double fraction, double best) {
    fraction_ = fraction;
    best_ = best;
  };
  thread_ = std::thread([this] {
    Sim& sim = *copy_;
    result_ = PlanToGoal(sim, sim.plan.goal, PlanOptionsOf(sim));
    done_ = true;
  });
  return true;
}

void BackgroundPlan::Stop() {
  if (Running()) cancel_ = true;
}

bool BackgroundPlan::Poll(Sim& s) {
  if (!Running() || !done_) return false;
  thread_.join();
  copy_.reset();
  InstallPlan(s, std::move(result_));
  result_ = PlanResult{};
  return true;
}

PlanProgress BackgroundPlan::Progress() const {
  PlanProgress p;
  p.running = Running();
  p.stopping = p.running && cancel_;
  p.fraction = fraction_;
  p.best = best_;
  return p;
}

}  // namespace rg
