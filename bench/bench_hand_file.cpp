// Reading a hand description file into a model, and selecting that hand in a
// started simulation (what --hand FILE adds to a program's start-up).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/hand_choice.h"
#include "app/startup.h"
#include "hand/hand_file.h"

namespace {

const char* const kFiles[] = {"hand2.urdf", "example-5finger.urdf"};

std::string HandPath(int i) { return std::string(RG_SOURCE_DIR) + "/hands/" + kFiles[i]; }

void BM_LoadHandFile(benchmark::State& st) {
  const std::string path = HandPath(static_cast<int>(st.range(0)));
  for (auto _ : st) {
    rg::HandFileResult r = rg::LoadHandFile(path);
    if (!r.model) {
      st.SkipWithError(r.error.c_str());
      break;
    }
    benchmark::DoNotOptimize(r.model);
  }
}
BENCHMARK(BM_LoadHandFile)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_SelectHandModel(benchmark::State& st) {
  const rg::HandFileResult r = rg::LoadHandFile(HandPath(1));
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  for (auto _ : st) {
    rg::SelectHandModel(*s, r.model);
    s->con.ClearText();
  }
}
BENCHMARK(BM_SelectHandModel)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
