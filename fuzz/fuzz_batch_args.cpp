// libFuzzer target: arbitrary command lines (arguments ended by zero bytes) given
// to the batch driver's option parsing, --goal's parser included. A refusal must
// be one clean line; an accepted line must hold every value within its range and
// mean the same when written out again (fuzz/args_check.h).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "args_check.h"
#include "plan/plan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bad = rgfuzz::CheckBatchArgs(data, size);
  if (!bad.empty()) {
    std::fprintf(stderr, "batch options fuzzer: %s\n", bad.c_str());
    std::abort();
  }
  // the goal parser on the whole input: accepted numbers are finite
  rg::GoalPose g;
  std::string why;
  if (rg::ParseGoal(std::string(reinterpret_cast<const char*>(data), size), &g, &why)) {
    for (double v : {g.rx, g.ry, g.rz, g.x, g.y, g.z})
      if (!std::isfinite(v)) {
        std::fprintf(stderr, "batch options fuzzer: a goal accepted with a value that is not finite\n");
        std::abort();
      }
  } else if (why.empty()) {
    std::fprintf(stderr, "batch options fuzzer: a goal refused without a reason\n");
    std::abort();
  }
  return 0;
}
