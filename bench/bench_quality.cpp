// Speed of one grasp quality evaluation (primitive wrenches, rank check, Qhull
// hull, epsilon and volume) for two- and three-finger grasps of a sphere of
// radius 30 with 8 cone edges, point and soft-finger contacts.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/keyboard.h"
#include "app/startup.h"
#include "core/state.h"
#include "quality/quality.h"
#include "record/grasp_quality.h"

namespace {

// Contacts a little off the symmetric placements, as a real grasp has them:
// two nearly antipodal ones, or three around the equator.
std::vector<rg::QualityContact> Grasp(int fingers) {
  const double R = 30.0;
  const double polar2[2] = {1.52, 1.60}, az2[2] = {0.05, 3.16};
  const double polar3[3] = {1.55, 1.62, 1.50}, az3[3] = {0.0, 2.05, 4.22};
  std::vector<rg::QualityContact> c(fingers);
  for (int k = 0; k < fingers; ++k) {
    const double pol = fingers == 2 ? polar2[k] : polar3[k], az = fingers == 2 ? az2[k] : az3[k];
    const double d[3] = {std::sin(pol) * std::cos(az), std::sin(pol) * std::sin(az), std::cos(pol)};
    for (int j = 0; j < 3; ++j) c[k].p[j] = R * d[j], c[k].n[j] = -d[j];
  }
  return c;
}

// Arguments: fingers (2 or 3), contact model (0 point, 1 soft).
void BM_GraspQuality(benchmark::State& st) {
  const auto c = Grasp(static_cast<int>(st.range(0)));
  rg::QualitySettings s;
  s.model = st.range(1) ? rg::ContactModel::Soft : rg::ContactModel::Point;
  const double centre[3] = {0, 0, 0};
  rg::QualityResult q;
  for (auto _ : st) {
    q = rg::GraspQuality(c.data(), static_cast<int>(c.size()), centre, 30.0, s);
    benchmark::DoNotOptimize(q);
  }
  st.counters["closure"] = q.force_closure;
  st.counters["epsilon"] = q.epsilon;
}
BENCHMARK(BM_GraspQuality)
    ->ArgNames({"fingers", "soft"})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Args({3, 0})
    ->Args({3, 1})
    ->Unit(benchmark::kMicrosecond);

// The quality of every stored row of a three-finger hand's default run (hand 2
// or 4, point or soft contacts), as the trajectory CSV computes it; reported per
// row. The cylinder's contacts have parallel normals, which gives Qhull more
// facets than the sphere grasps above.
void BM_QualityOfRunRows(benchmark::State& st) {
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  s->qualitySettings.model = st.range(1) ? rg::ContactModel::Soft : rg::ContactModel::Point;
  const std::string keys = "H" + std::to_string(st.range(0)) + "GsssA" + std::string(400, 's');
  for (char k : keys) rg::keyboard(*s, static_cast<unsigned char>(k), 0, 0);
  const int rows = s->cntMainip1 + 1;
  int closed = 0;
  for (auto _ : st) {
    closed = 0;
    for (int m = 0; m < rows; ++m) closed += rg::GraspQualityOfRow(*s, m).force_closure;
  }
  st.counters["rows"] = rows;
  st.counters["closed"] = closed;
  st.counters["us_per_row"] = benchmark::Counter(
      static_cast<double>(st.iterations() * rows),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_QualityOfRunRows)
    ->ArgNames({"hand", "soft"})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Args({4, 0})
    ->Args({4, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
