// The planner's search lives in a module of its own (librollgrasp-plan.so), loaded
// when a path is first planned: its libraries (OMPL with Boost, ODE and libccd) take
// longer to load than the rest of the program takes to start, and most runs never
// plan. The module is looked for beside the running program, then in the build
// folder the program was built in (the Python module and the tests run from there).
#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>

#include "core/program_dir.h"
#include "plan/plan.h"

#ifndef RG_PLAN_MODULE_DIR
#define RG_PLAN_MODULE_DIR "."
#endif

namespace rg {
namespace {

using PlanFn = void (*)(Sim*, const GoalPose*, const PlanOptions*, PlanResult*);

constexpr const char* kModule = "librollgrasp-plan.so";

// The entry point, or nullptr with *why; looked up once per process.
PlanFn Planner(std::string* why) {
  static std::once_flag once;
  static PlanFn fn = nullptr;
  static std::string failure;
  std::call_once(once, [] {
    std::string tried;
    const char* env = std::getenv("RG_PLAN_MODULE");
    const std::string self = ProgramDir();  // the current folder when it cannot be read
    for (const std::string& path :
         {env != nullptr ? std::string(env) : std::string(), (self.empty() ? "." : self) + "/" + kModule,
          std::string(RG_PLAN_MODULE_DIR) + "/" + kModule}) {
      if (path.empty()) continue;
      void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (h == nullptr) {
        tried += std::string(tried.empty() ? "" : "; ") + dlerror();
        continue;
      }
      fn = reinterpret_cast<PlanFn>(dlsym(h, "rg_plan_to_goal"));
      if (fn != nullptr) return;
      tried += "; " + path + " has no planner";
    }
    failure = "cannot load the planner module " + std::string(kModule) + " (" + tried + ")";
  });
  if (fn == nullptr) *why = failure;
  return fn;
}

}  // namespace

PlanResult PlanToGoal(Sim& s, const GoalPose& g, const PlanOptions& opt) {
  std::string why;
  const PlanFn plan = Planner(&why);
  PlanResult res;
  if (plan == nullptr) {
    res.outcome.planned = true;
    res.outcome.refused = true;
    res.outcome.goal = g;
    res.outcome.reason = why;
    return res;
  }
  PlanOptions o = opt;
  if (o.maxSteps <= 0) o.maxSteps = DefaultPlanSteps(s.nF());
  plan(&s, &g, &o, &res);
  return res;
}

}  // namespace rg
