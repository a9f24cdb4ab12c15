// Speed of one grasp quality evaluation (primitive wrenches, rank check, the hull's
// facets nearest the origin for closure and epsilon, and the whole Qhull hull when
// the volume is asked for) for two- and three-finger grasps of a sphere of radius 30
// and for the stored rows of real runs, 8 cone edges, point and soft-finger
// contacts. Each reports the minor page faults per evaluation (getrusage), which
// are zero once the memory an evaluation needs stays with the process.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
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

// CPU time of this thread: a row's time without what other programs take of the core.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

long MinorFaults() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_minflt;
}

rg::QualityMeasures Measures(int64_t volume) {
  return volume ? rg::QualityMeasures::All : rg::QualityMeasures::ClosureAndEpsilon;
}

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

// Arguments: fingers (2 or 3), contact model (0 point, 1 soft), volume (0: closure
// and epsilon only, 1: all measures).
void BM_GraspQuality(benchmark::State& st) {
  const auto c = Grasp(static_cast<int>(st.range(0)));
  rg::QualitySettings s;
  s.model = st.range(1) ? rg::ContactModel::Soft : rg::ContactModel::Point;
  const rg::QualityMeasures what = Measures(st.range(2));
  const double centre[3] = {0, 0, 0};
  rg::QualityResult q;
  const long faults = MinorFaults();
  for (auto _ : st) {
    q = rg::GraspQuality(c.data(), static_cast<int>(c.size()), centre, 30.0, s, what);
    benchmark::DoNotOptimize(q);
  }
  st.counters["faults"] = static_cast<double>(MinorFaults() - faults) / st.iterations();
  st.counters["closure"] = q.force_closure;
  st.counters["epsilon"] = q.epsilon;
}
BENCHMARK(BM_GraspQuality)
    ->ArgNames({"fingers", "soft", "volume"})
    ->ArgsProduct({{2, 3}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// The quality of every stored row of a three-finger hand's default run (hand 2
// or 4, cylinder, point or soft contacts): with the volume as the trajectory CSV
// computes it, or closure and epsilon alone. Reported per row: the mean, the
// median and the largest over the rows (each row timed on its own after the timed
// loop, in the thread's CPU time), and the page faults. The cylinder's contacts
// have parallel normals, which gives the whole hull more facets than the sphere
// grasps above.
void BM_QualityOfRunRows(benchmark::State& st) {
  auto s = std::make_unique<rg::Sim>();
  rg::StartUpQuiet(*s);
  s->qualitySettings.model = st.range(1) ? rg::ContactModel::Soft : rg::ContactModel::Point;
  const rg::QualityMeasures what = Measures(st.range(2));
  const std::string keys = "H" + std::to_string(st.range(0)) + "GsssA" + std::string(400, 's');
  for (char k : keys) rg::keyboard(*s, static_cast<unsigned char>(k), 0, 0);
  const int rows = s->cntMainip1 + 1;
  int closed = 0;
  const long faults = MinorFaults();
  for (auto _ : st) {
    closed = 0;
    for (int m = 0; m < rows; ++m) closed += rg::GraspQualityOfRow(*s, m, what).force_closure;
  }
  const double evaluations = static_cast<double>(st.iterations()) * rows;
  st.counters["faults_per_row"] = static_cast<double>(MinorFaults() - faults) / evaluations;
  // each row on its own, outside the timed loop: ten evaluations in the thread's CPU time
  std::vector<double> seconds(rows);
  for (int m = 0; m < rows; ++m) {
    const double t0 = ThreadSeconds();
    for (int r = 0; r < 10; ++r) benchmark::DoNotOptimize(rg::GraspQualityOfRow(*s, m, what));
    seconds[m] = (ThreadSeconds() - t0) / 10;
  }
  std::sort(seconds.begin(), seconds.end());
  st.counters["median_row_us"] = 1e6 * seconds[rows / 2];
  st.counters["max_row_us"] = 1e6 * seconds.back();
  st.counters["rows"] = rows;
  st.counters["closed"] = closed;
  st.counters["us_per_row"] = benchmark::Counter(
      evaluations, benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
      benchmark::Counter::kIs1000);
}
BENCHMARK(BM_QualityOfRunRows)
    ->ArgNames({"hand", "soft", "volume"})
    ->ArgsProduct({{2, 4}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
