// libFuzzer target: arbitrary byte sequences typed into the keyboard machine of
// a freshly started simulation. After every key the state must be sane and the
// key must have finished within a bounded time; after the sequence the outputs
// (state line, trajectory CSV, replay page) must read back (sanity.h).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/keyboard.h"
#include "app/startup.h"
#include "core/state.h"
#include "sanity.h"

namespace {

constexpr double kMaxSecondsPerKey = 20.0;  // generous: sanitizers slow the solvers down
constexpr size_t kMaxKeys = 6000;           // a full manipulation run is about 4000 keys

const rg::Sim& Pristine() {
  static std::unique_ptr<rg::Sim> s = [] {
    auto p = std::make_unique<rg::Sim>();
    rg::StartUpQuiet(*p);
    // key B's s plans: a small step budget keeps every key quick and what it does the
    // same whatever the load (the time limit stays a safety net)
    p->plan.maxSteps = 300;
    p->plan.timeLimit = 5.0;
    return p;
  }();
  return *s;
}

// The replay page's template from the source tree; a missing one is a failure.
const std::string& PageTemplate() {
  static const std::string text = [] {
    std::ifstream in(std::string(RG_SOURCE_DIR) + "/src/app/viewer/viewer.html", std::ios::binary);
    std::string t((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (t.empty()) {
      std::fprintf(stderr, "keyboard fuzzer: no page template under %s\n", RG_SOURCE_DIR);
      std::abort();
    }
    return t;
  }();
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto sim = std::make_unique<rg::Sim>();
  *sim = Pristine();
  const size_t n = size < kMaxKeys ? size : kMaxKeys;
  for (size_t i = 0; i < n; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    const bool quit = rg::keyboard(*sim, data[i], 0, 0);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    sim->con.ClearText();
    const std::string bad = rgfuzz::CheckSane(*sim);
    if (!bad.empty() || secs > kMaxSecondsPerKey) {
      std::fprintf(stderr, "insane state after key %zu (byte %d): %s (%.3f s)\n", i, data[i],
                   bad.empty() ? "key took too long" : bad.c_str(), secs);
      std::abort();
    }
    if (quit) break;
  }
  const std::string bad = rgfuzz::CheckOutputs(*sim, PageTemplate());
  if (!bad.empty()) {
    std::fprintf(stderr, "outputs that do not read back after %zu keys: %s\n", n, bad.c_str());
    std::abort();
  }
  return 0;
}
